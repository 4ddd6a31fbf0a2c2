// The real wizard under a virtual X server: a project folder is opened in the folder list with
// the keyboard, "Preview Actual" is clicked with the mouse, and the files written and the viewer
// started (a recorder standing in as kvd.exe) are checked from outside the program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/drive_table.h"
#include "support/temp_dir.h"
#include "support/virtual_x_server.h"

namespace {

namespace fs = std::filesystem;
using testing_support::HostExists;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

const char kWindowTitle[] = "Kivador Setup Wizard - version 3.2";

struct Output {
    int status = -1;
    std::string text;
};

Output Shell(const std::string& command) {
    Output out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, n);
    out.status = pclose(pipe);
    return out;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

template <class F>
bool WaitUntil(F&& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void InstallProgram(const std::string& source, const std::string& target) {
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
}

std::string WizardDir() {
    const char* dir = std::getenv("KVD_WIZARD_DIR");
    return dir && *dir ? dir : KVD_WIZARD_DIR_DEFAULT;
}

std::string Record(std::initializer_list<std::string> lines) {
    std::string bytes;
    for (const std::string& line : lines) bytes += line + "\r\n";
    return bytes;
}

// The wizard as a child process, ended by its own Exit command or, failing that, by its id.
class WizardProcess {
public:
    bool Start(const std::string& program, const std::string& folder, const std::string& logFile) {
        pid_ = fork();
        if (pid_ < 0) return false;
        if (pid_ == 0) {
            if (chdir(folder.c_str()) != 0) _exit(126);
            FILE* log = std::fopen(logFile.c_str(), "w");
            if (log) {
                dup2(fileno(log), 1);
                dup2(fileno(log), 2);
            }
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        return true;
    }
    bool Exited(std::chrono::milliseconds limit) {
        return WaitUntil(
            [&] {
                if (pid_ <= 0) return true;
                int status = 0;
                if (waitpid(pid_, &status, WNOHANG) == pid_) {
                    pid_ = -1;
                    status_ = status;
                    return true;
                }
                return false;
            },
            limit);
    }
    // The exit code once Exited() saw the process end, else -1.
    int ExitCode() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    pid_t Id() const { return pid_; }
    // The process's working folder, which the folder list keeps at its folder.
    std::string WorkingFolder() const {
        if (pid_ <= 0) return {};
        std::error_code error;
        const fs::path link = fs::read_symlink("/proc/" + std::to_string(pid_) + "/cwd", error);
        return error ? std::string() : link.string();
    }
    ~WizardProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            if (!Exited(std::chrono::seconds(5))) kill(pid_, SIGKILL);
            if (pid_ > 0) waitpid(pid_, nullptr, 0);
        }
    }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(display_.Start()) << "cannot start Xvfb";
        ASSERT_EQ(Shell("command -v xdotool").status, 0) << "xdotool is not installed";
    }

    bool Xdo(const std::string& arguments) {
        const Output out = Shell("xdotool " + arguments);
        if (out.status != 0) ADD_FAILURE() << "xdotool " << arguments << " failed: " << out.text;
        return out.status == 0;
    }

    void Screenshot(const std::string& path) {
        const Output out = Shell("import -window root " + Quote(path));
        if (out.status != 0) std::printf("screenshot failed: %s\n", out.text.c_str());
        else std::printf("screenshot: %s\n", path.c_str());
    }

    // A server of the test's own, never one of the machine's: whatever display is set, or however many
    // other servers run, this one cannot collide with them.
    testing_support::VirtualXServer display_;
    std::string window_;
};

TEST_F(EndToEnd, PreviewThroughTheWindowWritesTheProjectAndStartsTheViewer) {
    testing_support::TempDir tmp;
    const std::string wiz = tmp / "wiz";
    const std::string project = wiz + "/proj";
    testing_support::MakeDirs(project);
    InstallProgram(WizardDir() + "/kvd_gen", wiz + "/kvd_gen");
    InstallProgram(KVD_RECORDER_PATH, wiz + "/kvd.exe");
    if (HostExists(WizardDir() + "/kvdhelp.htm")) fs::copy_file(WizardDir() + "/kvdhelp.htm", wiz + "/kvdhelp.htm");
    const std::string settings = Record({"start.htm", "Our link", "http://example.invalid/", "-", "N", "300", "500"});
    WriteBytes(project + "/kvd.cfg", settings);
    WriteBytes(project + "/start.htm", "<html>start</html>");

    // The wizard folder's row in the folder list: the root, one row per folder down to it, so its
    // index is the number of backslashes in its Windows path; its only sub-folder follows it.
    const std::string windowsWiz = platform::posix::FromHostPath(wiz);
    int wizRow = 0;
    for (char c : windowsWiz) wizRow += c == '\\';
    std::printf("wizard folder %s, row %d\n", windowsWiz.c_str(), wizRow);

    WizardProcess wizard;
    // Started outside its own folder, so that the first activation shows: it moves the folder list,
    // and with it the working folder, to the wizard folder.
    ASSERT_TRUE(wizard.Start(wiz + "/kvd_gen", tmp.Path(), tmp / "kvd_gen.log"));

    std::string window;
    const bool found = WaitUntil(
        [&] {
            const Output out = Shell(std::string("xdotool search --onlyvisible --name ") + Quote(std::string("^") +
                                                                                               kWindowTitle + "$"));
            if (out.status != 0 || out.text.empty()) return false;
            window = out.text.substr(0, out.text.find('\n'));
            return true;
        },
        std::chrono::seconds(20));
    ASSERT_TRUE(found) << "the wizard's window did not appear; its output:\n"
                       << (HostExists(tmp / "kvd_gen.log") ? ReadBytes(tmp / "kvd_gen.log") : "");
    ASSERT_TRUE(Xdo("windowfocus --sync " + window));

    const Output geometry = Shell("xdotool getwindowgeometry " + window);
    std::smatch size;
    ASSERT_TRUE(std::regex_search(geometry.text, size, std::regex("Geometry: (\\d+)x(\\d+)"))) << geometry.text;
    const int width = std::stoi(size[1]), height = std::stoi(size[2]);
    EXPECT_EQ(width, 475);
    // Everything above the 325 pixels of the client area is the menu bar.
    const int menu = height - 325;
    ASSERT_GE(menu, 0) << geometry.text;
    std::printf("window %s: %dx%d, menu bar %d\n", window.c_str(), width, height, menu);

    ASSERT_TRUE(WaitUntil([&] { return wizard.WorkingFolder() == wiz; }, std::chrono::seconds(15)))
        << "the first activation did not move the folder list to the wizard folder; working folder "
        << wizard.WorkingFolder();

    // Folder list at 0,136, 153 by 81: a click only selects; Home, Down to the sub-folder, Enter opens it.
    ASSERT_TRUE(Xdo("mousemove --window " + window + " 76 " + std::to_string(menu + 136 + 8) + " click 1"));
    ASSERT_TRUE(Xdo("key --delay 80 Home"));
    for (int i = 0; i <= wizRow; ++i) ASSERT_TRUE(Xdo("key --delay 80 Down"));
    ASSERT_TRUE(Xdo("key --delay 80 Return"));
    ASSERT_TRUE(WaitUntil([&] { return wizard.WorkingFolder() == project; }, std::chrono::seconds(10)))
        << "the project folder was not opened; working folder " << wizard.WorkingFolder();

    // "Preview Actual" at 320,176, 145 by 25.
    ASSERT_TRUE(Xdo("mousemove --window " + window + " " + std::to_string(320 + 72) + " " +
                    std::to_string(menu + 176 + 12) + " click 1"));

    const std::string argsFile = project + "/kvd-args.txt";
    const bool started = WaitUntil([&] { return HostExists(argsFile); }, std::chrono::seconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Screenshot(KVD_SCREENSHOT_PATH);
    ASSERT_TRUE(started) << "no viewer was started in the project folder; see " << KVD_SCREENSHOT_PATH;

    EXPECT_EQ(testing_support::SplitRecordedArguments(ReadBytes(argsFile)),
              (std::vector<std::string>{"-", "start.htm", "Our link", "http://example.invalid/", "-", "N", "300",
                                        "500"}));
    EXPECT_EQ(ReadBytes(project + "/kvd-cwd.txt"), project);
    EXPECT_EQ(ReadBytes(project + "/kvd.cfg"), settings);
    EXPECT_EQ(ReadBytes(project + "/autorun.inf"),
              "[autorun]\r\nopen=KVD.exe \"-\" \"start.htm\" \"Our link\" \"http://example.invalid/\" \"-\" \"N\" "
              "\"300\" \"500\"");
    EXPECT_EQ(ReadBytes(project + "/kvd.exe"), ReadBytes(wiz + "/kvd.exe"));
    // The wizard folder keeps the empty default settings file made at first start.
    EXPECT_EQ(ReadBytes(wiz + "/kvd.cfg"), "");

    // F1 is Help, Contents: the viewer of the current folder (the project's fresh copy) shows the help page.
    ASSERT_EQ(unlink(argsFile.c_str()), 0);
    ASSERT_TRUE(Xdo("key F1"));
    ASSERT_TRUE(WaitUntil([&] { return HostExists(argsFile); }, std::chrono::seconds(10)))
        << "F1 started no viewer in the project folder";
    EXPECT_EQ(testing_support::SplitRecordedArguments(ReadBytes(argsFile)),
              (std::vector<std::string>{"-", windowsWiz + "\\kvdhelp.htm", "-", "-", "-", "-", "600", "700"}));

    // File, Exit.
    ASSERT_TRUE(Xdo("mousemove --window " + window + " 15 " + std::to_string(menu / 2) + " click 1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // Exit is the last entry of File, below the disc commands.
    ASSERT_TRUE(Xdo("key --delay 80 Up Return"));
    EXPECT_TRUE(wizard.Exited(std::chrono::seconds(10))) << "File, Exit did not end the wizard";
}

// "a\\b" in a host path would read as two folders in a Windows path, "a" and "b", so the
// wizard's own folder would be another one: it says so and does not start, and makes no
// kvd.cfg anywhere.
TEST_F(EndToEnd, AWizardFolderWithABackslashInItsPathRefusesToStart) {
    testing_support::TempDir tmp;
    const std::string wiz = tmp / "a\\b";
    testing_support::MakeDirs(wiz);
    testing_support::MakeDirs(tmp / "a/b");  // the folder the Windows path would lead to
    InstallProgram(WizardDir() + "/kvd_gen", wiz + "/kvd_gen");
    InstallProgram(KVD_RECORDER_PATH, wiz + "/kvd.exe");

    WizardProcess wizard;
    ASSERT_TRUE(wizard.Start(wiz + "/kvd_gen", tmp.Path(), tmp / "kvd_gen.log"));
    std::string box;
    const bool shown = WaitUntil(
        [&] {
            const Output out = Shell("xdotool search --onlyvisible --pid " + std::to_string(wizard.Id()));
            if (out.status != 0 || out.text.empty()) return false;
            box = out.text.substr(0, out.text.find('\n'));
            return true;
        },
        std::chrono::seconds(20));
    ASSERT_TRUE(shown) << "no window appeared; the wizard's output:\n"
                       << (HostExists(tmp / "kvd_gen.log") ? ReadBytes(tmp / "kvd_gen.log") : "");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Screenshot(KVD_REFUSAL_SCREENSHOT_PATH);
    EXPECT_NE(Shell("xdotool getwindowname " + box).text, std::string(kWindowTitle) + "\n");
    EXPECT_NE(Shell(std::string("xdotool search --onlyvisible --name ") + Quote(kWindowTitle)).status, 0)
        << "the main window is up";

    // The box's one button ends the program, which never got to its window.
    ASSERT_TRUE(Xdo("windowfocus --sync " + box));
    ASSERT_TRUE(Xdo("key --delay 80 Return"));
    ASSERT_TRUE(wizard.Exited(std::chrono::seconds(10))) << "the wizard did not end";
    EXPECT_EQ(wizard.ExitCode(), 1);
    std::vector<std::string> settings;
    for (const auto& entry : fs::recursive_directory_iterator(tmp.Path()))
        if (entry.path().filename() == "kvd.cfg") settings.push_back(entry.path().string());
    EXPECT_TRUE(settings.empty()) << settings.front();
}

}  // namespace
