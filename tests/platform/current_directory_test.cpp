#include <unistd.h>

#include <memory>

#include "core_test_support.h"

namespace platform_tests {
namespace {

using platform::GetCurrentDirectory;
using platform::GetLastError;
using platform::SetCurrentDirectory;
using testing_support::MakeDirs;
using testing_support::WriteBytes;

using CurrentDirectory = DriveFixture;

TEST_F(CurrentDirectory, KeepsTheCallersFormAndMovesTheProcess) {
    MakeDirs(c_ + "/Work/Sub");
    ASSERT_TRUE(SetCurrentDirectory("c:\\Work\\.\\Sub\\"));
    EXPECT_EQ(GetCurrentDirectory(), "c:\\Work\\Sub");
    EXPECT_EQ(HostCwd(), c_ + "/Work/Sub");
    ASSERT_TRUE(SetCurrentDirectory(".."));
    EXPECT_EQ(GetCurrentDirectory(), "c:\\Work");
    EXPECT_EQ(HostCwd(), c_ + "/Work");
    ASSERT_TRUE(SetCurrentDirectory("Sub/"));
    EXPECT_EQ(GetCurrentDirectory(), "c:\\Work\\Sub");
    ASSERT_TRUE(SetCurrentDirectory("\\"));
    EXPECT_EQ(GetCurrentDirectory(), "c:\\");
    EXPECT_EQ(HostCwd(), c_);
}

TEST_F(CurrentDirectory, EachDriveKeepsItsOwnFolder) {
    MakeDirs(c_ + "/work");
    MakeDirs(d_ + "/dd");
    ASSERT_TRUE(SetCurrentDirectory("D:"));
    EXPECT_EQ(GetCurrentDirectory(), "D:\\");
    ASSERT_TRUE(SetCurrentDirectory("D:\\dd"));
    ASSERT_TRUE(SetCurrentDirectory("C:\\work"));
    EXPECT_EQ(HostCwd(), c_ + "/work");
    ASSERT_TRUE(SetCurrentDirectory("d:"));
    EXPECT_EQ(GetCurrentDirectory(), "D:\\dd");
    EXPECT_EQ(HostCwd(), d_ + "/dd");
    ASSERT_TRUE(SetCurrentDirectory("C:"));
    EXPECT_EQ(GetCurrentDirectory(), "C:\\work");
    EXPECT_EQ(HostCwd(), c_ + "/work");
    // A new table forgets the folders of the old one.
    Install({Drive('C', c_), Drive('D', d_)});
    ASSERT_TRUE(SetCurrentDirectory("D:"));
    EXPECT_EQ(GetCurrentDirectory(), "D:\\");
}

TEST_F(CurrentDirectory, EachReadingOfTheDrivesSeesTheirChangesAndKeepsTheFoldersOfThoseThatStay) {
    MakeDirs(c_ + "/work");
    MakeDirs(d_ + "/dd");
    MakeDirs(temp_ / "d2");
    MakeDirs(temp_ / "e");
    auto machine = std::make_shared<std::vector<platform::posix::DriveEntry>>(
        std::vector<platform::posix::DriveEntry>{Drive('C', c_), Drive('D', d_)});
    (*machine)[1].label = "FIRST";
    platform::posix::SetDriveSource([machine] { return *machine; });
    ASSERT_TRUE(SetCurrentDirectory("D:\\dd"));
    ASSERT_TRUE(SetCurrentDirectory("C:\\work"));
    std::string label;

    // Relabelled, and a RAM disk mounted: seen at the next reading, the folders stay.
    (*machine)[1].label = "SECOND";
    machine->push_back(Drive('E', temp_ / "e", platform::kDriveRamdisk));
    ASSERT_TRUE(platform::GetVolumeInformation("d:\\", &label, nullptr));
    EXPECT_EQ(label, "FIRST");
    EXPECT_EQ(platform::GetLogicalDrives(), 0b11100u);
    ASSERT_TRUE(platform::GetVolumeInformation("d:\\", &label, nullptr));
    EXPECT_EQ(label, "SECOND");
    EXPECT_EQ(platform::GetDriveType("e:\\"), platform::kDriveRamdisk);
    EXPECT_EQ(GetCurrentDirectory(), "C:\\work");
    EXPECT_EQ(Host("D:"), d_ + "/dd");

    // D: now stands for another folder: its current folder is its root again.
    (*machine)[1].hostFolder = temp_ / "d2";
    EXPECT_EQ(platform::GetLogicalDrives(), 0b11100u);
    EXPECT_EQ(Host("D:"), temp_ / "d2");
    EXPECT_EQ(GetCurrentDirectory(), "C:\\work");

    // The current directory's drive went away: the host's working folder decides, which lies
    // on no drive now, so the first drive's root.
    machine->erase(machine->begin());
    EXPECT_EQ(platform::GetLogicalDrives(), 0b11000u);
    EXPECT_EQ(GetCurrentDirectory(), "D:\\");

    // A table installed as it is stays as it is.
    Install({Drive('C', c_)});
    machine->clear();
    EXPECT_EQ(platform::GetLogicalDrives(), 0b100u);
}

TEST_F(CurrentDirectory, FailuresReportTheirCodesAndChangeNothing) {
    MakeDirs(c_ + "/here");
    WriteBytes(c_ + "/here/file", "x");
    ASSERT_TRUE(SetCurrentDirectory("C:\\here"));
    const struct {
        const char* path;
        uint32_t code;
    } cases[] = {
        {"C:\\here\\missing", platform::kErrorFileNotFound},
        {"C:\\missing\\deeper", platform::kErrorPathNotFound},
        {"C:\\here\\file", platform::kErrorDirectory},
        {"file\\below", platform::kErrorPathNotFound},
        {"Q:", platform::kErrorInvalidDrive},
        {"Q:\\x", platform::kErrorInvalidDrive},
        {"\\\\srv\\share", platform::kErrorBadNetPath},
    };
    for (const auto& c : cases) {
        platform::SetLastError(0);
        EXPECT_FALSE(SetCurrentDirectory(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.code) << c.path;
        EXPECT_EQ(GetCurrentDirectory(), "C:\\here") << c.path;
        EXPECT_EQ(HostCwd(), c_ + "/here") << c.path;
    }
    ASSERT_EQ(rmdir(d_.c_str()), 0);
    EXPECT_FALSE(SetCurrentDirectory("D:"));
    EXPECT_EQ(GetLastError(), platform::kErrorNotReady);
}

TEST_F(CurrentDirectory, StartsFromTheHostWorkingDirectory) {
    MakeDirs(c_ + "/start");
    ASSERT_EQ(chdir((c_ + "/start").c_str()), 0);
    platform::posix::SetDriveTable({Drive('C', c_), Drive('D', d_)});
    EXPECT_EQ(GetCurrentDirectory(), "C:\\start");
    EXPECT_EQ(Host("rel"), c_ + "/start/rel");
    // Outside every drive the first drive's root stands in.
    ASSERT_EQ(chdir(temp_.Path().c_str()), 0);
    platform::posix::SetDriveTable({Drive('D', d_), Drive('C', c_)});
    EXPECT_EQ(GetCurrentDirectory(), "D:\\");
}

TEST_F(CurrentDirectory, NetworkFoldersAreKeptInTheirOwnForm) {
    MakeDirs(temp_ / "net/sub");
    Install({Drive('C', c_), Drive('N', temp_ / "net", platform::kDriveRemote, "\\\\srv\\share")});
    ASSERT_TRUE(SetCurrentDirectory("\\\\srv\\share\\sub"));
    EXPECT_EQ(GetCurrentDirectory(), "\\\\srv\\share\\sub");
    EXPECT_EQ(HostCwd(), temp_ / "net/sub");
    ASSERT_TRUE(SetCurrentDirectory("\\"));
    EXPECT_EQ(GetCurrentDirectory(), "\\\\srv\\share\\");
    EXPECT_EQ(Host("sub"), temp_ / "net/sub");
    // The network folder is not the drive letter's folder.
    ASSERT_TRUE(SetCurrentDirectory("N:"));
    EXPECT_EQ(GetCurrentDirectory(), "N:\\");
}

TEST_F(CurrentDirectory, ModuleFileNameIsTheRunningProgramUnlessATestSetsOne) {
    platform::posix::SetModuleFileNameForTesting("C:\\wiz\\kvd_gen.exe");
    EXPECT_EQ(platform::GetModuleFileName(), "C:\\wiz\\kvd_gen.exe");
    platform::posix::SetModuleFileNameForTesting("");
    platform::posix::ResetDriveTable();
    const std::string own = platform::GetModuleFileName();
    ASSERT_GE(own.size(), 3u);
    EXPECT_EQ(own.substr(1, 2), ":\\");
    EXPECT_EQ(own.substr(own.rfind('\\') + 1), "platform_core_tests");
    std::string host;
    uint32_t error = 0;
    ASSERT_TRUE(platform::posix::ToHostPath(own, &host, &error));
    EXPECT_TRUE(testing_support::HostExists(host));
}

}  // namespace
}  // namespace platform_tests
