// The browser control's document mode.
#include "browser_mode.h"

#include <windows.h>

namespace viewer {

BrowserModeSetting::BrowserModeSetting(const std::wstring& programName) : name_(programName) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kBrowserEmulationKey, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return;
    keyCreated_ = disposition == REG_CREATED_NEW_KEY;
    // A value the reader or an administrator set is theirs: it stays as it is.
    if (RegQueryValueExW(key, name_.c_str(), nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        const DWORD mode = kNewestStandardsMode;
        added_ = RegSetValueExW(key, name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mode), sizeof(mode)) ==
                 ERROR_SUCCESS;
    }
    RegCloseKey(key);
}

BrowserModeSetting::~BrowserModeSetting() {
    if (!added_) return;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kBrowserEmulationKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueW(key, name_.c_str());
    // The key goes only when it is as empty as it was made: another program may have put its own
    // value there while the viewer ran.
    DWORD subkeys = 1, values = 1;
    const bool empty = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                        nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                       subkeys == 0 && values == 0;
    RegCloseKey(key);
    if (keyCreated_ && empty) RegDeleteKeyW(HKEY_CURRENT_USER, kBrowserEmulationKey);
}

} // namespace viewer
