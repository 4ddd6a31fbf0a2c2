// The control's document mode lives in the registry only while the viewer runs, and a value that
// was there before is never touched.
#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "browser_mode.h"

namespace {

const wchar_t kProgram[] = L"kvd-mode-test.exe";

std::optional<DWORD> ModeValue() {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, viewer::kBrowserEmulationKey, kProgram, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void SetModeValue(DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, viewer::kBrowserEmulationKey, kProgram, REG_DWORD, &value, sizeof(value));
}

TEST(BrowserMode, NewestModeWhileRunningNothingLeftAfterwards) {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, viewer::kBrowserEmulationKey, kProgram);
    {
        const viewer::BrowserModeSetting mode(kProgram);
        EXPECT_EQ(ModeValue(), std::optional<DWORD>(11001));
    }
    EXPECT_EQ(ModeValue(), std::nullopt);
}

TEST(BrowserMode, AValueSetBeforeStaysAsItWas) {
    SetModeValue(8000);
    {
        const viewer::BrowserModeSetting mode(kProgram);
        EXPECT_EQ(ModeValue(), std::optional<DWORD>(8000));
    }
    EXPECT_EQ(ModeValue(), std::optional<DWORD>(8000));
    RegDeleteKeyValueW(HKEY_CURRENT_USER, viewer::kBrowserEmulationKey, kProgram);
}

} // namespace
