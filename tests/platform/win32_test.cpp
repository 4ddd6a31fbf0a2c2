// What only the Win32 backend can be asked, under Wine: the drives of Wine's prefix, network
// names, starts through the shell and the process's code page.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/win32_api.h"
#include "support/temp_dir.h"

namespace {

TEST(Win32Drives, WinesDrivesAnswerWithTheirTypes) {
    const uint32_t drives = platform::GetLogicalDrives();
    // C: is the prefix's own drive, Z: the host's root, X: a folder the test session marks as a CD-ROM.
    for (const char letter : {'C', 'X', 'Z'}) EXPECT_TRUE(drives & (1u << (letter - 'A'))) << letter;
    EXPECT_FALSE(drives & (1u << ('Q' - 'A')));
    EXPECT_EQ(platform::GetDriveType("C:\\"), platform::kDriveFixed);
    EXPECT_EQ(platform::GetDriveType("x:\\"), platform::kDriveCdrom);
    EXPECT_EQ(platform::GetDriveType("Q:\\"), platform::kDriveNoRootDir);
    std::string label = "unset";
    uint32_t flags = 0;
    ASSERT_TRUE(platform::GetVolumeInformation("C:\\", &label, &flags)) << platform::GetLastError();
    EXPECT_TRUE(flags & platform::kFsCasePreservedNames);
    EXPECT_FALSE(platform::GetVolumeInformation("Q:\\", nullptr, nullptr));
}

TEST(Win32Drives, ALocalDriveIsNotConnected) {
    std::string remote = "unset";
    EXPECT_EQ(platform::WNetGetConnection("C:", &remote), platform::kErrorNotConnected);
    EXPECT_EQ(platform::WNetGetConnection("X:", &remote), platform::kErrorNotConnected);
    EXPECT_EQ(remote, "unset");
}

// Waits for the recorder program to have written a line into the file.
std::string RecordedLine(const std::string& file) {
    for (int i = 0; i < 300; ++i) {
        if (testing_support::HostExists(file)) {
            const std::string bytes = testing_support::ReadBytes(file);
            if (!bytes.empty() && bytes.back() == '\n') return bytes.substr(0, bytes.size() - 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return "(nothing recorded)";
}

// The stand-in for the reader's programs, which the session registers for pages.
class Win32Shell : public ::testing::Test {
protected:
    void SetUp() override {
        const char* recorder = std::getenv("KVD_WIN_RECORDER");
        if (!recorder) GTEST_SKIP() << "KVD_WIN_RECORDER names no recorder program";
        recorder_ = platform::HostPathOf(std::string("Z:") + recorder);
        record_ = temp_ / "record.txt";
        ASSERT_TRUE(::SetEnvironmentVariableA("KVD_RECORD_FILE", record_.c_str()));
    }
    void TearDown() override { ::SetEnvironmentVariableA("KVD_RECORD_FILE", nullptr); }

    testing_support::TempDir temp_;
    std::string recorder_;
    std::string record_;
};

TEST_F(Win32Shell, StartsAProgramWithItsParameters) {
    EXPECT_GT(platform::ShellExecute("open", recorder_, "one two", temp_.Path(), platform::kSwShowNormal), 32);
    EXPECT_EQ(RecordedLine(record_), "one two");
}

TEST_F(Win32Shell, OpensADocumentWithTheProgramRegisteredForIt) {
    const std::string page = temp_ / "page.htm";
    testing_support::WriteBytes(page, "<p>x</p>");
    EXPECT_GT(platform::ShellExecute("", page, "", "", platform::kSwShowNormal), 32);
    EXPECT_EQ(platform::CompareStringNoCase(RecordedLine(record_), page), 0);
}

TEST_F(Win32Shell, AMissingFileIsNotStarted) {
    EXPECT_EQ(platform::ShellExecute("open", temp_ / "missing.exe", "", "", platform::kSwShowNormal), 2);
    EXPECT_FALSE(testing_support::HostExists(record_));
}

TEST(Win32Process, ProgramPathHostPathAndCodePage) {
    const std::string self = platform::GetModuleFileName();
    EXPECT_EQ(self.substr(self.size() - 23), "\\platform_win_tests.exe");
    EXPECT_EQ(self.substr(1, 2), ":\\");
    EXPECT_EQ(platform::HostPathOf(self), self);
    EXPECT_EQ(platform::HostPathOf("C:\\a\\.\\b\\..\\c"), "C:\\a\\c");
    EXPECT_EQ(platform::HostPathOf(""), "");
    EXPECT_STREQ(platform::kHostViewerProgram, "kvd.exe");
    // The manifest makes the ANSI calls speak UTF-8.
    EXPECT_EQ(::GetACP(), 65001u);
    EXPECT_EQ(::GetOEMCP(), 65001u);
}

}  // namespace
