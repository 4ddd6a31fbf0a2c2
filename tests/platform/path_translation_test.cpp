#include <unistd.h>

#include "core_test_support.h"

namespace platform_tests {
namespace {

using platform::posix::FromHostPath;
using testing_support::MakeDirs;

using PathTranslation = DriveFixture;

TEST_F(PathTranslation, AbsolutePathsJoinTheDriveFolder) {
    EXPECT_EQ(Host("C:\\a\\b"), c_ + "/a/b");
    EXPECT_EQ(Host("c:\\a\\b"), c_ + "/a/b");
    EXPECT_EQ(Host("C:/a/b"), c_ + "/a/b");
    EXPECT_EQ(Host("C:\\a\\\\b"), c_ + "/a/b");
    EXPECT_EQ(Host("C:\\"), c_);
    EXPECT_EQ(Host("D:\\x.txt"), d_ + "/x.txt");
    // A trailing separator stays, so that a file named with one is not taken for the file.
    EXPECT_EQ(Host("C:\\a\\"), c_ + "/a/");
}

TEST_F(PathTranslation, DotsResolveTextuallyAndNeverClimbAboveTheRoot) {
    EXPECT_EQ(Host("C:\\a\\.\\b\\..\\c"), c_ + "/a/c");
    EXPECT_EQ(Host("C:\\..\\..\\x"), c_ + "/x");
    EXPECT_EQ(Host("D:\\a\\..\\.."), d_);
    // The textual rule holds even where a name on the way does not exist.
    EXPECT_EQ(Host("C:\\missing\\..\\y"), c_ + "/y");
}

TEST_F(PathTranslation, RelativeFormsUseTheCurrentFolders) {
    MakeDirs(c_ + "/work");
    MakeDirs(d_ + "/dd");
    ASSERT_TRUE(platform::SetCurrentDirectory("D:\\dd"));
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\work"));
    EXPECT_EQ(Host("name"), c_ + "/work/name");
    EXPECT_EQ(Host(".\\name"), c_ + "/work/name");
    EXPECT_EQ(Host("..\\x"), c_ + "/x");
    EXPECT_EQ(Host("\\top"), c_ + "/top");
    EXPECT_EQ(Host("/top"), c_ + "/top");
    EXPECT_EQ(Host("C:"), c_ + "/work");
    EXPECT_EQ(Host("D:"), d_ + "/dd");
    EXPECT_EQ(Host("d:file"), d_ + "/dd/file");
    EXPECT_EQ(Host("D:..\\up"), d_ + "/up");
}

TEST_F(PathTranslation, NetworkPathsNeedAMatchingNetworkDrive) {
    MakeDirs(temp_ / "net");
    Install({Drive('C', c_), Drive('N', temp_ / "net", platform::kDriveRemote, "\\\\srv\\share"),
             Drive('F', d_, platform::kDriveFixed, "\\\\fixed\\share")});
    EXPECT_EQ(Host("\\\\SRV\\Share\\x\\y"), temp_ / "net/x/y");
    EXPECT_EQ(Host("//srv/share/x"), temp_ / "net/x");
    EXPECT_EQ(Host("\\\\srv\\share"), temp_ / "net");
    EXPECT_EQ(TranslationError("\\\\other\\share\\x"), platform::kErrorBadNetPath);
    EXPECT_EQ(TranslationError("\\\\srv\\other"), platform::kErrorBadNetPath);
    EXPECT_EQ(TranslationError("\\\\srv"), platform::kErrorBadNetPath);
    // Only a network drive answers for a share.
    EXPECT_EQ(TranslationError("\\\\fixed\\share\\x"), platform::kErrorBadNetPath);
}

TEST_F(PathTranslation, UnknownLettersWildcardsAndVanishedDrivesFail) {
    EXPECT_EQ(TranslationError("Q:\\x"), platform::kErrorPathNotFound);
    EXPECT_EQ(TranslationError(""), platform::kErrorPathNotFound);
    EXPECT_EQ(TranslationError("C:\\*.txt"), platform::kErrorInvalidName);
    ASSERT_EQ(rmdir(d_.c_str()), 0);
    EXPECT_EQ(TranslationError("D:\\x"), platform::kErrorNotReady);
    EXPECT_EQ(TranslationError("D:"), platform::kErrorNotReady);
    // A drive without a folder (no medium in it) is not ready either, and holds no host path.
    Install({Drive('C', c_), Drive('E', "", platform::kDriveCdrom)});
    EXPECT_EQ(TranslationError("E:\\x"), platform::kErrorNotReady);
    EXPECT_EQ(FromHostPath(c_ + "/x"), "C:\\x");
    Install({Drive('E', ""), Drive('C', c_)});
    EXPECT_EQ(FromHostPath(temp_.Path()), "");
}

TEST_F(PathTranslation, FromHostPathPrefersTheDeepestDriveThenTheLowestLetter) {
    MakeDirs(c_ + "/inner/x");
    // Listed out of letter order on purpose: the letter decides, not the position.
    Install({Drive('F', c_ + "/inner"), Drive('C', c_), Drive('E', c_ + "/inner/")});
    EXPECT_EQ(FromHostPath(c_ + "/inner/x"), "E:\\x");
    EXPECT_EQ(FromHostPath(c_ + "/inner"), "E:\\");
    EXPECT_EQ(FromHostPath(c_ + "/innerish"), "C:\\innerish");
    EXPECT_EQ(FromHostPath(c_ + "//other/"), "C:\\other");
    EXPECT_EQ(FromHostPath(c_), "C:\\");
    EXPECT_EQ(FromHostPath(d_), "");

    Install({Drive('C', "/"), Drive('D', d_)});
    EXPECT_EQ(FromHostPath(d_ + "/a/b"), "D:\\a\\b");
    EXPECT_EQ(FromHostPath("/usr/lib"), "C:\\usr\\lib");
    EXPECT_EQ(FromHostPath("/"), "C:\\");
}

TEST_F(PathTranslation, TrailingPeriodsAndSpacesOfEachNameAreDropped) {
    MakeDirs(c_ + "/p/sub");
    testing_support::WriteBytes(c_ + "/p/index.htm", "x");
    const struct {
        const char* windows;
        const char* host;  // below c_
    } rows[] = {
        {"C:\\p\\index.htm ", "/p/index.htm"},    {"C:\\p\\index.htm.", "/p/index.htm"},
        {"C:\\p\\index.htm. . ", "/p/index.htm"}, {"C:\\p.\\sub", "/p/sub"},
        {"C:\\p \\sub\\", "/p/sub/"},             {"C:\\p\\...\\sub", "/p/sub"},
        {"C:\\p\\sub\\ .\\..", "/p"},            {"C:\\p\\.hidden.", "/p/.hidden"},
    };
    for (const auto& row : rows) EXPECT_EQ(Host(row.windows), c_ + row.host) << row.windows;
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\p\\sub. "));
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\p\\sub");
    // The search takes a plain name as a path component; a pattern keeps its final period.
    platform::FindData data;
    platform::FindHandle found = platform::FindFirstFile("C:\\p\\index.htm ", &data);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(data.name, "index.htm");
    platform::FindClose(found);
    found = platform::FindFirstFile("C:\\p\\sub*.", &data);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(data.name, "sub");
    platform::FindClose(found);
    EXPECT_EQ(platform::GetFileAttributes("C:\\p\\index.htm."), platform::kAttrArchive);
}

TEST_F(PathTranslation, AHostPathWithANameWindowsCannotCarryHasNoWindowsForm) {
    const struct {
        const char* host;     // below c_
        const char* windows;  // empty: none
    } rows[] = {
        {"/wiz/kvd_gen", "C:\\wiz\\kvd_gen"}, {"/a b/.x/kvd_gen", "C:\\a b\\.x\\kvd_gen"},
        {"/a\\b/kvd_gen", ""},                 {"/wiz./kvd_gen", ""},
        {"/wiz /kvd_gen", ""},                  {"/a:b/kvd_gen", ""},
        {"/a*b", ""},                           {"/wiz/kvd\\gen", ""},
        {"/tab\tname/x", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(FromHostPath(c_ + row.host), row.windows) << row.host;
    // Outside every drive the current directory is the first drive's root; so it is in a
    // folder that has no Windows form.
    MakeDirs(c_ + "/a\\b");
    ASSERT_EQ(chdir((c_ + "/a\\b").c_str()), 0);
    platform::posix::SetDriveTable({Drive('C', c_), Drive('D', d_)});
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\");
}

TEST_F(PathTranslation, FromHostPathFindsADriveGivenThroughASymbolicLink) {
    MakeDirs(temp_ / "real/sub");
    ASSERT_EQ(symlink((temp_ / "real").c_str(), (temp_ / "link").c_str()), 0);
    Install({Drive('C', c_), Drive('L', temp_ / "link")});
    EXPECT_EQ(FromHostPath(temp_ / "real/sub"), "L:\\sub");
    EXPECT_EQ(FromHostPath(temp_ / "link/sub"), "L:\\sub");
}

TEST_F(PathTranslation, NamesThatDifferOnlyInCaseStandForTheEntryOnDisk) {
    using testing_support::ReadBytes;
    using testing_support::WriteBytes;
    testing_support::MakeDirs(c_ + "/Proj");
    WriteBytes(c_ + "/Proj/KVD.CFG", "old");
    // Reading, writing and deleting under another case all reach the one file.
    EXPECT_EQ(Host("C:\\proj\\kvd.cfg"), c_ + "/Proj/KVD.CFG");
    const platform::FileHandle out =
        platform::CreateFile("C:\\proj\\kvd.cfg", platform::kGenericWrite, platform::kShareRead, platform::kCreateAlways);
    ASSERT_NE(out, platform::kInvalidFileHandle);
    uint32_t written = 0;
    ASSERT_TRUE(platform::WriteFile(out, "new", 3, &written));
    ASSERT_TRUE(platform::CloseHandle(out));
    EXPECT_EQ(ReadBytes(c_ + "/Proj/KVD.CFG"), "new");
    EXPECT_FALSE(testing_support::HostExists(c_ + "/Proj/kvd.cfg"));
    // An exact name wins over one that differs in case.
    WriteBytes(c_ + "/Proj/kvd.cfg", "exact");
    EXPECT_EQ(Host("C:\\Proj\\kvd.cfg"), c_ + "/Proj/kvd.cfg");
    EXPECT_TRUE(platform::DeleteFile("C:\\PROJ\\Kvd.Cfg"));
    EXPECT_TRUE(testing_support::HostExists(c_ + "/Proj/kvd.cfg"));
    EXPECT_FALSE(testing_support::HostExists(c_ + "/Proj/KVD.CFG"));
    // A name that is not there in any case is created as written.
    EXPECT_EQ(Host("C:\\proj\\New.htm"), c_ + "/Proj/New.htm");
    // Folders that differ only in case are two folders, each reached by its own name.
    MakeDirs(c_ + "/Docs");
    MakeDirs(c_ + "/docs");
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\docs"));
    EXPECT_EQ(HostCwd(), c_ + "/docs");
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\Docs"));
    EXPECT_EQ(HostCwd(), c_ + "/Docs");
    // The current directory keeps the case it was given.
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\PROJ"));
    EXPECT_EQ(platform::GetCurrentDirectory(), "C:\\PROJ");
    EXPECT_EQ(HostCwd(), c_ + "/Proj");
}

}  // namespace
}  // namespace platform_tests
