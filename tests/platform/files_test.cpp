#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "core_test_support.h"

namespace platform_tests {
namespace {

using namespace platform;
using testing_support::HostExists;
using testing_support::MakeDirs;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

using Files = DriveFixture;

TEST_F(Files, CreateAlwaysTruncatesAndTheBytesComeBackExactly) {
    WriteBytes(c_ + "/f.bin", "a much longer earlier content");
    FileHandle out = CreateFile("C:\\f.bin", kGenericWrite, kShareRead, kCreateAlways);
    ASSERT_NE(out, kInvalidFileHandle);
    EXPECT_EQ(GetFileType(out), kFileTypeDisk);
    const std::string bytes("ab\0\r\n\x1a", 6);
    uint32_t written = 0;
    ASSERT_TRUE(WriteFile(out, bytes.data(), 6, &written));
    EXPECT_EQ(written, 6u);
    ASSERT_TRUE(CloseHandle(out));
    EXPECT_EQ(ReadBytes(c_ + "/f.bin"), bytes);

    FileHandle in = CreateFile("c:/F.BIN/../f.bin", kGenericRead, kShareRead, kOpenExisting);
    ASSERT_NE(in, kInvalidFileHandle);
    EXPECT_EQ(SetFilePointer(in, 0, kFileEnd), 6);
    EXPECT_EQ(SetFilePointer(in, 2, kFileBegin), 2);
    EXPECT_EQ(SetFilePointer(in, 1, kFileCurrent), 3);
    char buffer[16];
    uint32_t read = 99;
    ASSERT_TRUE(ReadFile(in, buffer, sizeof buffer, &read));
    EXPECT_EQ(std::string(buffer, read), bytes.substr(3));
    ASSERT_TRUE(ReadFile(in, buffer, sizeof buffer, &read));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(SetFilePointer(in, -1, kFileBegin), -1);
    EXPECT_EQ(GetLastError(), kErrorNegativeSeek);
    ASSERT_TRUE(CloseHandle(in));
    EXPECT_FALSE(CloseHandle(in));
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
    EXPECT_FALSE(ReadFile(kInvalidFileHandle, buffer, 1, &read));
    EXPECT_EQ(GetLastError(), kErrorInvalidHandle);
}

TEST_F(Files, CreatedFilesGetReadAndWriteBitsLessTheUmask) {
    const mode_t saved = umask(022);
    FileHandle out = CreateFile("C:\\new.txt", kGenericRead | kGenericWrite, kShareNone, kCreateAlways);
    umask(saved);
    ASSERT_NE(out, kInvalidFileHandle);
    CloseHandle(out);
    struct stat st;
    ASSERT_EQ(stat((c_ + "/new.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(Files, OpenFailuresTellMissingFilesFromMissingFolders) {
    MakeDirs(c_ + "/dir");
    WriteBytes(c_ + "/plain", "x");
    const struct {
        const char* name;
        uint32_t access;
        uint32_t disposition;
        uint32_t code;
    } cases[] = {
        {"C:\\missing.txt", kGenericRead, kOpenExisting, kErrorFileNotFound},
        {"C:\\nofolder\\a.txt", kGenericRead, kOpenExisting, kErrorPathNotFound},
        {"C:\\nofolder\\a.txt", kGenericWrite, kCreateAlways, kErrorPathNotFound},
        {"C:\\plain\\a.txt", kGenericRead, kOpenExisting, kErrorPathNotFound},
        {"C:\\plain\\a.txt", kGenericWrite, kCreateAlways, kErrorPathNotFound},
        {"C:\\dir", kGenericRead, kOpenExisting, kErrorAccessDenied},
        {"C:\\dir", kGenericWrite, kCreateAlways, kErrorAccessDenied},
        {"C:\\dir\\", kGenericWrite, kOpenExisting, kErrorAccessDenied},
        {"C:\\plain", kGenericRead, 99, kErrorInvalidParameter},
        {"Q:\\a.txt", kGenericRead, kOpenExisting, kErrorPathNotFound},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(CreateFile(c.name, c.access, kShareRead, c.disposition), kInvalidFileHandle) << c.name;
        EXPECT_EQ(GetLastError(), c.code) << c.name;
    }
    EXPECT_FALSE(HostExists(c_ + "/dir/a.txt"));
    ASSERT_EQ(rmdir(d_.c_str()), 0);
    EXPECT_EQ(CreateFile("D:\\a.txt", kGenericWrite, kShareRead, kCreateAlways), kInvalidFileHandle);
    EXPECT_EQ(GetLastError(), kErrorNotReady);
}

TEST_F(Files, DevicesAndPipesReportTheirKindAndTheirFailures) {
    Install({Drive('C', c_), Drive('V', "/dev")});
    FileHandle full = CreateFile("V:\\full", kGenericWrite, kShareRead, kOpenExisting);
    ASSERT_NE(full, kInvalidFileHandle);
    EXPECT_EQ(GetFileType(full), kFileTypeChar);
    uint32_t written = 99;
    EXPECT_FALSE(WriteFile(full, "abc", 3, &written));
    EXPECT_EQ(GetLastError(), kErrorDiskFull);
    EXPECT_EQ(written, 0u);
    CloseHandle(full);

    // A named pipe without a writer opens at once and reads as ended.
    ASSERT_EQ(mkfifo((c_ + "/fifo").c_str(), 0666), 0);
    FileHandle fifo = CreateFile("C:\\fifo", kGenericRead, kShareRead, kOpenExisting);
    ASSERT_NE(fifo, kInvalidFileHandle);
    EXPECT_EQ(GetFileType(fifo), kFileTypePipe);
    char byte;
    uint32_t read = 99;
    EXPECT_TRUE(ReadFile(fifo, &byte, 1, &read));
    EXPECT_EQ(read, 0u);
    CloseHandle(fifo);

    // Nobody reads: the write fails as Windows says it (the pipe is being closed), and the process lives on.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    EXPECT_FALSE(WriteFile(ends[1], "abc", 3, &written));
    EXPECT_EQ(GetLastError(), kErrorNoData);
    close(ends[1]);
    EXPECT_EQ(GetFileType(ends[1]), kFileTypeUnknown);
}

TEST_F(Files, ARunningProgramCannotBeOpenedForWriting) {
    char exe[4096];
    const ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(length, 0);
    const std::string program(exe, static_cast<size_t>(length));
    const std::string folder = program.substr(0, program.rfind('/'));
    Install({Drive('C', c_), Drive('P', folder)});
    const std::string name = "P:\\" + program.substr(program.rfind('/') + 1);
    // Opened without truncation: should the refusal ever fail, the program stays whole.
    FileHandle handle = CreateFile(name, kGenericWrite, kShareNone, kOpenExisting);
    EXPECT_EQ(handle, kInvalidFileHandle);
    EXPECT_EQ(GetLastError(), kErrorSharingViolation);
    if (handle != kInvalidFileHandle) CloseHandle(handle);
}

TEST_F(Files, TheLastErrorBelongsToEachThread) {
    SetLastError(kErrorDiskFull);
    uint32_t seen = 0;
    std::thread other([&] {
        seen = GetLastError();
        EXPECT_EQ(CreateFile("C:\\missing", kGenericRead, kShareRead, kOpenExisting), kInvalidFileHandle);
    });
    other.join();
    EXPECT_EQ(seen, kErrorSuccess);
    EXPECT_EQ(GetLastError(), kErrorDiskFull);
}

TEST_F(Files, DeleteRemovesFilesAndLinksButNotFolders) {
    MakeDirs(c_ + "/dir");
    WriteBytes(c_ + "/gone.txt", "x");
    WriteBytes(c_ + "/target", "t");
    ASSERT_EQ(symlink((c_ + "/target").c_str(), (c_ + "/link").c_str()), 0);
    EXPECT_TRUE(DeleteFile("C:\\gone.txt"));
    EXPECT_FALSE(HostExists(c_ + "/gone.txt"));
    EXPECT_TRUE(DeleteFile("C:\\link"));
    EXPECT_TRUE(HostExists(c_ + "/target"));
    EXPECT_FALSE(DeleteFile("C:\\dir"));
    EXPECT_EQ(GetLastError(), kErrorAccessDenied);
    EXPECT_TRUE(HostExists(c_ + "/dir"));
    EXPECT_FALSE(DeleteFile("C:\\gone.txt"));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_FALSE(DeleteFile("C:\\nofolder\\x"));
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

TEST_F(Files, AttributesFollowLinksAndMarkDotNamesHidden) {
    MakeDirs(c_ + "/dir");
    MakeDirs(c_ + "/.hiddendir");
    WriteBytes(c_ + "/plain", "x");
    WriteBytes(c_ + "/.profile", "x");
    ASSERT_EQ(mkfifo((c_ + "/fifo").c_str(), 0666), 0);
    ASSERT_EQ(symlink((c_ + "/dir").c_str(), (c_ + "/dirlink").c_str()), 0);
    ASSERT_EQ(symlink((c_ + "/nowhere").c_str(), (c_ + "/broken").c_str()), 0);
    EXPECT_EQ(GetFileAttributes("C:\\dir"), kAttrDirectory);
    EXPECT_EQ(GetFileAttributes("C:\\dir\\"), kAttrDirectory);
    EXPECT_EQ(GetFileAttributes("C:\\"), kAttrDirectory);
    EXPECT_EQ(GetFileAttributes("C:\\.hiddendir"), kAttrDirectory | kAttrHidden);
    EXPECT_EQ(GetFileAttributes("C:\\plain"), kAttrArchive);
    EXPECT_EQ(GetFileAttributes("C:\\.profile"), kAttrArchive | kAttrHidden);
    EXPECT_EQ(GetFileAttributes("C:\\fifo"), kAttrSystem);
    EXPECT_EQ(GetFileAttributes("C:\\dirlink"), kAttrDirectory);
    EXPECT_EQ(GetFileAttributes("C:\\broken"), kAttrArchive);
    EXPECT_EQ(GetFileAttributes("C:\\missing"), kInvalidFileAttributes);
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
    EXPECT_EQ(GetFileAttributes("C:\\plain\\x"), kInvalidFileAttributes);
    EXPECT_EQ(GetLastError(), kErrorPathNotFound);
}

TEST_F(Files, SameFileObjectSeesThroughLinksAndDots) {
    MakeDirs(c_ + "/a/b");
    WriteBytes(c_ + "/a/f", "x");
    WriteBytes(c_ + "/a/g", "x");
    ASSERT_EQ(symlink((c_ + "/a").c_str(), (d_ + "/alias").c_str()), 0);
    EXPECT_TRUE(SameFileObject("C:\\a\\f", "D:\\alias\\f"));
    EXPECT_TRUE(SameFileObject("C:\\a\\b\\..\\f", "c:/A/../a/f"));
    EXPECT_TRUE(SameFileObject("C:\\a", "D:\\alias"));
    EXPECT_FALSE(SameFileObject("C:\\a\\f", "C:\\a\\g"));
    EXPECT_FALSE(SameFileObject("C:\\a\\f", "C:\\a\\missing"));
    EXPECT_EQ(GetLastError(), kErrorFileNotFound);
}

}  // namespace
}  // namespace platform_tests
