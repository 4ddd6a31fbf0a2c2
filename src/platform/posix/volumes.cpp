// Drive letters and volume facts of the POSIX backend, read from the mount table.
#include "platform/posix/volumes.h"

#include <blkid/blkid.h>
#include <dirent.h>
#include <libmount/libmount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"

namespace platform {

namespace posix {

namespace {

constexpr uint32_t kLinuxFlags = kFsCaseSensitiveSearch | kFsCasePreservedNames;

bool OneOf(const std::string& value, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return value == name; });
}

}  // namespace

bool IsPathAtOrBelow(const std::string& path, const std::string& folder) {
    if (folder == "/") return !path.empty() && path[0] == '/';
    if (path.compare(0, folder.size(), folder) != 0) return false;
    return path.size() == folder.size() || path[folder.size()] == '/';
}

bool IsRamFileSystem(const std::string& fsType) { return fsType == "tmpfs" || fsType == "ramfs"; }

bool IsUserRamDisk(const MountFacts& mount) {
    if (!IsRamFileSystem(mount.fsType)) return false;
    for (const char* system : {"/dev", "/proc", "/sys", "/run", "/tmp"})
        if (IsPathAtOrBelow(mount.mountPoint, system)) return false;
    return mount.mountPoint != "/";
}

bool IsNetworkFileSystem(const std::string& fsType) {
    return OneOf(fsType, {"nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "ncp", "coda", "afs", "ceph",
                          "fuse.ceph", "glusterfs", "fuse.glusterfs", "9p", "virtiofs", "fuse.sshfs", "sshfs",
                          "davfs", "davfs2", "fuse.davfs2", "fuse.rclone", "fuse.s3fs", "lustre", "beegfs",
                          "orangefs", "pvfs2"});
}

bool ShouldListMount(const MountFacts& mount) {
    if (mount.mountPoint.empty() || mount.mountPoint == "/" || !mount.directory) return false;
    // The mount table library counts RAM disks as pseudo file systems, so they are settled first.
    if (IsRamFileSystem(mount.fsType)) return IsUserRamDisk(mount);
    if (mount.network || IsNetworkFileSystem(mount.fsType)) return true;
    if (mount.pseudo) return false;
    return mount.blockDevice;
}

uint32_t ClassifyDriveType(const MountFacts& mount) {
    if (mount.network || IsNetworkFileSystem(mount.fsType)) return kDriveRemote;
    if (IsRamFileSystem(mount.fsType)) return kDriveRamdisk;
    if (mount.opticalDevice || mount.fsType == "iso9660" || mount.fsType == "udf") return kDriveCdrom;
    if (mount.diskRemovable || mount.diskOnUsb) return kDriveRemovable;
    return kDriveFixed;
}

std::optional<std::string> UncRemoteName(const std::string& source) {
    std::string text = source;
    std::replace(text.begin(), text.end(), '\\', '/');
    std::string host;
    std::string path;
    if (text.rfind("//", 0) == 0) {
        const std::string rest = text.substr(2);
        const size_t slash = rest.find('/');
        host = rest.substr(0, slash);
        path = slash == std::string::npos ? std::string() : rest.substr(slash + 1);
    } else {
        // "server:/path"; a host with a port ("mon:6789:/") keeps everything before ":/".
        size_t colon = text.find(":/");
        if (colon == std::string::npos) colon = text.find(':');
        if (colon == std::string::npos) return std::nullopt;
        host = text.substr(0, colon);
        path = text.substr(colon + 1);
    }
    if (host.empty() || host.find('/') != std::string::npos) return std::nullopt;
    std::string unc = "\\\\" + host;
    bool anyPart = false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) {
            unc += '\\';
            unc.append(path, start, end - start);
            anyPart = true;
        }
        start = end + 1;
    }
    if (!anyPart) return std::nullopt;
    return unc;
}

uint32_t FileSystemFlagsFor(const std::string& fsType) {
    // Names on these compare without regard to case on every system that writes them.
    if (OneOf(fsType, {"vfat", "exfat", "ntfs", "ntfs3", "msdos", "fat", "umsdos", "iso9660", "udf", "cifs",
                       "smb3", "smbfs"}))
        return kFsCasePreservedNames;
    return kLinuxFlags;
}

namespace {

struct DiskFacts {
    bool removable = false;
    bool usb = false;
    bool optical = false;
};

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) return {};
    return buffer;
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The first device a mapped device (encryption, LVM) is built on, or empty.
std::string FirstSlave(const std::string& disk) {
    DIR* dir = ::opendir((disk + "/slaves").c_str());
    if (dir == nullptr) return {};
    std::string slave;
    while (dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        slave = RealPath(disk + "/slaves/" + entry->d_name);
        if (!slave.empty()) break;
    }
    ::closedir(dir);
    return slave;
}

DiskFacts ReadDiskFacts(dev_t device) {
    DiskFacts facts;
    const std::string link =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string disk = RealPath(link);
    // An encrypted stick is as removable as the stick; a few levels of mapping are followed.
    for (int depth = 0; depth < 4 && !disk.empty(); ++depth) {
        std::string slave = FirstSlave(disk);
        if (slave.empty()) break;
        disk = std::move(slave);
    }
    if (disk.empty()) return facts;
    // A partition's sysfs folder sits inside its disk's.
    if (FileExists(disk + "/partition")) disk = disk.substr(0, disk.rfind('/'));
    std::ifstream removable(disk + "/removable");
    char flag = 0;
    facts.removable = (removable >> flag) && flag == '1';
    facts.usb = disk.find("/usb") != std::string::npos;
    facts.optical = BaseName(disk).rfind("sr", 0) == 0;
    return facts;
}

// udev writes "/" and spaces in label link names as \x2f and \x20.
std::string UnescapeUdevName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto hex = [&](size_t at) { return std::isxdigit(static_cast<unsigned char>(name[at])) != 0; };
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && hex(i + 2) && hex(i + 3)) {
            out += static_cast<char>(std::stoi(name.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += name[i];
        }
    }
    return out;
}

std::string LabelFromUdevLinks(const std::string& device) {
    const std::string target = RealPath(device);
    if (target.empty()) return {};
    DIR* dir = ::opendir("/dev/disk/by-label");
    if (dir == nullptr) return {};
    std::string label;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (RealPath("/dev/disk/by-label/" + name) == target) {
            label = UnescapeUdevName(name);
            break;
        }
    }
    ::closedir(dir);
    return label;
}

std::string ReadLabel(const std::string& device) {
    if (blkid_probe probe = blkid_new_probe_from_filename(device.c_str())) {
        std::string label;
        bool probed = false;
        blkid_probe_enable_superblocks(probe, 1);
        blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
        if (blkid_do_safeprobe(probe) == 0) {
            probed = true;
            const char* value = nullptr;
            size_t length = 0;
            if (blkid_probe_lookup_value(probe, "LABEL", &value, &length) == 0 && value != nullptr)
                label = value;
        }
        blkid_free_probe(probe);
        if (probed) return label;
    }
    // Without read access to the device node the links udev keeps still tell the label.
    return LabelFromUdevLinks(device);
}

std::vector<MountRecord> ReadMountTable() {
    std::vector<MountRecord> rows;
    libmnt_table* table = mnt_new_table();
    if (table == nullptr) return rows;
    if (mnt_table_parse_mtab(table, nullptr) == 0) {
        libmnt_iter* iter = mnt_new_iter(MNT_ITER_FORWARD);
        libmnt_fs* fs = nullptr;
        while (iter != nullptr && mnt_table_next_fs(table, iter, &fs) == 0) {
            MountRecord row;
            const char* target = mnt_fs_get_target(fs);
            const char* type = mnt_fs_get_fstype(fs);
            const char* source = mnt_fs_get_source(fs);
            const char* root = mnt_fs_get_root(fs);
            row.facts.mountPoint = target ? target : "";
            row.facts.fsType = type ? type : "";
            row.facts.source = source ? source : "";
            row.fsRoot = root ? root : "/";
            row.facts.pseudo = mnt_fs_is_pseudofs(fs) != 0;
            row.facts.network = mnt_fs_is_netfs(fs) != 0;
            row.devno = mnt_fs_get_devno(fs);
            rows.push_back(std::move(row));
        }
        mnt_free_iter(iter);
    }
    mnt_free_table(table);
    return rows;
}

// Fills in the facts that need the file system itself: folder, block device and sysfs.
void ProbeMount(MountFacts* facts) {
    struct stat st;
    facts->directory = ::stat(facts->mountPoint.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    struct stat device;
    facts->blockDevice =
        !facts->source.empty() && facts->source[0] == '/' && ::stat(facts->source.c_str(), &device) == 0 &&
        S_ISBLK(device.st_mode);
    if (facts->blockDevice) {
        const DiskFacts disk = ReadDiskFacts(device.st_rdev);
        facts->diskRemovable = disk.removable;
        facts->diskOnUsb = disk.usb;
        facts->opticalDevice = disk.optical;
    }
}

std::string KeyOf(const MountRecord& row) {
    return std::to_string(row.devno) + ":" + row.facts.source + "\n" + row.fsRoot;
}

}  // namespace

std::vector<DriveEntry> DrivesFromMounts(const std::vector<MountRecord>& mounts,
                                         const std::function<std::string(const std::string&)>& readLabel) {
    DriveEntry root;
    root.letter = 'C';
    root.hostFolder = "/";
    root.type = kDriveFixed;
    root.fsFlags = kLinuxFlags;
    std::set<std::string> seenSources;
    // The last mount on a folder is the one that shows there.
    for (auto it = mounts.rbegin(); it != mounts.rend(); ++it) {
        if (it->facts.mountPoint != "/") continue;
        root.device = it->facts.source;
        root.fsFlags = FileSystemFlagsFor(it->facts.fsType);
        if (it->facts.blockDevice) root.label = readLabel(it->facts.source);
        seenSources.insert(KeyOf(*it));
        break;
    }

    std::vector<DriveEntry> drives{root};
    std::set<std::string> seenFolders{"/"};
    char letter = 'D';
    for (size_t i = 0; i < mounts.size() && letter <= 'Z'; ++i) {
        const MountRecord& row = mounts[i];
        const MountFacts& facts = row.facts;
        const bool overmounted =
            std::any_of(mounts.begin() + static_cast<std::ptrdiff_t>(i) + 1, mounts.end(),
                        [&](const MountRecord& later) { return later.facts.mountPoint == facts.mountPoint; });
        if (overmounted || seenFolders.count(facts.mountPoint) || !ShouldListMount(facts)) continue;
        if (!seenSources.insert(KeyOf(row)).second) continue;
        seenFolders.insert(facts.mountPoint);

        DriveEntry drive;
        drive.letter = letter++;
        drive.hostFolder = facts.mountPoint;
        drive.type = ClassifyDriveType(facts);
        drive.fsFlags = FileSystemFlagsFor(facts.fsType);
        drive.device = facts.source;
        if (facts.blockDevice) drive.label = readLabel(facts.source);
        if (drive.type == kDriveRemote) drive.remoteName = UncRemoteName(facts.source);
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::vector<DriveEntry> DiscoverSystemDrives() {
    std::vector<MountRecord> mounts = ReadMountTable();
    for (auto& row : mounts) {
        MountFacts& facts = row.facts;
        // Pseudo file systems are settled by the table alone; their folders are never touched.
        const bool candidate = facts.mountPoint == "/" || IsRamFileSystem(facts.fsType) || !facts.pseudo ||
                               facts.network || IsNetworkFileSystem(facts.fsType);
        if (candidate) ProbeMount(&facts);
        else facts.directory = false;
    }
    return DrivesFromMounts(mounts, ReadLabel);
}

namespace {

// "x:\" in either case; 0 when root has another form.
char RootLetter(const std::string& root) {
    if (root.size() != 3 || root[1] != ':' || root[2] != '\\') return 0;
    const char c = root[0];
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return c;
    return 0;
}

std::optional<DriveEntry> FindDrive(char letter) {
    for (auto& drive : DriveTable())
        if (drive.letter == letter) return drive;
    return std::nullopt;
}

std::atomic<uint32_t> errorMode{0};

}  // namespace

}  // namespace posix

uint32_t GetLogicalDrives() {
    posix::RefreshDriveTable();
    uint32_t mask = 0;
    for (const auto& drive : posix::DriveTable())
        if (drive.letter >= 'A' && drive.letter <= 'Z') mask |= 1u << (drive.letter - 'A');
    return mask;
}

uint32_t GetDriveType(const std::string& root) {
    const char letter = posix::RootLetter(root);
    if (letter == 0) return kDriveUnknown;
    const auto drive = posix::FindDrive(letter);
    return drive ? drive->type : kDriveNoRootDir;
}

bool GetVolumeInformation(const std::string& root, std::string* volumeName, uint32_t* fileSystemFlags) {
    const char letter = posix::RootLetter(root);
    if (letter == 0) {
        SetLastError(kErrorInvalidName);
        return false;
    }
    const auto drive = posix::FindDrive(letter);
    if (!drive) {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    // A drive is ready when its folder can be read, as a medium in a drive can.
    DIR* dir = ::opendir(drive->hostFolder.c_str());
    if (dir == nullptr) {
        SetLastError(kErrorNotReady);
        return false;
    }
    ::closedir(dir);
    if (volumeName) *volumeName = drive->label;
    if (fileSystemFlags) *fileSystemFlags = drive->fsFlags;
    SetLastError(kErrorSuccess);
    return true;
}

uint32_t SetErrorMode(uint32_t mode) { return posix::errorMode.exchange(mode); }

uint32_t WNetGetConnection(const std::string& localName, std::string* remoteName) {
    uint32_t result = kErrorSuccess;
    const char letter = localName.size() == 2 && localName[1] == ':' ? posix::RootLetter(localName + "\\") : 0;
    if (letter == 0) {
        result = posix::kErrorBadDevice;
    } else if (const auto drive = posix::FindDrive(letter); !drive || drive->type != kDriveRemote) {
        result = kErrorNotConnected;
    } else if (!drive->remoteName) {
        result = posix::kErrorConnectionUnavail;
    } else if (remoteName) {
        *remoteName = *drive->remoteName;
    }
    SetLastError(result);
    return result;
}

}  // namespace platform
