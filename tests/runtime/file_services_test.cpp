// The existence test, deletion and the whole-file copy on real files.
#include "runtime/file_services.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>

#include "runtime/exceptions.h"
#include "runtime_test_support.h"

using runtime_tests::Win;
using testing_support::HostExists;
using testing_support::MakeDirs;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

// Sets a file's modification time to noon on 1 June of the year, local time.
void SetYear(const std::string& hostPath, int year) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = 5;
    tm.tm_mday = 1;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    const time_t t = mktime(&tm);
    struct utimbuf times {
        t, t
    };
    ASSERT_EQ(utime(hostPath.c_str(), &times), 0);
}

[[maybe_unused]] mode_t ModeOf(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

template <typename E>
std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const E& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

TEST(FileExists, AnswersForFilesOnly) {
    TempDir dir;
    WriteBytes(dir / "kvd.exe", "MZ");
    MakeDirs(dir / "sub");
    EXPECT_TRUE(rtl::FileExists(Win(dir / "kvd.exe")));
    EXPECT_FALSE(rtl::FileExists(Win(dir / "sub")));
    EXPECT_FALSE(rtl::FileExists(Win(dir / "sub") + "\\"));
    EXPECT_FALSE(rtl::FileExists(Win(dir / "kvd.exe") + "\\"));
    EXPECT_FALSE(rtl::FileExists(Win(dir / "missing.exe")));
    EXPECT_FALSE(rtl::FileExists(Win(dir / "nofolder/kvd.exe")));
    EXPECT_FALSE(rtl::FileExists(""));
}

TEST(FileExists, HonoursWildcardsForTheFirstMatch) {
    TempDir dir;
    MakeDirs(dir / "pages");
    WriteBytes(dir / "pages/Index.HTM", "<html>");
    MakeDirs(dir / "folders/alpha");
    EXPECT_TRUE(rtl::FileExists(Win(dir / "pages") + "\\*.htm"));
    EXPECT_TRUE(rtl::FileExists(Win(dir / "pages") + "\\INDEX.htm"));
    EXPECT_TRUE(rtl::FileExists(Win(dir / "pages") + "\\ind?x.*"));
    EXPECT_FALSE(rtl::FileExists(Win(dir / "pages") + "\\*.txt"));
    EXPECT_FALSE(rtl::FileExists(Win(dir / "folders") + "\\a*"));
}

TEST(FileExists, LastWriteTimeOutsideTheDosYearsCountsAsMissing) {
    TempDir dir;
    for (int year : {1975, 1979, 1980, 2000, 2107, 2108}) {
        const std::string name = dir / ("y" + std::to_string(year));
        WriteBytes(name, "t");
        SetYear(name, year);
#ifdef _WIN32
        if (year == 2108) {
            std::cout << "not compared under Wine: 2108: Wine lets the year run past 2107 into the month's bits\n";
            continue;
        }
#endif
        EXPECT_EQ(rtl::FileExists(Win(name)), year >= 1980 && year <= 2107) << year;
    }
}

TEST(FileExists, ATimeTensOfThousandsOfYearsAheadDoesNotWrapIntoTheDosYears) {
#ifdef _WIN32
    GTEST_SKIP() << "needs a host file system that keeps 64-bit times (tmpfs)";
#else
    // tmpfs keeps 64-bit times. This one, in the year 60,453, is 2^64 ticks past 2000-01-01
    // 00:00 UTC: a tick count that wrapped would make it look like a file of the year 2000.
    constexpr time_t kWraps = 1845621092171;
    char pattern[] = "/dev/shm/kvdtest.XXXXXX";
    if (!mkdtemp(pattern)) GTEST_SKIP() << "no /dev/shm here";
    const std::string dir = pattern;
    const std::string name = dir + "/far.htm";
    WriteBytes(name, "t");
    const timespec times[2] = {{kWraps, 0}, {kWraps, 0}};
    struct stat st {};
    const bool kept = utimensat(AT_FDCWD, name.c_str(), times, 0) == 0 && stat(name.c_str(), &st) == 0 &&
                      st.st_mtim.tv_sec == kWraps;
    if (kept) {
        EXPECT_FALSE(rtl::FileExists(Win(name)));
        EXPECT_FALSE(rtl::FileExists(Win(dir) + "\\*.htm"));
    }
    unlink(name.c_str());
    rmdir(dir.c_str());
    if (!kept) GTEST_SKIP() << "the file system here does not keep 64-bit times";
#endif
}

// The existence test as a search alone answers it: the first entry that matches the name.
[[maybe_unused]] bool SearchSaysExists(const std::string& name) {
    platform::FindData data;
    platform::FindHandle search = platform::FindFirstFile(name, &data);
    if (search == nullptr) return false;
    platform::FindClose(search);
    platform::FileTime local;
    uint16_t date = 0, time = 0;
    return (data.attributes & platform::kAttrDirectory) == 0 &&
           platform::FileTimeToLocalFileTime(data.lastWriteTime, &local) &&
           platform::FileTimeToDosDateTime(local, &date, &time);
}

TEST(FileExists, ExactNameLookAnswersAsTheSearchDoes) {
#ifdef _WIN32
    GTEST_SKIP() << "needs symbolic links and names differing only in case in one folder, which Windows folders do not hold";
#else
    TempDir dir;
    WriteBytes(dir / "page.htm", "<html>");
    MakeDirs(dir / "Sub.htm");
    WriteBytes(dir / "Index.HTM", "<html>");
    MakeDirs(dir / "Folder");
    WriteBytes(dir / "old.htm", "o");
    SetYear(dir / "old.htm", 1975);
    WriteBytes(dir / "late.htm", "l");
    SetYear(dir / "late.htm", 2108);
    ASSERT_EQ(::symlink("page.htm", (dir / "link.htm").c_str()), 0);
    ASSERT_EQ(::symlink("gone.htm", (dir / "dead.htm").c_str()), 0);
    ASSERT_EQ(::symlink("Sub.htm", (dir / "sublink").c_str()), 0);
    const std::string folder = Win(dir.Path()) + "\\";
    const struct {
        std::string name;
        bool exists;
    } rows[] = {
        {"page.htm", true},    {"Sub.htm", false},    {"index.htm", true},  {"INDEX.HTM", true},
        {"Index.HTM", true},   {"folder", false},     {"Folder", false},    {"old.htm", false},
        {"OLD.HTM", false},    {"late.htm", false},   {"link.htm", true},   {"dead.htm", true},
        {"sublink", false},    {"missing.htm", false}, {"p*.htm", true},    {"su?.htm", false},
        {"", false},           {"Sub.htm\\", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(rtl::FileExists(folder + row.name), row.exists) << row.name;
        EXPECT_EQ(SearchSaysExists(folder + row.name), row.exists) << row.name;
    }

    // Two spellings of one name: the one spelled as asked answers, so a folder of the exact name
    // does not count even beside a file of the other spelling.
    MakeDirs(dir / "Both.htm");
    WriteBytes(dir / "both.htm", "b");
    EXPECT_FALSE(rtl::FileExists(folder + "Both.htm"));
    EXPECT_TRUE(rtl::FileExists(folder + "both.htm"));
#endif
}

TEST(DeleteFile, RemovesFilesAndReportsFailure) {
    TempDir dir;
    WriteBytes(dir / "kvd.exe", "MZ");
    MakeDirs(dir / "sub");
    EXPECT_TRUE(rtl::DeleteFile(Win(dir / "kvd.exe")));
    EXPECT_FALSE(HostExists(dir / "kvd.exe"));
    EXPECT_FALSE(rtl::DeleteFile(Win(dir / "kvd.exe")));
    EXPECT_FALSE(rtl::DeleteFile(Win(dir / "sub")));
    EXPECT_TRUE(HostExists(dir / "sub"));
}

TEST(CopyWholeFile, CopiesEveryByte) {
    TempDir dir;
    std::string bytes;
    for (int i = 0; i < 300 * 1024; ++i) bytes += static_cast<char>((i * 31 + i / 256) & 0xFF);
    WriteBytes(dir / "kvd.exe", bytes);
    WriteBytes(dir / "old.exe", std::string(500 * 1024, 'o'));
    rtl::CopyWholeFile(Win(dir / "kvd.exe"), Win(dir / "new.exe"));
    EXPECT_EQ(ReadBytes(dir / "new.exe"), bytes);
    rtl::CopyWholeFile(Win(dir / "kvd.exe"), Win(dir / "old.exe"));
    EXPECT_EQ(ReadBytes(dir / "old.exe"), bytes);
    EXPECT_EQ(ReadBytes(dir / "kvd.exe"), bytes);

    WriteBytes(dir / "empty", "");
    rtl::CopyWholeFile(Win(dir / "empty"), Win(dir / "old.exe"));
    EXPECT_TRUE(HostExists(dir / "old.exe"));
    EXPECT_EQ(ReadBytes(dir / "old.exe"), "");

    rtl::TMemoryStream stream;
    stream.LoadFromFile(Win(dir / "kvd.exe"));
    EXPECT_EQ(std::string(stream.Data().begin(), stream.Data().end()), bytes);
}

TEST(CopyWholeFile, AMissingSourceRaisesAndLeavesTheTargetAlone) {
    TempDir dir;
    const std::string source = Win(dir / "kvd.exe");
    EXPECT_EQ(MessageOf<rtl::EFOpenError>([&] { rtl::CopyWholeFile(source, Win(dir / "copy.exe")); }),
              "Cannot open file " + source);
    EXPECT_FALSE(HostExists(dir / "copy.exe"));

    WriteBytes(dir / "copy.exe", "keep me");
    EXPECT_THROW(rtl::CopyWholeFile(source, Win(dir / "copy.exe")), rtl::EStreamError);
    EXPECT_EQ(ReadBytes(dir / "copy.exe"), "keep me");

    // The name in the message is the one passed, not a resolved form of it.
    const std::string roundabout = Win(dir.Path()) + "\\nowhere\\..\\kvd.exe";
    EXPECT_EQ(MessageOf<rtl::EFOpenError>([&] { rtl::CopyWholeFile(roundabout, Win(dir / "x.exe")); }),
              "Cannot open file " + roundabout);
    EXPECT_FALSE(HostExists(dir / "x.exe"));
}

TEST(CopyWholeFile, ATargetThatCannotBeCreatedRaisesAndLeavesTheSourceAlone) {
    TempDir dir;
    WriteBytes(dir / "kvd.exe", "MZ program");
    WriteBytes(dir / "plain", "p");
    MakeDirs(dir / "folder.exe");
    const std::string throughFile = Win(dir / "plain") + "\\kvd.exe";
    EXPECT_EQ(MessageOf<rtl::EFCreateError>([&] { rtl::CopyWholeFile(Win(dir / "kvd.exe"), throughFile); }),
              "Cannot create file " + throughFile);
    const std::string folder = Win(dir / "folder.exe");
    EXPECT_EQ(MessageOf<rtl::EStreamError>([&] { rtl::CopyWholeFile(Win(dir / "kvd.exe"), folder); }),
              "Cannot create file " + folder);
    EXPECT_EQ(ReadBytes(dir / "kvd.exe"), "MZ program");
    EXPECT_EQ(ReadBytes(dir / "plain"), "p");

    WriteBytes(dir / "locked.exe", "old");
    runtime_tests::ImmutableFile locked(dir / "locked.exe");
    if (!locked.Active()) return;
    EXPECT_THROW(rtl::CopyWholeFile(Win(dir / "kvd.exe"), Win(dir / "locked.exe")), rtl::EFCreateError);
    EXPECT_EQ(ReadBytes(dir / "locked.exe"), "old");
}

TEST(CopyWholeFile, AShortWriteRaisesStreamWriteError) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that is always full (/dev/full)";
#else
    TempDir dir;
    WriteBytes(dir / "kvd.exe", "MZ program");
    EXPECT_EQ(MessageOf<rtl::EWriteError>([&] { rtl::CopyWholeFile(Win(dir / "kvd.exe"), Win("/dev/full")); }),
              "Stream write error");
    // Nothing to write means nothing can fail.
    WriteBytes(dir / "empty", "");
    EXPECT_NO_THROW(rtl::CopyWholeFile(Win(dir / "empty"), Win("/dev/full")));
#endif
}

TEST(CopyWholeFile, MemoryThatCannotBeHadRaisesStreamError) {
#ifdef _WIN32
    GTEST_SKIP() << "needs the host's overcommit policy and a sparse file of 4 TiB";
#else
    std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
    int policy = -1;
    overcommit >> policy;
    if (policy == 1) GTEST_SKIP() << "every allocation succeeds on this machine";
    TempDir dir;
    const std::string huge = dir / "sparse.bin";
    WriteBytes(huge, "");
    if (truncate(huge.c_str(), 1LL << 42) != 0) GTEST_SKIP() << "no sparse file of 4 TiB here";
    EXPECT_EQ(MessageOf<rtl::EStreamError>([&] { rtl::CopyWholeFile(Win(huge), Win(dir / "copy")); }),
              "Out of memory while expanding memory stream");
    EXPECT_FALSE(HostExists(dir / "copy"));
#endif
}

class CopyMode : public ::testing::Test {
protected:
    void SetUp() override { saved_ = umask(022); }
    void TearDown() override { umask(saved_); }
    mode_t saved_ = 0;
};

TEST_F(CopyMode, TheTargetIsRunnableWhenTheSourceIs) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows files carry no permission bits";
#else
    TempDir dir;
    WriteBytes(dir / "kvd.exe", "#!/bin/sh\nexit 7\n");
    chmod((dir / "kvd.exe").c_str(), 0700);
    WriteBytes(dir / "page.htm", "<p>");
    chmod((dir / "page.htm").c_str(), 0640);
    WriteBytes(dir / "locked.exe", "old");
    chmod((dir / "locked.exe").c_str(), 0600);

    rtl::CopyWholeFile(Win(dir / "kvd.exe"), Win(dir / "copy.exe"));
    EXPECT_EQ(ModeOf(dir / "copy.exe"), 0755u);
    EXPECT_EQ(system(("'" + dir / "copy.exe" + "'").c_str()), 7 << 8);

    rtl::CopyWholeFile(Win(dir / "page.htm"), Win(dir / "copy.htm"));
    EXPECT_EQ(ModeOf(dir / "copy.htm"), 0644u);

    rtl::CopyWholeFile(Win(dir / "kvd.exe"), Win(dir / "locked.exe"));
    EXPECT_EQ(ModeOf(dir / "locked.exe"), 0755u);

    umask(077);
    rtl::CopyWholeFile(Win(dir / "kvd.exe"), Win(dir / "private.exe"));
    EXPECT_EQ(ModeOf(dir / "private.exe"), 0700u);
#endif
}

}  // namespace
