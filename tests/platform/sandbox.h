// Fresh folders in the Windows namespace on either backend, for the tests that hold the POSIX
// emulation and the Win32 calls to the same answers: the tests speak only platform.h.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "support/temp_dir.h"

#ifdef _WIN32
#include "platform/win32/win32_api.h"
#else
#include "core_test_support.h"
#endif

namespace platform_tests {

// Two folders on two different drives, each with a subfolder "w" to work in. With the emulation
// C: and D: stand for two temporary folders; on Windows the first is under the system's
// temporary folder and the second on another drive of Wine's (Z:, the host's root).
class Sandbox : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        savedCwd_ = platform::GetCurrentDirectory();
        first_ = first_temp_.Path();
        second_ = "Z:" + std::filesystem::path(second_temp_.Path()).string();
        for (char& c : second_) c = c == '/' ? '\\' : c;
#else
        savedCwd_ = HostCwd();
        platform::posix::SetDriveTable({Drive('C', first_temp_.Path()), Drive('D', second_temp_.Path())});
        first_ = "C:";
        second_ = "D:";
#endif
        work_ = first_ + "\\w";
        MakeFolder(work_);
        MakeFolder(second_ + "\\w");
    }
    void TearDown() override {
#ifdef _WIN32
        if (!platform::SetCurrentDirectory(savedCwd_)) ADD_FAILURE() << "cannot return to " << savedCwd_;
#else
        platform::posix::ResetDriveTable();
        if (::chdir(savedCwd_.c_str()) != 0) ADD_FAILURE() << "cannot return to " << savedCwd_;
#endif
    }

    // The Windows path of a name in the working folder.
    std::string In(const std::string& name) const { return work_ + "\\" + name; }

    static void MakeFolder(const std::string& windowsPath) {
        std::filesystem::create_directories(platform::HostPathOf(windowsPath));
    }
    static void MakeFile(const std::string& windowsPath, const std::string& bytes = "x") {
        const platform::FileHandle file =
            platform::CreateFile(windowsPath, platform::kGenericWrite, platform::kShareNone, platform::kCreateAlways);
        ASSERT_NE(file, platform::kInvalidFileHandle) << windowsPath << ": " << platform::GetLastError();
        uint32_t written = 0;
        EXPECT_TRUE(platform::WriteFile(file, bytes.data(), static_cast<uint32_t>(bytes.size()), &written));
        EXPECT_TRUE(platform::CloseHandle(file));
    }

    std::string first_;   // a drive's folder: "C:" or a Windows path, no trailing backslash
    std::string second_;  // the same on another drive
    std::string work_;    // first_ + "\w"

private:
    testing_support::TempDir first_temp_;
#ifdef _WIN32
    // Made under the host's /tmp, which Wine shows as Z:\tmp.
    struct HostTemp {
        HostTemp() : path("/tmp/kvdwin." + std::to_string(::GetCurrentProcessId())) {
            std::filesystem::create_directories("Z:" + path);
        }
        ~HostTemp() {
            std::error_code ignored;
            std::filesystem::remove_all("Z:" + path, ignored);
        }
        const std::string& Path() const { return path; }
        std::string path;
    } second_temp_;
#else
    testing_support::TempDir second_temp_;
#endif
    std::string savedCwd_;
};

}  // namespace platform_tests
