// A drive table over temporary folders, and the host state each platform test puts back.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/drive_table.h"
#include "support/temp_dir.h"

namespace platform_tests {

inline platform::posix::DriveEntry Drive(char letter, const std::string& hostFolder,
                                         uint32_t type = platform::kDriveFixed,
                                         std::optional<std::string> remoteName = std::nullopt) {
    platform::posix::DriveEntry entry;
    entry.letter = letter;
    entry.hostFolder = hostFolder;
    entry.type = type;
    entry.remoteName = std::move(remoteName);
    return entry;
}

inline std::string HostCwd() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

// C: and D: stand for two fresh folders; the host's working directory and the system's
// drive table come back afterwards.
class DriveFixture : public ::testing::Test {
protected:
    void SetUp() override {
        savedCwd_ = HostCwd();
        c_ = temp_ / "c";
        d_ = temp_ / "d";
        testing_support::MakeDirs(c_);
        testing_support::MakeDirs(d_);
        Install({Drive('C', c_), Drive('D', d_)});
    }
    void TearDown() override {
        if (chdir(savedCwd_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << savedCwd_;
        platform::posix::SetModuleFileNameForTesting("");
        platform::posix::ResetDriveTable();
    }
    // Starts each table from the root of C: so relative names have a known base.
    void Install(std::vector<platform::posix::DriveEntry> table) {
        platform::posix::SetDriveTable(std::move(table));
        ASSERT_TRUE(platform::SetCurrentDirectory("C:\\"));
    }
    std::string Host(const std::string& windowsPath) {
        std::string host;
        uint32_t error = 0;
        EXPECT_TRUE(platform::posix::ToHostPath(windowsPath, &host, &error)) << windowsPath << " -> " << error;
        return host;
    }
    uint32_t TranslationError(const std::string& windowsPath) {
        std::string host;
        uint32_t error = 0;
        EXPECT_FALSE(platform::posix::ToHostPath(windowsPath, &host, &error)) << windowsPath << " -> " << host;
        return error;
    }

    testing_support::TempDir temp_;
    std::string c_;
    std::string d_;
    std::string savedCwd_;
};

}  // namespace platform_tests
