// Drive tables over temporary folders, the guard's messages, and the state every test restores.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <string>
#include <vector>

#include "framework/guard.h"
#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "support/temp_dir.h"

class PickerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char buffer[4096];
        ASSERT_NE(::getcwd(buffer, sizeof buffer), nullptr);
        hostCwd_ = buffer;
        using testing_support::MakeDirs;
        MakeDirs(temp_ / "c");
        MakeDirs(temp_ / "d");
        MakeDirs(temp_ / "f");
        MakeDirs(temp_ / "n");
        MakeDirs(temp_ / "g");
        MakeDirs(temp_ / "r");
        std::vector<platform::posix::DriveEntry> table;
        auto add = [&](char letter, const std::string& folder, uint32_t type, const std::string& label) {
            platform::posix::DriveEntry entry;
            entry.letter = letter;
            entry.hostFolder = folder;
            entry.type = type;
            entry.label = label;
            table.push_back(entry);
            return &table.back();
        };
        add('C', temp_ / "c", platform::kDriveFixed, "SYSTEM");
        add('D', temp_ / "d", platform::kDriveRemovable, "FLOPPY");
        add('E', temp_ / "e-removed", platform::kDriveCdrom, "DISC");  // no folder: not ready
        add('F', temp_ / "f", platform::kDriveFixed, "");
        add('G', temp_ / "g", platform::kDriveFixed, "LOWER")->fsFlags = 0;
        add('N', temp_ / "n", platform::kDriveRemote, "NETLABEL")->remoteName = "\\\\SRV\\Share";
        add('R', temp_ / "r", platform::kDriveRamdisk, "Ram&Disk");
        platform::posix::SetDriveTable(table);
        ASSERT_TRUE(platform::SetCurrentDirectory("C:\\"));
        framework::SetExceptionHook([this](const std::string& message) { errors_.push_back(message); });
    }

    void TearDown() override {
        framework::SetExceptionHook(nullptr);
        ASSERT_EQ(::chdir(hostCwd_.c_str()), 0);
        platform::posix::ResetDriveTable();
    }

    // Host path on drive C.
    std::string C(const std::string& relative) const { return temp_ / ("c/" + relative); }
    void Folder(const std::string& hostPath) const { testing_support::MakeDirs(hostPath); }
    void File(const std::string& hostPath) const { testing_support::WriteBytes(hostPath, "x"); }

    testing_support::TempDir temp_;
    std::string hostCwd_;
    std::vector<std::string> errors_;
};
