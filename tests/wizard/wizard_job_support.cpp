#include "wizard_job_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QLineEdit>
#include <filesystem>
#include <thread>

#include "framework/guard.h"
#include "framework/memo.h"
#include "framework/qt_strings.h"
#include "kvd_gen1.h"
#include "picker/TDirectoryListBox.h"
#include "platform/posix/drive_table.h"

namespace wizard_job {

namespace fs = std::filesystem;

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    bool first = true;
    for (const std::string& line : lines) {
        if (!first) text += "\r\n";
        text += line;
        first = false;
    }
    return text;
}

std::string Record(const std::string& page, const std::string& text, const std::string& url, const std::string& max,
                   const std::string& borderless, const std::string& height, const std::string& width) {
    std::string bytes;
    for (const std::string* line : {&page, &text, &url, &max, &borderless, &height, &width}) bytes += *line + "\r\n";
    return bytes;
}

std::string Tokens(std::initializer_list<std::string> values) {
    std::string text;
    for (const std::string& value : values) text += " \"" + value + "\"";
    return text;
}

bool WaitForFile(const std::string& hostPath, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!testing_support::HostExists(hostPath)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string RecorderPath() { return KVD_RECORDER_PATH; }

void InstallProgram(const std::string& source, const std::string& target) {
    fs::copy_file(source, target, fs::copy_options::overwrite_existing);
    fs::permissions(target, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
}

bool IsExecutable(const std::string& hostPath) {
    struct stat st;
    return stat(hostPath.c_str(), &st) == 0 && (st.st_mode & S_IXUSR) != 0;
}

void WizardJob::SetUp() {
    driveC_ = tmp_ / "c";
    testing_support::MakeDirs(driveC_ + "/wiz");
    char buffer[4096];
    savedCwd_ = getcwd(buffer, sizeof buffer) ? buffer : "/";
    // The host's working folder must lie on a lettered drive, or the current directory the
    // pickers start from would have no Windows form.
    ASSERT_EQ(chdir(driveC_.c_str()), 0);
    drives_ = {{'C', driveC_}};
    ApplyDriveTable();
    platform::posix::SetModuleFileNameForTesting("C:\\wiz\\kvd_gen");
    framework::SetExceptionHook([this](const std::string& message) { errors_.push_back(message); });
}

void WizardJob::TearDown() {
    form_.reset();
    framework::SetExceptionHook(nullptr);
    platform::posix::SetModuleFileNameForTesting("");
    if (chdir(savedCwd_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << savedCwd_;
    platform::posix::ResetDriveTable();
}

void WizardJob::ApplyDriveTable() {
    std::vector<platform::posix::DriveEntry> table;
    for (const auto& [letter, folder] : drives_) {
        platform::posix::DriveEntry entry;
        entry.letter = letter;
        entry.hostFolder = folder;
        entry.type = 3;
        entry.fsFlags = 3;
        table.push_back(entry);
    }
    platform::posix::SetDriveTable(table);
}

void WizardJob::AddDrive(char letter, const std::string& hostFolder) {
    drives_.emplace_back(letter, hostFolder);
    ApplyDriveTable();
}

std::string WizardJob::MakeProject(const std::string& name) {
    const std::string folder = Host(name);
    testing_support::MakeDirs(folder);
    return folder;
}

TForm1& WizardJob::Form() {
    if (!form_) {
        form_ = std::make_unique<TForm1>();
        defaultUrl_ = Text(form_->WebLinkURL);
    }
    return *form_;
}

void WizardJob::Run(const std::function<void()>& handler) {
    framework::Guarded([&] { handler(); });
}

void WizardJob::OpenFolder(const std::string& windowsPath) {
    TForm1& form = Form();
    Run([&] { form.DirectoryListBox1->SetFolderPath(windowsPath); });
}

std::string WizardJob::Log() { return Form().Memo2->Text(); }

std::string WizardJob::Text(const QLineEdit* edit) { return framework::FromQString(edit->text()); }

void WizardJob::SetText(QLineEdit* edit, const std::string& text) { edit->setText(framework::ToQString(text)); }

}  // namespace wizard_job
