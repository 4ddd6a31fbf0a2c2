// The browser control's document mode for this program. The control starts every program in its
// oldest mode unless the registry names the program; the value lives only while the viewer runs.
#pragma once

#include <string>

namespace viewer {

inline constexpr wchar_t kBrowserEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
// The newest standards mode, whatever a page's doctype says.
inline constexpr unsigned long kNewestStandardsMode = 11001;

class BrowserModeSetting {
public:
    // programName: the file name of the running program ("kvd.exe").
    explicit BrowserModeSetting(const std::wstring& programName);
    // Takes the value away again, unless it was there before the viewer started.
    ~BrowserModeSetting();
    BrowserModeSetting(const BrowserModeSetting&) = delete;
    BrowserModeSetting& operator=(const BrowserModeSetting&) = delete;

private:
    std::wstring name_;
    bool added_ = false;
    bool keyCreated_ = false;
};

} // namespace viewer
