// Real program starts through ShellExecute.
#include "platform/posix/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "support/temp_dir.h"

namespace {

using Args = std::vector<std::string>;

std::string RealPath(const std::string& path) {
    char buffer[PATH_MAX];
    return ::realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

// Children of this process that are zombies, from /proc.
int ZombieChildren() {
    int zombies = 0;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return 0;
    while (dirent* entry = ::readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2 && parent == ::getpid() &&
            state == 'Z')
            ++zombies;
    }
    ::closedir(proc);
    return zombies;
}

class ShellStart : public ::testing::Test {
protected:
    void SetUp() override {
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
        for (const char* folder : {"c/proj", "c/empty", "c/other", "bin", "nowine"})
            testing_support::MakeDirs(temp_ / folder);
        InstallRecorder(temp_ / "c/proj/kvd.exe");
        std::vector<platform::posix::DriveEntry> table(1);
        table[0].letter = 'C';
        table[0].hostFolder = temp_ / "c";
        platform::posix::SetDriveTable(table);
        ASSERT_TRUE(platform::SetCurrentDirectory("C:\\proj"));
        record_ = temp_ / "record";
        ::setenv("KVD_ARG_RECORD", record_.c_str(), 1);
        ::setenv("PATH", (temp_ / "bin").c_str(), 1);
    }
    void TearDown() override {
        ::setenv("PATH", savedPath_.c_str(), 1);
        ::unsetenv("KVD_ARG_RECORD");
        platform::posix::SetModuleFileNameForTesting("");
        ::chdir("/");
        platform::posix::ResetDriveTable();
    }

    static void InstallRecorder(const std::string& hostPath) {
        testing_support::WriteBytes(hostPath, testing_support::ReadBytes(KVD_ARG_RECORDER));
        ASSERT_EQ(::chmod(hostPath.c_str(), 0755), 0);
    }

    // The recorder's record: working folder, argv..., descriptor count. Empty after 10 s.
    Args WaitForRecord() {
        for (int i = 0; i < 500; ++i) {
            if (testing_support::HostExists(record_)) {
                const std::string bytes = testing_support::ReadBytes(record_);
                Args fields;
                size_t start = 0;
                for (size_t end; (end = bytes.find('\0', start)) != std::string::npos; start = end + 1)
                    fields.push_back(bytes.substr(start, end - start));
                ::unlink(record_.c_str());
                return fields;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return {};
    }

    static void ExpectNoChildLeft() {
        int status = 0;
        errno = 0;
        const pid_t reaped = ::waitpid(-1, &status, WNOHANG);
        EXPECT_TRUE(reaped == 0 || (reaped == -1 && errno == ECHILD)) << reaped;
        EXPECT_EQ(ZombieChildren(), 0);
    }

    testing_support::TempDir temp_;
    std::string savedPath_;
    std::string record_;
};

TEST_F(ShellStart, BareNameStartsTheCurrentFoldersProgramWithEveryArgument) {
    // A descriptor without close-on-exec must not reach the program.
    const int leaked = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaked, 0);
    const std::string params = " \"-\" \"index.htm\" \"Visit us on the Web!\" \"http://x\" \"-\" \"-\" \"400\" \"600\"";
    const intptr_t result = platform::ShellExecute("open", "kvd.exe", params, "", platform::kSwShowNormal);
    ::close(leaked);
    EXPECT_EQ(result, 42);
    ExpectNoChildLeft();
    const Args record = WaitForRecord();
    ASSERT_EQ(record.size(), 11u);
    EXPECT_EQ(record[0], RealPath(temp_ / "c/proj"));
    EXPECT_EQ(RealPath(record[1]), RealPath(temp_ / "c/proj/kvd.exe"));
    EXPECT_EQ(Args(record.begin() + 2, record.end() - 1),
              (Args{"-", "index.htm", "Visit us on the Web!", "http://x", "-", "-", "400", "600"}));
    EXPECT_EQ(record.back(), "open-descriptors=0");
}

TEST_F(ShellStart, ShellTextInValuesIsPassedLiterallyAndNeverRun) {
    const std::string marker = temp_ / "ran";
    const std::string params = "\"$(touch " + marker + ")\" \"; touch " + marker + "\" \"`touch " + marker +
                               "`\" x;touch\\ " + marker + " \"a b\" \"\"";
    EXPECT_EQ(platform::ShellExecute("", "kvd.exe", params, "", platform::kSwShowNormal), 42);
    const Args record = WaitForRecord();
    ASSERT_EQ(record.size(), 10u);
    EXPECT_EQ(Args(record.begin() + 2, record.end() - 1),
              (Args{"$(touch " + marker + ")", "; touch " + marker, "`touch " + marker + "`", "x;touch\\", marker,
                    "a b", ""}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(testing_support::HostExists(marker));
    ExpectNoChildLeft();
}

TEST_F(ShellStart, CurrentFolderComesBeforePathAndNamesMatchWithoutCase) {
    InstallRecorder(temp_ / "bin/kvd.exe");
    ASSERT_EQ(platform::ShellExecute("open", "KVD.EXE", "one", "", 1), 42);
    Args record = WaitForRecord();
    ASSERT_GE(record.size(), 3u);
    EXPECT_EQ(RealPath(record[1]), RealPath(temp_ / "c/proj/kvd.exe"));
    EXPECT_EQ(record[2], "one");

    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\empty"));
    ASSERT_EQ(platform::ShellExecute("open", "kvd.exe", "two", "", 1), 42);
    record = WaitForRecord();
    ASSERT_GE(record.size(), 3u);
    EXPECT_EQ(record[0], RealPath(temp_ / "c/empty"));
    EXPECT_EQ(RealPath(record[1]), RealPath(temp_ / "bin/kvd.exe"));
    EXPECT_EQ(record[2], "two");
    ExpectNoChildLeft();
}

TEST_F(ShellStart, TheRunningProgramsFolderComesAfterPath) {
    testing_support::MakeDirs(temp_ / "c/wiz");
    InstallRecorder(temp_ / "c/wiz/KVD.EXE");
    InstallRecorder(temp_ / "bin/kvd.exe");
    platform::posix::SetModuleFileNameForTesting("C:\\wiz\\kvd_gen");
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\empty"));
    const std::vector<std::pair<std::string, std::string>> steps = {
        {"path", temp_ / "bin/kvd.exe"},  // PATH before the program's folder
        {"own", temp_ / "c/wiz/KVD.EXE"}, // then the program's folder, names without case
    };
    for (const auto& [argument, expected] : steps) {
        SCOPED_TRACE(argument);
        ASSERT_EQ(platform::ShellExecute("open", "kvd.exe", argument, "", 1), 42);
        const Args record = WaitForRecord();
        ASSERT_GE(record.size(), 3u);
        EXPECT_EQ(record[0], RealPath(temp_ / "c/empty"));
        EXPECT_EQ(RealPath(record[1]), RealPath(expected));
        EXPECT_EQ(record[2], argument);
        ASSERT_EQ(::unlink((temp_ / "bin/kvd.exe").c_str()), argument == "path" ? 0 : -1);
    }
    // A copy there that may not be run is passed over, and the name is not found.
    ASSERT_EQ(::chmod((temp_ / "c/wiz/KVD.EXE").c_str(), 0644), 0);
    EXPECT_EQ(platform::ShellExecute("open", "kvd.exe", "none", "", 1), 2);
    ExpectNoChildLeft();
}

TEST_F(ShellStart, WindowsPathsAndAWorkingFolderAreTranslated) {
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\empty"));
    ASSERT_EQ(platform::ShellExecute("open", "C:\\proj\\kvd.exe", "abs", "C:\\other", 1), 42);
    Args record = WaitForRecord();
    ASSERT_GE(record.size(), 3u);
    EXPECT_EQ(record[0], RealPath(temp_ / "c/other"));
    EXPECT_EQ(RealPath(record[1]), RealPath(temp_ / "c/proj/kvd.exe"));
    EXPECT_EQ(record[2], "abs");

    ASSERT_EQ(platform::ShellExecute("open", "..\\proj\\kvd.exe", "rel", "", 1), 42);
    record = WaitForRecord();
    ASSERT_GE(record.size(), 3u);
    EXPECT_EQ(record[0], RealPath(temp_ / "c/empty"));
    EXPECT_EQ(record[2], "rel");
    ExpectNoChildLeft();
}

TEST_F(ShellStart, ProgramsThatCannotStartReturnCodesOf32OrBelow) {
    EXPECT_EQ(platform::ShellExecute("open", "missing.exe", "", "", 1), 2);
    EXPECT_EQ(platform::GetLastError(), 2u);
    EXPECT_EQ(platform::ShellExecute("open", "", "", "", 1), 2);
    EXPECT_EQ(platform::ShellExecute("open", "C:\\nofolder\\kvd.exe", "", "", 1), 3);
    EXPECT_EQ(platform::ShellExecute("open", "X:\\kvd.exe", "", "", 1), 3);
    EXPECT_EQ(platform::ShellExecute("print", "kvd.exe", "", "", 1), 31);
    EXPECT_EQ(platform::ShellExecute("edit", "kvd.exe", "", "", 1), 31);
    EXPECT_EQ(platform::ShellExecute("open", "kvd.exe", "", "C:\\nofolder", 1), 3);
    // A folder of the name is not a program.
    testing_support::MakeDirs(temp_ / "c/proj/dir.exe");
    EXPECT_EQ(platform::ShellExecute("open", "dir.exe", "", "", 1), 2);

    testing_support::WriteBytes(temp_ / "c/proj/page.htm", "<html></html>");
    EXPECT_EQ(platform::ShellExecute("open", "page.htm", "", "", 1), 5);
    // Nor is a FIFO, and looking at it must not wait for a writer.
    for (const char* name : {"fifo.exe", "kvd.exe"}) {
        ::unlink((temp_ / "c/proj/" + name).c_str());
        ASSERT_EQ(::mkfifo((temp_ / "c/proj/" + name).c_str(), 0755), 0);
        EXPECT_EQ(platform::ShellExecute("open", name, "", "", 1), 5) << name;
    }

    // These fail only at exec in the started child; the failure still comes back.
    testing_support::WriteBytes(temp_ / "c/proj/junk.exe", "\x7f"
                                                           "ELX not a program");
    ASSERT_EQ(::chmod((temp_ / "c/proj/junk.exe").c_str(), 0755), 0);
    EXPECT_EQ(platform::ShellExecute("open", "junk.exe", "", "", 1), 11);
    testing_support::WriteBytes(temp_ / "c/proj/script", "#!" + temp_ / "no-such-interpreter\n");
    ASSERT_EQ(::chmod((temp_ / "c/proj/script").c_str(), 0755), 0);
    EXPECT_EQ(platform::ShellExecute("open", "script", "", "", 1), 2);
    ExpectNoChildLeft();
    EXPECT_FALSE(testing_support::HostExists(record_));
}

TEST_F(ShellStart, WindowsProgramsNeedTheLoaderOnPath) {
    testing_support::WriteBytes(temp_ / "c/proj/setup.exe", std::string("MZ\x90\0\3\0\0\0", 8) + "rest");
    ::setenv("PATH", (temp_ / "nowine").c_str(), 1);
    EXPECT_EQ(platform::ShellExecute("open", "setup.exe", "\"a b\" c", "", 1), 31);

    InstallRecorder(temp_ / "bin/wine");
    ::setenv("PATH", (temp_ / "nowine:" + temp_ / "bin").c_str(), 1);
    ASSERT_EQ(platform::ShellExecute("open", "setup.exe", "\"a b\" c", "", 1), 42);
    const Args record = WaitForRecord();
    ASSERT_EQ(record.size(), 6u);
    EXPECT_EQ(record[0], RealPath(temp_ / "c/proj"));
    EXPECT_EQ(record[1], "wine");
    EXPECT_EQ(RealPath(record[2]), RealPath(temp_ / "c/proj/setup.exe"));
    EXPECT_EQ(record[3], "a b");
    EXPECT_EQ(record[4], "c");
    ExpectNoChildLeft();
}

// The disc's kvd.exe is a Windows program; here the viewer beside the wizard shows its pages,
// started exactly as the Windows viewer would be, and never through the Windows loader.
TEST_F(ShellStart, OurWindowsViewerStartsTheHostViewerBesideTheProgram) {
    const std::string windowsProgram = std::string("MZ\x90\0\3\0\0\0", 8) + "rest";
    testing_support::MakeDirs(temp_ / "c/wiz");
    InstallRecorder(temp_ / "c/wiz/kvd_view");
    InstallRecorder(temp_ / "bin/wine");
    testing_support::WriteBytes(temp_ / "c/proj/kvd.exe", windowsProgram);
    // Not marked as runnable: a Windows program needs no mode bit of this system.
    testing_support::WriteBytes(temp_ / "c/wiz/KVD.EXE", windowsProgram);
    testing_support::WriteBytes(temp_ / "c/other/setup.exe", windowsProgram);
    platform::posix::SetModuleFileNameForTesting("C:\\wiz\\kvd_gen");
    // A value inherited from whoever started the wizard reaches no program.
    ::setenv("KVD_VIEW_STANDS_IN_FOR", "/inherited/kvd.exe", 1);
    const std::string tokens = " \"d\" \"index.htm\" \"Visit us\" \"http://x\" \"-\" \"-\" \"400\" \"600\"";
    const Args tokenArgs{"d", "index.htm", "Visit us", "http://x", "-", "-", "400", "600"};
    const std::string viewer = RealPath(temp_ / "c/wiz/kvd_view");

    struct Case {
        std::string name, file, current, directory, workFolder, standsInFor;
    };
    const std::vector<Case> cases = {
        {"preview", "kvd.exe", "C:\\proj", "", temp_ / "c/proj", temp_ / "c/proj/kvd.exe"},
        {"given folder", "KVD.exe", "C:\\proj", "C:\\other", temp_ / "c/other", temp_ / "c/proj/kvd.exe"},
        {"help", "kvd.exe", "C:\\empty", "", temp_ / "c/empty", temp_ / "c/wiz/KVD.EXE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(platform::SetCurrentDirectory(c.current));
        ASSERT_EQ(platform::ShellExecute("open", c.file, tokens, c.directory, 1), 42);
        const Args record = WaitForRecord();
        ASSERT_EQ(record.size(), 12u);
        EXPECT_EQ(record[0], RealPath(c.workFolder));
        EXPECT_EQ(RealPath(record[1]), viewer);
        EXPECT_EQ(Args(record.begin() + 2, record.begin() + 10), tokenArgs);
        EXPECT_EQ(record[10], "stands-in-for=" + c.standsInFor);
    }

    // Any other Windows program still goes to the loader, without the variable.
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\other"));
    ASSERT_EQ(platform::ShellExecute("open", "setup.exe", "a", "", 1), 42);
    Args record = WaitForRecord();
    ASSERT_EQ(record.size(), 5u);
    EXPECT_EQ(record[1], "wine");
    EXPECT_EQ(record[3], "a");

    // A host program named kvd.exe runs as itself.
    InstallRecorder(temp_ / "c/other/kvd.exe");
    ASSERT_EQ(platform::ShellExecute("open", "kvd.exe", "b", "", 1), 42);
    record = WaitForRecord();
    ASSERT_EQ(record.size(), 4u);
    EXPECT_EQ(RealPath(record[1]), RealPath(temp_ / "c/other/kvd.exe"));

    // Without the viewer beside the program nothing is associated; the loader is never the way.
    ASSERT_TRUE(platform::SetCurrentDirectory("C:\\proj"));
    const std::string moved = temp_ / "c/wiz/elsewhere";
    ASSERT_EQ(::rename((temp_ / "c/wiz/kvd_view").c_str(), moved.c_str()), 0);
    EXPECT_EQ(platform::ShellExecute("open", "kvd.exe", tokens, "", 1), 31);
    ASSERT_EQ(::rename(moved.c_str(), (temp_ / "c/wiz/kvd_view").c_str()), 0);
    ASSERT_EQ(::chmod((temp_ / "c/wiz/kvd_view").c_str(), 0644), 0);
    EXPECT_EQ(platform::ShellExecute("open", "kvd.exe", tokens, "", 1), 31);
    ::unsetenv("KVD_VIEW_STANDS_IN_FOR");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(testing_support::HostExists(record_));
    ExpectNoChildLeft();
}

} // namespace
