// Drive discovery, the mount classification rules and the volume calls over a built table.
#include "platform/posix/volumes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "support/temp_dir.h"

namespace {

using platform::posix::DriveEntry;
using platform::posix::MountFacts;
using platform::posix::MountRecord;

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Mount point to file system type, the last mount on each folder winning, read without the
// library the backend uses.
std::map<std::string, std::string> MountTypes() {
    std::map<std::string, std::string> types;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, devno, root, point, field;
        fields >> id >> parent >> devno >> root >> point;
        while (fields >> field && field != "-") {
        }
        std::string type;
        fields >> type;
        // The kernel writes a space in a mount point as \040.
        for (size_t at; (at = point.find("\\040")) != std::string::npos;) point.replace(at, 4, " ");
        types[point] = type;
    }
    return types;
}

MountFacts Mount(const std::string& type, const std::string& source, const std::string& point) {
    MountFacts facts;
    facts.fsType = type;
    facts.source = source;
    facts.mountPoint = point;
    facts.blockDevice = source.rfind("/dev/", 0) == 0;
    facts.pseudo = type == "tmpfs" || type == "ramfs" || type == "overlay" || type == "proc" ||
                   type == "sysfs" || type == "cgroup" || type == "cgroup2" || type == "devpts";
    facts.network = type == "nfs" || type == "nfs4" || type == "cifs";
    return facts;
}

MountRecord Row(const std::string& type, const std::string& source, const std::string& point, uint64_t devno,
                const std::string& fsRoot = "/") {
    MountRecord row;
    row.facts = Mount(type, source, point);
    row.devno = devno;
    row.fsRoot = fsRoot;
    return row;
}

std::string LabelOf(const std::string& device) { return device == "/dev/vdb" ? "DATA DISK" : ""; }

TEST(DriveDiscovery, ThisMachineListsRootAsCAndOnlyRealFolders) {
    const std::vector<DriveEntry> drives = platform::posix::DiscoverSystemDrives();
    const auto types = MountTypes();
    ASSERT_FALSE(drives.empty());
    EXPECT_EQ(drives[0].letter, 'C');
    EXPECT_EQ(drives[0].hostFolder, "/");
    EXPECT_EQ(drives[0].type, platform::kDriveFixed);
    char expected = 'C';
    for (const auto& drive : drives) {
        std::cout << drive.letter << ": " << drive.hostFolder << "  type " << drive.type << "  label [" << drive.label
                  << "]  flags " << drive.fsFlags << "  device " << drive.device
                  << (drive.remoteName ? "  remote " + *drive.remoteName : std::string()) << "\n";
        EXPECT_EQ(drive.letter, expected++);
        EXPECT_TRUE(IsDirectory(drive.hostFolder)) << drive.hostFolder;
        EXPECT_GE(drive.type, platform::kDriveRemovable);
        EXPECT_LE(drive.type, platform::kDriveRamdisk);
        if (drive.hostFolder == "/") continue;
        const auto found = types.find(drive.hostFolder);
        ASSERT_NE(found, types.end()) << drive.hostFolder;
        for (const char* pseudo : {"proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "mqueue", "overlay",
                                   "securityfs", "debugfs", "tracefs", "bpf", "autofs", "nsfs"})
            EXPECT_NE(found->second, pseudo) << drive.hostFolder;
        for (const char* system : {"/proc", "/sys", "/dev", "/run/user"})
            EXPECT_FALSE(platform::posix::IsPathAtOrBelow(drive.hostFolder, system)) << drive.hostFolder;
        if (drive.type == platform::kDriveRamdisk) {
            EXPECT_TRUE(found->second == "tmpfs" || found->second == "ramfs");
            EXPECT_FALSE(platform::posix::IsPathAtOrBelow(drive.hostFolder, "/tmp"));
            EXPECT_FALSE(platform::posix::IsPathAtOrBelow(drive.hostFolder, "/run"));
        }
    }
    EXPECT_LE(expected - 1, 'Z');
    for (size_t i = 0; i < drives.size(); ++i)
        for (size_t j = i + 1; j < drives.size(); ++j) EXPECT_NE(drives[i].hostFolder, drives[j].hostFolder);
}

MountFacts With(MountFacts facts, void (*change)(MountFacts&)) {
    change(facts);
    return facts;
}

TEST(MountClassification, WhichMountsBecomeDrives) {
    struct Case {
        MountFacts mount;
        bool listed;
    };
    const std::vector<Case> cases = {
        {Mount("tmpfs", "tmpfs", "/tmp"), false},
        {Mount("tmpfs", "tmpfs", "/tmp/scratch"), false},
        {Mount("tmpfs", "tmpfs", "/dev/shm"), false},
        {Mount("tmpfs", "tmpfs", "/run/user/1000"), false},
        {Mount("tmpfs", "tmpfs", "/sys/fs/cgroup"), false},
        {Mount("ramfs", "none", "/proc/x"), false},
        {Mount("tmpfs", "tmpfs", "/media/ram"), true},
        {Mount("tmpfs", "tmpfs", "/tmpdata"), true},  // whole names only: not inside /tmp
        {Mount("ramfs", "ramfs", "/mnt/fast"), true},
        {With(Mount("tmpfs", "tmpfs", "/media/ram"), [](MountFacts& m) { m.directory = false; }), false},
        {Mount("proc", "proc", "/x/proc"), false},
        {Mount("sysfs", "sysfs", "/x/sys"), false},
        {Mount("cgroup", "cgroup", "/x/cg"), false},
        {Mount("cgroup2", "cgroup2", "/x/cg2"), false},
        {Mount("devpts", "devpts", "/x/pts"), false},
        {Mount("overlay", "overlay", "/merged"), false},
        {Mount("ext4", "/dev/sda1", "/"), false},  // the root is C:
        {Mount("fuse.portal", "portal", "/home/u/doc"), false},  // no device, no network, no RAM
        {With(Mount("ext4", "/dev/vda", "/etc/hosts"), [](MountFacts& m) { m.directory = false; }), false},
        {Mount("ext4", "/dev/sdb1", "/data"), true},
        {Mount("fuse.sshfs", "me@host:/srv", "/home/me/remote"), true},  // known by name alone
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::posix::ShouldListMount(c.mount), c.listed) << c.mount.fsType << " " << c.mount.mountPoint;
}

TEST(MountClassification, DriveKindsFollowFileSystemAndDisk) {
    using platform::posix::ClassifyDriveType;
    const MountFacts disk = Mount("ext4", "/dev/sdb1", "/data");
    EXPECT_EQ(ClassifyDriveType(disk), platform::kDriveFixed);
    EXPECT_EQ(ClassifyDriveType(With(disk, [](MountFacts& m) { m.diskRemovable = true; })), platform::kDriveRemovable);
    EXPECT_EQ(ClassifyDriveType(With(disk, [](MountFacts& m) { m.diskOnUsb = true; })), platform::kDriveRemovable);
    EXPECT_EQ(ClassifyDriveType(Mount("iso9660", "/dev/loop0", "/mnt/iso")), platform::kDriveCdrom);
    EXPECT_EQ(ClassifyDriveType(Mount("udf", "/dev/sdc", "/mnt/dvd")), platform::kDriveCdrom);
    EXPECT_EQ(ClassifyDriveType(With(Mount("ext2", "/dev/sr0", "/media/cd"),
                                     [](MountFacts& m) { m.opticalDevice = m.diskRemovable = true; })),
              platform::kDriveCdrom);
    EXPECT_EQ(ClassifyDriveType(Mount("tmpfs", "tmpfs", "/media/ram")), platform::kDriveRamdisk);
    EXPECT_EQ(ClassifyDriveType(Mount("ramfs", "ramfs", "/mnt/fast")), platform::kDriveRamdisk);
    for (const char* type : {"nfs", "nfs4", "cifs", "smb3", "9p", "ceph", "glusterfs", "davfs", "afs", "fuse.sshfs"}) {
        const MountFacts net = Mount(type, "srv:/x", "/net/x");
        EXPECT_TRUE(platform::posix::ShouldListMount(net)) << type;
        EXPECT_EQ(ClassifyDriveType(net), platform::kDriveRemote) << type;
    }
}

TEST(MountClassification, NetworkSourcesBecomeUncNames) {
    using platform::posix::UncRemoteName;
    EXPECT_EQ(UncRemoteName("server:/export/x"), "\\\\server\\export\\x");
    EXPECT_EQ(UncRemoteName("server:/path"), "\\\\server\\path");
    EXPECT_EQ(UncRemoteName("server:/path/"), "\\\\server\\path");
    EXPECT_EQ(UncRemoteName("//srv/share"), "\\\\srv\\share");
    EXPECT_EQ(UncRemoteName("//server/share/x"), "\\\\server\\share\\x");
    EXPECT_EQ(UncRemoteName("\\\\srv\\share"), "\\\\srv\\share");
    EXPECT_EQ(UncRemoteName("mon1:6789:/fs/a"), "\\\\mon1:6789\\fs\\a");
    EXPECT_EQ(UncRemoteName("me@host:docs"), "\\\\me@host\\docs");
    EXPECT_EQ(UncRemoteName("hostshare"), std::nullopt);
    EXPECT_EQ(UncRemoteName("server:"), std::nullopt);
    EXPECT_EQ(UncRemoteName("server:/"), std::nullopt);
    EXPECT_EQ(UncRemoteName("//srv"), std::nullopt);
    EXPECT_EQ(UncRemoteName(":/x"), std::nullopt);
    EXPECT_EQ(UncRemoteName(""), std::nullopt);
}

TEST(MountClassification, CaseRulesFollowTheFileSystem) {
    using platform::posix::FileSystemFlagsFor;
    for (const char* type : {"vfat", "exfat", "ntfs", "ntfs3", "msdos", "iso9660", "udf"})
        EXPECT_EQ(FileSystemFlagsFor(type), platform::kFsCasePreservedNames) << type;
    for (const char* type : {"ext4", "ext2", "xfs", "btrfs", "tmpfs", "nfs4", "overlay"})
        EXPECT_EQ(FileSystemFlagsFor(type), platform::kFsCaseSensitiveSearch | platform::kFsCasePreservedNames)
            << type;
}

TEST(DriveTableFromMounts, OverlayRootIsCAndEachVolumeIsListedOnce) {
    std::vector<MountRecord> rows;
    rows.push_back(Row("overlay", "overlay", "/", 40));
    rows.push_back(Row("proc", "proc", "/proc", 21));
    rows.push_back(Row("ext4", "/dev/vdb", "/data", 50));
    rows.push_back(Row("ext4", "/dev/vdb", "/data-again", 50));          // bind of the same folder
    rows.push_back(Row("ext4", "/dev/vdb", "/projects", 50, "/proj"));   // another folder of it
    rows.push_back(Row("tmpfs", "tmpfs", "/tmp", 60));
    rows.push_back(Row("tmpfs", "tmpfs", "/media/ram", 61));
    rows.push_back(Row("nfs4", "nas:/export/web", "/mnt/web", 70));
    rows.push_back(Row("cifs", "share", "/mnt/odd", 71));
    rows.push_back(Row("vfat", "/dev/sdc1", "/media/stick", 80));
    rows.push_back(Row("ext4", "/dev/sdd1", "/media/stick", 81));        // mounted over the stick
    rows.push_back(Row("ext4", "/dev/vda", "/work", 30));

    const auto drives = platform::posix::DrivesFromMounts(rows, LabelOf);
    ASSERT_EQ(drives.size(), 8u);
    EXPECT_EQ(drives[0].letter, 'C');
    EXPECT_EQ(drives[0].hostFolder, "/");
    EXPECT_EQ(drives[0].type, platform::kDriveFixed);
    EXPECT_EQ(drives[0].label, "");
    EXPECT_EQ(drives[0].fsFlags, 3u);
    EXPECT_EQ(drives[0].device, "overlay");

    const std::vector<std::pair<char, std::string>> expected = {
        {'D', "/data"}, {'E', "/projects"}, {'F', "/media/ram"}, {'G', "/mnt/web"},
        {'H', "/mnt/odd"}, {'I', "/media/stick"}, {'J', "/work"}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(drives[i + 1].letter, expected[i].first);
        EXPECT_EQ(drives[i + 1].hostFolder, expected[i].second);
    }
    EXPECT_EQ(drives[1].label, "DATA DISK");
    EXPECT_EQ(drives[1].type, platform::kDriveFixed);
    EXPECT_EQ(drives[3].type, platform::kDriveRamdisk);
    EXPECT_EQ(drives[3].label, "");
    EXPECT_EQ(drives[4].type, platform::kDriveRemote);
    EXPECT_EQ(drives[4].remoteName, "\\\\nas\\export\\web");
    EXPECT_EQ(drives[5].type, platform::kDriveRemote);
    EXPECT_EQ(drives[5].remoteName, std::nullopt);
    EXPECT_EQ(drives[6].device, "/dev/sdd1");
    EXPECT_FALSE(drives[1].remoteName.has_value());
}

TEST(DriveTableFromMounts, BlockDeviceRootGivesItsLabelAndLettersStopAtZ) {
    std::vector<MountRecord> rows;
    rows.push_back(Row("ext4", "/dev/vdb", "/", 1));
    rows.push_back(Row("ext4", "/dev/vdb", "/mnt/root-bind", 1));
    for (int i = 0; i < 30; ++i)
        rows.push_back(Row("ext4", "/dev/sd" + std::to_string(i), "/m/" + std::to_string(i), 100 + i));
    const auto drives = platform::posix::DrivesFromMounts(rows, LabelOf);
    ASSERT_EQ(drives.size(), 24u);
    EXPECT_EQ(drives[0].label, "DATA DISK");
    EXPECT_EQ(drives[1].hostFolder, "/m/0");
    EXPECT_EQ(drives.back().letter, 'Z');
    EXPECT_EQ(drives.back().hostFolder, "/m/22");
}

class VolumeCalls : public ::testing::Test {
protected:
    void SetUp() override {
        testing_support::MakeDirs(temp_ / "c");
        testing_support::MakeDirs(temp_ / "d");
        testing_support::MakeDirs(temp_ / "e");
        testing_support::MakeDirs(temp_ / "f");
        testing_support::MakeDirs(temp_ / "g");
        testing_support::MakeDirs(temp_ / "m");
        std::vector<DriveEntry> table;
        table.push_back(Drive('C', "c", platform::kDriveFixed, "SYSTEM", 3));
        table.push_back(Drive('D', "d", platform::kDriveFixed, "", 3));
        table.push_back(Drive('E', "e", platform::kDriveCdrom, "MY CD", 2));
        DriveEntry net = Drive('F', "f", platform::kDriveRemote, "", 3);
        net.remoteName = "\\\\nas\\Web";
        table.push_back(net);
        table.push_back(Drive('G', "g", platform::kDriveRemote, "SHARE", 3));
        table.push_back(Drive('M', "m", platform::kDriveRamdisk, "", 3));
        table.push_back(Drive('Q', "gone", platform::kDriveRemovable, "", 2));
        table.push_back(Drive('R', "afile", platform::kDriveFixed, "X", 3));
        testing_support::WriteBytes(temp_ / "afile", "x");
        platform::posix::SetDriveTable(table);
        platform::SetCurrentDirectory("C:\\");
    }
    void TearDown() override {
        ::chdir("/");
        platform::posix::ResetDriveTable();
    }
    DriveEntry Drive(char letter, const std::string& folder, uint32_t type, const std::string& label,
                     uint32_t flags) {
        DriveEntry drive;
        drive.letter = letter;
        drive.hostFolder = temp_ / folder;
        drive.type = type;
        drive.label = label;
        drive.fsFlags = flags;
        return drive;
    }
    testing_support::TempDir temp_;
};

TEST_F(VolumeCalls, LogicalDrivesAndTypesComeFromTheTable) {
    const uint32_t expected = (1u << 2) | (1u << 3) | (1u << 4) | (1u << 5) | (1u << 6) | (1u << 12) |
                              (1u << 16) | (1u << 17);
    EXPECT_EQ(platform::GetLogicalDrives(), expected);
    EXPECT_EQ(platform::GetDriveType("c:\\"), platform::kDriveFixed);
    EXPECT_EQ(platform::GetDriveType("C:\\"), platform::kDriveFixed);
    EXPECT_EQ(platform::GetDriveType("e:\\"), platform::kDriveCdrom);
    EXPECT_EQ(platform::GetDriveType("f:\\"), platform::kDriveRemote);
    EXPECT_EQ(platform::GetDriveType("m:\\"), platform::kDriveRamdisk);
    EXPECT_EQ(platform::GetDriveType("q:\\"), platform::kDriveRemovable);
    EXPECT_EQ(platform::GetDriveType("b:\\"), platform::kDriveNoRootDir);
    EXPECT_EQ(platform::GetDriveType("Z:\\"), platform::kDriveNoRootDir);
    for (const char* bad : {"", "c", "c:", "c:/", "c:\\x", "1:\\", "cc:\\", "\\\\srv\\share\\"})
        EXPECT_EQ(platform::GetDriveType(bad), platform::kDriveUnknown) << bad;
}

TEST_F(VolumeCalls, VolumeInformationGivesLabelsAsStoredAndFlags) {
    std::string label = "old";
    uint32_t flags = 99;
    ASSERT_TRUE(platform::GetVolumeInformation("c:\\", &label, &flags));
    EXPECT_EQ(label, "SYSTEM");
    EXPECT_EQ(flags, 3u);
    ASSERT_TRUE(platform::GetVolumeInformation("E:\\", &label, &flags));
    EXPECT_EQ(label, "MY CD");
    EXPECT_EQ(flags, 2u);
    label = "old";
    ASSERT_TRUE(platform::GetVolumeInformation("d:\\", &label, nullptr));
    EXPECT_EQ(label, "");
    EXPECT_TRUE(platform::GetVolumeInformation("m:\\", nullptr, nullptr));
}

TEST_F(VolumeCalls, DrivesThatAreNotReadyOrUnknownFail) {
    std::string label = "keep";
    platform::SetLastError(0);
    EXPECT_FALSE(platform::GetVolumeInformation("q:\\", &label, nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotReady);
    // A file standing where the drive's folder should be cannot be opened as one.
    EXPECT_FALSE(platform::GetVolumeInformation("r:\\", &label, nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotReady);
    ASSERT_EQ(::rmdir((temp_ / "d").c_str()), 0);
    EXPECT_FALSE(platform::GetVolumeInformation("d:\\", &label, nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotReady);
    EXPECT_EQ(platform::GetDriveType("d:\\"), platform::kDriveFixed);
    EXPECT_FALSE(platform::GetVolumeInformation("x:\\", &label, nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorPathNotFound);
    EXPECT_FALSE(platform::GetVolumeInformation("x:", &label, nullptr));
    EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidName);
}

TEST_F(VolumeCalls, NetworkConnectionsByKindOfDrive) {
    std::string remote = "none";
    EXPECT_EQ(platform::WNetGetConnection("F:", &remote), platform::kErrorSuccess);
    EXPECT_EQ(remote, "\\\\nas\\Web");
    EXPECT_EQ(platform::GetLastError(), platform::kErrorSuccess);
    remote = "none";
    EXPECT_EQ(platform::WNetGetConnection("G:", &remote), platform::posix::kErrorConnectionUnavail);
    EXPECT_EQ(remote, "none");
    EXPECT_EQ(platform::WNetGetConnection("C:", &remote), platform::kErrorNotConnected);
    EXPECT_EQ(platform::WNetGetConnection("E:", &remote), platform::kErrorNotConnected);
    EXPECT_EQ(platform::WNetGetConnection("X:", &remote), platform::kErrorNotConnected);
    EXPECT_EQ(platform::GetLastError(), platform::kErrorNotConnected);
    EXPECT_EQ(platform::WNetGetConnection("F", &remote), platform::posix::kErrorBadDevice);
    EXPECT_EQ(platform::WNetGetConnection("F:\\", &remote), platform::posix::kErrorBadDevice);
    EXPECT_EQ(remote, "none");
}

TEST(ErrorMode, SetErrorModeReturnsThePreviousMode) {
    const uint32_t original = platform::SetErrorMode(platform::kSemFailCriticalErrors);
    EXPECT_EQ(platform::SetErrorMode(0x8003), platform::kSemFailCriticalErrors);
    EXPECT_EQ(platform::SetErrorMode(original), 0x8003u);
    EXPECT_EQ(platform::SetErrorMode(original), original);
}

}  // namespace
