// A wizard standing in a temporary folder of its own: drive C: is a temporary folder that holds
// the wizard folder C:\wiz\ and the project folders, errors are collected instead of shown, and
// the window is driven through its handlers as the message loop would run them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"

class QLineEdit;
class TForm1;

namespace wizard_job {

// Lines joined by CR LF, as the status log joins them.
std::string Lines(std::initializer_list<std::string> lines);
// The seven lines of a settings record, each ended by CR LF.
std::string Record(const std::string& page, const std::string& text, const std::string& url, const std::string& max,
                   const std::string& borderless, const std::string& height, const std::string& width);
// The tokens of a parameter string: each value in double quotes, a space before each.
std::string Tokens(std::initializer_list<std::string> values);

using testing_support::SplitRecordedArguments;
// Polls until the file exists or the time is up; the wait bounds the test, it asserts nothing.
bool WaitForFile(const std::string& hostPath, std::chrono::milliseconds limit = std::chrono::seconds(10));
// The recorder program built beside the tests.
std::string RecorderPath();
// Copies a program file and keeps it executable.
void InstallProgram(const std::string& source, const std::string& target);
bool IsExecutable(const std::string& hostPath);

class WizardJob : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Host path below the C: drive's folder.
    std::string Host(const std::string& relative) const { return driveC_ + "/" + relative; }
    const std::string& DriveCFolder() const { return driveC_; }
    // A project folder below C:\ (host side), created.
    std::string MakeProject(const std::string& name);

    // Builds the window (FormCreate runs now) on the first call.
    TForm1& Form();
    // Runs a handler as the message loop would: an exception ends up in errors_.
    void Run(const std::function<void()>& handler);
    // Writes the folder list's FolderPath, which runs the scan through its change event.
    void OpenFolder(const std::string& windowsPath);

    std::string Log();
    static std::string Text(const QLineEdit* edit);
    static void SetText(QLineEdit* edit, const std::string& text);

    // Extra drive letters over host folders (C: stays); rebuilds the table.
    void AddDrive(char letter, const std::string& hostFolder);

    std::vector<std::string> errors_;
    std::string defaultUrl_;  // WebLinkURL's initial text, read from the window

private:
    void ApplyDriveTable();

    testing_support::TempDir tmp_;
    std::string driveC_;
    std::string savedCwd_;
    std::vector<std::pair<char, std::string>> drives_;
    std::unique_ptr<TForm1> form_;
};

}  // namespace wizard_job
