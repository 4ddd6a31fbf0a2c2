// The Windows viewer under Wine, seen as a reader's system sees it: its window from the tokens and
// from kvd.cfg, Esc, a start from a CD drive, where navigations go, and the start without the
// browser control. Wine has no engine for the control, so no page renders here: the tests stop
// at what the control reports before it would load a page.
#include <exdispid.h>
#include <gtest/gtest.h>
#include <ole2.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "viewer_core.h"
#include "viewer_window.h"
#include "win_addresses.h"
#include "win_text.h"
#include "wine_process.h"

namespace {

using wintest::Process;

// Limits that only a broken viewer reaches; a slow machine stays far below them.
constexpr DWORD kStartLimitMs = 30000;
constexpr DWORD kExitLimitMs = 20000;

const std::wstring kDisc = L"X:\\";
const std::string kPage = "<!DOCTYPE html><html><head><title>Start</title></head><body>Start</body></html>";

std::wstring ViewerProgram() { return wintest::WinePath(wintest::Variable("KVD_WIN_EXE")); }

// The disc as a reader's drive holds it: the viewer, its settings and pages, nothing else.
void PrepareDisc(const std::string& settings) {
    ASSERT_EQ(GetDriveTypeW(kDisc.c_str()), static_cast<UINT>(DRIVE_CDROM)) << "X: is not the simulated CD drive";
    DeleteFileW((kDisc + L"kvd.cfg").c_str());
    ASSERT_TRUE(CopyFileW(ViewerProgram().c_str(), (kDisc + L"kvd.exe").c_str(), FALSE));
    ASSERT_TRUE(wintest::WriteFileBytes(kDisc + L"index.htm", kPage));
    ASSERT_TRUE(wintest::WriteFileBytes(kDisc + L"other.htm", kPage));
    if (!settings.empty()) {
        ASSERT_TRUE(wintest::WriteFileBytes(kDisc + L"kvd.cfg", settings));
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

// A logged decision about an address: the control may report a file address as a plain path.
bool HasDecision(const std::wstring& file, const std::string& verb, const std::wstring& address) {
    const std::string wanted = viewer::Narrow(address);
    const std::string wantedPath = viewer::LocalPathOfAddress(wanted);
    for (const std::string& line : Lines(wintest::ReadFileBytes(file))) {
        if (line.rfind(verb + " ", 0) != 0) continue;
        const std::string logged = line.substr(verb.size() + 1);
        if (logged == wanted || (!wantedPath.empty() && viewer::LocalPathOfAddress(logged) == wantedPath)) return true;
    }
    return false;
}

bool HasLine(const std::wstring& file, const std::string& line) {
    for (const std::string& l : Lines(wintest::ReadFileBytes(file)))
        if (l == line) return true;
    return false;
}

std::wstring MenuItemText(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

HWND ChildWithText(HWND parent, const wchar_t* className, const std::wstring& text) {
    for (HWND child = FindWindowExW(parent, nullptr, className, nullptr); child;
         child = FindWindowExW(parent, child, className, nullptr)) {
        if (wintest::WindowText(child) == text) return child;
    }
    return nullptr;
}

// A library Wine does not load for one program while this lives.
class DllSwitchedOff {
public:
    DllSwitchedOff(const std::wstring& program, const wchar_t* library)
        : key_(L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides"), library_(library) {
        RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), library_, REG_SZ, L"", sizeof(wchar_t));
    }
    ~DllSwitchedOff() { RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), library_); }
    DllSwitchedOff(const DllSwitchedOff&) = delete;
    DllSwitchedOff& operator=(const DllSwitchedOff&) = delete;

private:
    std::wstring key_;
    const wchar_t* library_;
};

TEST(WindowsViewerWindow, FollowsTheTokensAndTheSettingsFileAndEscQuits) {
    const struct {
        const char* name;
        const wchar_t* arguments; // empty: the settings file speaks
        const char* settings;
        int width, height;
        bool borderless, maximised, menu;
        const char* opened; // what the web-link item hands to the reader's browser
    } rows[] = {
        {"sized", L"- index.htm Visit http://example.com/ - - 300 500", "", 500, 300, false, false, true,
         "http://example.com/"},
        {"maximised", L"- index.htm - - M", "", 0, 0, false, true, false, nullptr},
        {"borderless debug", L"d index.htm Go - - N 250 420", "", 420, 250, true, false, true, nullptr},
        {"settings file", L"", "index.htm\r\nShop & more\r\nwww.example.com\r\n-\r\nN\r\n320\r\n480\r\n", 480, 320,
         true, false, true, "http://www.example.com"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        PrepareDisc(row.settings);
        const std::wstring record = wintest::MakeTempFolder(L"kvd-window-") + L"opened.txt";
        Process viewer(kDisc + L"kvd.exe", row.arguments, L"C:\\windows", {L"KVD_RECORD_FILE=" + record});
        ASSERT_TRUE(viewer.Started());
        const HWND window = wintest::WaitForWindow(viewer, viewer::kViewerWindowClass, kStartLimitMs);
        ASSERT_NE(window, nullptr) << "no viewer window; exit code " << viewer.WaitForExit(0);

        EXPECT_EQ(wintest::WindowText(window), L"KVD - index.htm");
        const LONG style = GetWindowLongW(window, GWL_STYLE);
        EXPECT_EQ((style & WS_CAPTION) == 0, row.borderless);
        EXPECT_EQ(ChildWithText(window, L"Button", L"Close (Esc)") != nullptr, row.borderless);
        EXPECT_EQ(IsZoomed(window) != FALSE, row.maximised);
        EXPECT_EQ(GetMenu(window) != nullptr, row.menu);
        const bool debug = row.arguments[0] == L'd';
        EXPECT_EQ(ChildWithText(window, L"Static", L"Page: index.htm") != nullptr, debug);
        EXPECT_EQ(ChildWithText(window, L"Static", L"Link: ") != nullptr, debug);
        if (!row.maximised) {
            RECT client{}, outer{};
            GetClientRect(window, &client);
            GetWindowRect(window, &outer);
            // Everything inside the frame, the menu bar included, has the size the tokens ask for.
            RECT expected{0, 0, row.width, row.height};
            AdjustWindowRectEx(&expected, static_cast<DWORD>(style), FALSE, 0);
            EXPECT_EQ(client.right, row.width);
            EXPECT_EQ(client.bottom < row.height, row.menu);
            EXPECT_EQ(outer.right - outer.left, expected.right - expected.left);
            EXPECT_EQ(outer.bottom - outer.top, expected.bottom - expected.top);
        }
        // The menu bar's item as a click sends it (the items of another process's menu are out of
        // Wine's reach; their text and state are checked in-process below).
        if (row.opened) {
            PostMessageW(window, WM_COMMAND, viewer::kWebLinkCommand, 0);
            EXPECT_TRUE(wintest::PumpUntil([&] { return HasLine(record, row.opened); }, kStartLimitMs))
                << wintest::ReadFileBytes(record);
        }

        PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_EQ(viewer.WaitForExit(kExitLimitMs), 0u);
    }
}

TEST(WindowsSession, AProgramThatCrashesEndsWithAFailureStatus) {
    Process crash(wintest::WinePath(wintest::Variable("KVD_WIN_CRASH")), L"", L"", {});
    ASSERT_TRUE(crash.Started());
    const DWORD code = crash.WaitForExit(kExitLimitMs);
    EXPECT_NE(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_NE(code, 0u);
}

TEST(WindowsViewerOnDisc, ShowsTheDiscsFirstPageWhateverTheWorkingFolder) {
    PrepareDisc("index.htm\r\n-\r\n-\r\n-\r\n-\r\n");
    const std::wstring temp = wintest::MakeTempFolder(L"kvd-disc-");
    const std::wstring log = temp + L"navigation.log";
    Process viewer(kDisc + L"kvd.exe", L"", L"C:\\windows", {L"KVD_VIEWER_LOG=" + log});
    ASSERT_TRUE(viewer.Started());
    const HWND window = wintest::WaitForWindow(viewer, viewer::kViewerWindowClass, kStartLimitMs);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(wintest::WindowText(window), L"KVD - index.htm");
    // The control reports the page it was asked for as a path or as a file address; either way it is the disc's.
    std::string first;
    const bool requested = wintest::PumpUntil(
        [&] {
            const std::vector<std::string> lines = Lines(wintest::ReadFileBytes(log));
            if (!lines.empty()) first = lines.front();
            return !first.empty();
        },
        kStartLimitMs);
    ASSERT_TRUE(requested);
    ASSERT_EQ(first.rfind("here ", 0), 0u) << first;
    EXPECT_EQ(viewer::LocalPathOfAddress(first.substr(5)), "X:\\index.htm") << first;
    PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(viewer.WaitForExit(kExitLimitMs), 0u);
}

TEST(WindowsViewerWithoutControl, SaysSoAndHandsOnlyAPageToTheBrowser) {
    struct Row {
        const wchar_t* firstPage;
        bool handedOver;
    } rows[] = {{L"index.htm", true}, {L"setup.exe", false}, {L"INDEX.HTM.lnk", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(viewer::Narrow(row.firstPage));
        PrepareDisc("");
        ASSERT_TRUE(wintest::WriteFileBytes(kDisc + L"setup.exe", "MZ"));
        ASSERT_TRUE(wintest::WriteFileBytes(kDisc + L"INDEX.HTM.lnk", "L"));
        const std::wstring temp = wintest::MakeTempFolder(L"kvd-nocontrol-");
        const std::wstring record = temp + L"opened.txt";
        // Wine's per-program switch: the control's library is not there for kvd.exe.
        const DllSwitchedOff off(L"kvd.exe", L"ieframe");
        Process viewer(kDisc + L"kvd.exe", std::wstring(L"- ") + row.firstPage, L"C:\\windows",
                       {L"KVD_RECORD_FILE=" + record});
        ASSERT_TRUE(viewer.Started());
        const HWND box = wintest::WaitForWindow(viewer, L"#32770", kStartLimitMs);
        ASSERT_NE(box, nullptr) << "no message box; exit code " << viewer.WaitForExit(0);
        EXPECT_EQ(wintest::WindowText(box), std::wstring(viewer::kViewerCaption));
        bool explained = false;
        bool promised = false;
        for (HWND child = FindWindowExW(box, nullptr, L"Static", nullptr); child;
             child = FindWindowExW(box, child, L"Static", nullptr)) {
            explained = explained || wintest::WindowText(child).find(L"browser control") != std::wstring::npos;
            promised = promised || wintest::WindowText(child).find(L"web browser instead") != std::wstring::npos;
        }
        EXPECT_TRUE(explained);
        EXPECT_EQ(promised, row.handedOver);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        EXPECT_EQ(viewer.WaitForExit(kExitLimitMs), row.handedOver ? 0u : 1u);
        const std::string expected = "X:\\" + viewer::Narrow(row.firstPage);
        if (row.handedOver) {
            EXPECT_TRUE(wintest::PumpUntil([&] { return HasLine(record, expected); }, kStartLimitMs))
                << wintest::ReadFileBytes(record);
        } else {
            Sleep(500);  // a hand-over would have reached the stand-in by now
            EXPECT_EQ(wintest::ReadFileBytes(record), "");
        }
    }
}

// A second listener on the control's events, told after the viewer's own: it sees each navigation
// the control asks about and whether the viewer cancelled it there.
class CancelWatch final : public IDispatch {
public:
    std::vector<std::pair<std::wstring, bool>> seen;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (riid != IID_IUnknown && riid != IID_IDispatch && riid != DIID_DWebBrowserEvents2) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        return S_OK;
    }
    // Lives on the test's stack, longer than the control that holds it.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        // The arguments come last first: the address is the second, the cancel flag the last.
        if (member != DISPID_BEFORENAVIGATE2 || !params || params->cArgs != 7) return S_OK;
        const VARIANT& url = params->rgvarg[5];
        const VARIANT& plain = url.vt == (VT_BYREF | VT_VARIANT) ? *url.pvarVal : url;
        const VARIANT& cancel = params->rgvarg[0];
        if (plain.vt == VT_BSTR && cancel.vt == (VT_BYREF | VT_BOOL))
            seen.emplace_back(plain.bstrVal ? plain.bstrVal : L"", *cancel.pboolVal != VARIANT_FALSE);
        return S_OK;
    }

    bool Advise(IWebBrowser2* browser) {
        Microsoft::WRL::ComPtr<IConnectionPointContainer> points;
        return SUCCEEDED(browser->QueryInterface(IID_PPV_ARGS(&points))) &&
               SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point_)) &&
               SUCCEEDED(point_->Advise(this, &cookie_));
    }
    void Unadvise() {
        if (point_) point_->Unadvise(cookie_);
        point_.Reset();
    }
    // Whether the control asked about the address (as given or as the path it names) and was told to stop.
    std::optional<bool> CancelledFor(const std::wstring& address) const {
        const std::string path = viewer::LocalPathOfAddress(viewer::Narrow(address));
        for (const auto& [asked, cancelled] : seen) {
            if (asked == address || (!path.empty() && viewer::LocalPathOfAddress(viewer::Narrow(asked)) == path))
                return cancelled;
        }
        return std::nullopt;
    }

private:
    Microsoft::WRL::ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

// The stand-in for the reader's browser claims other schemes too while this lives, so that an
// address of theirs handed to the shell would be seen.
class SchemesClaimed {
public:
    explicit SchemesClaimed(std::vector<std::wstring> schemes) : schemes_(std::move(schemes)) {
        wchar_t command[1024] = {};
        DWORD size = sizeof(command);
        RegGetValueW(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", nullptr, RRF_RT_REG_SZ, nullptr, command, &size);
        for (const std::wstring& scheme : schemes_) {
            RegSetKeyValueW(HKEY_CLASSES_ROOT, scheme.c_str(), L"URL Protocol", REG_SZ, L"", sizeof(wchar_t));
            RegSetKeyValueW(HKEY_CLASSES_ROOT, (scheme + L"\\shell\\open\\command").c_str(), nullptr, REG_SZ, command,
                            size);
        }
    }
    ~SchemesClaimed() {
        for (const std::wstring& scheme : schemes_)
            RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme.c_str());
    }
    SchemesClaimed(const SchemesClaimed&) = delete;
    SchemesClaimed& operator=(const SchemesClaimed&) = delete;

private:
    std::vector<std::wstring> schemes_;
};

// The window in this process, so that the test can ask its control for addresses a page's links
// would name; no page renders under Wine, so nothing can be clicked.
class WindowsViewerRoutes : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        PrepareDisc("");
        temp_ = wintest::MakeTempFolder(L"kvd-routes-");
        log_ = temp_ + L"navigation.log";
        record_ = temp_ + L"opened.txt";
        SetEnvironmentVariableW(viewer::kViewerLogVariable, log_.c_str());
        SetEnvironmentVariableW(L"KVD_RECORD_FILE", record_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(viewer::kViewerLogVariable, nullptr);
        OleUninitialize();
    }
    std::wstring temp_, log_, record_;
};

TEST_F(WindowsViewerRoutes, WebAndMailGoToTheShellFileLinksLeavingTheDiscAndOtherSchemesAreRefused) {
    const SchemesClaimed claimed({L"ms-settings", L"shell", L"search-ms", L"ftp", L"kvd-made-up"});
    viewer::ViewerWindow window(viewer::ParseViewerArgs({"-", "index.htm", "Home", "www.example.com"}), "X:\\");
    ASSERT_TRUE(window.Create());
    window.Present();
    ASSERT_TRUE(window.StartBrowser());
    CancelWatch watch;
    ASSERT_TRUE(watch.Advise(window.Browser()));
    const HMENU menu = GetMenu(window.Handle());
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_EQ(MenuItemText(menu, 0), L"Home");
    EXPECT_EQ(GetMenuState(menu, 0, MF_BYPOSITION) & MF_GRAYED, 0u);
    const struct {
        const wchar_t* address;
        const char* decision;
        const char* opened; // what the reader's browser or mail program gets, if anything
        bool cancelled;     // whether the control is told not to load it itself
    } rows[] = {
        {L"http://example.com/page.htm", "elsewhere", "http://example.com/page.htm", true},
        {L"mailto:someone@example.com", "elsewhere", "mailto:someone@example.com", true},
        {L"file:///C:/windows/win.ini", "refused", nullptr, true},
        {L"file:///X:/../windows/win.ini", "refused", nullptr, true},
        {L"ms-settings:display", "refused", nullptr, true},
        {L"shell:startup", "refused", nullptr, true},
        {L"search-ms:query=x&crumb=location:\\\\server\\share", "refused", nullptr, true},
        {L"ftp://example.com/file.txt", "refused", nullptr, true},
        {L"KVD-MADE-UP:x", "refused", nullptr, true},
        {L"file:///X:/OTHER.HTM", "here", nullptr, false},
        {L"X:\\gone.htm", "missing", nullptr, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(viewer::Narrow(row.address));
        VARIANT empty;
        VariantInit(&empty);
        BSTR address = SysAllocString(row.address);
        window.Browser()->Navigate(address, &empty, &empty, &empty, &empty);
        SysFreeString(address);
        EXPECT_TRUE(wintest::PumpUntil([&] { return HasDecision(log_, row.decision, row.address); }, kStartLimitMs))
            << wintest::ReadFileBytes(log_);
        EXPECT_EQ(watch.CancelledFor(row.address), std::optional<bool>(row.cancelled));
        if (row.opened) {
            EXPECT_TRUE(wintest::PumpUntil([&] { return HasLine(record_, row.opened); }, kStartLimitMs))
                << wintest::ReadFileBytes(record_);
        }
    }
    watch.Unadvise();
    // The stand-in does claim those schemes: the shell hands it one it is asked to open.
    ShellExecuteW(nullptr, L"open", L"kvd-made-up:probe", nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_TRUE(wintest::PumpUntil([&] { return HasLine(record_, "kvd-made-up:probe"); }, kStartLimitMs))
        << wintest::ReadFileBytes(record_);
    for (const char* refused : {"ms-settings:", "shell:", "search-ms:", "ftp:", "KVD-MADE-UP:"})
        EXPECT_EQ(wintest::ReadFileBytes(record_).find(refused), std::string::npos) << refused;
    // A missing page is named in the title as the explanation names it.
    EXPECT_TRUE(
        wintest::PumpUntil([&] { return wintest::WindowText(window.Handle()) == L"KVD - gone.htm"; }, kStartLimitMs));

    // The web-link item: a bare host name is a web address.
    PostMessageW(window.Handle(), WM_COMMAND, viewer::kWebLinkCommand, 0);
    EXPECT_TRUE(wintest::PumpUntil([&] { return HasLine(record_, "http://www.example.com"); }, kStartLimitMs))
        << wintest::ReadFileBytes(record_);
    // Nothing refused ever reached the reader's programs.
    EXPECT_EQ(wintest::ReadFileBytes(record_).find("win.ini"), std::string::npos);

    DestroyWindow(window.Handle());
    EXPECT_EQ(window.Handle(), nullptr);
}

// The folders the window itself permits: a first page given by a full path beside the viewer's
// folder is shown with its neighbours; one given relative to the disc that climbs out is not.
TEST_F(WindowsViewerRoutes, AFirstPageByFullPathIsShownOneClimbingOutOfTheDiscIsNot) {
    ASSERT_TRUE(wintest::WriteFileBytes(temp_ + L"help.htm", kPage));
    ASSERT_TRUE(wintest::WriteFileBytes(temp_ + L"next.htm", kPage));
    {
        viewer::ViewerWindow window(viewer::ParseViewerArgs({"-", viewer::Narrow(temp_ + L"help.htm")}), "X:\\");
        ASSERT_TRUE(window.Create());
        ASSERT_TRUE(window.StartBrowser());
        EXPECT_TRUE(wintest::PumpUntil([&] { return HasDecision(log_, "here", temp_ + L"help.htm"); }, kStartLimitMs))
            << wintest::ReadFileBytes(log_);
        const std::wstring next = temp_ + L"next.htm";
        BSTR address = SysAllocString(next.c_str());
        VARIANT empty;
        VariantInit(&empty);
        window.Browser()->Navigate(address, &empty, &empty, &empty, &empty);
        SysFreeString(address);
        EXPECT_TRUE(wintest::PumpUntil([&] { return HasDecision(log_, "here", next); }, kStartLimitMs))
            << wintest::ReadFileBytes(log_);
        DestroyWindow(window.Handle());
    }
    const std::string disc = viewer::Narrow(temp_) + "disc\\";
    ASSERT_TRUE(CreateDirectoryW(viewer::Widen(disc).c_str(), nullptr));
    const std::wstring log = temp_ + L"climbing.log";
    SetEnvironmentVariableW(viewer::kViewerLogVariable, log.c_str());
    viewer::ViewerWindow window(viewer::ParseViewerArgs({"-", "sub\\..\\..\\help.htm"}), disc);
    EXPECT_EQ(window.FirstPagePath(), "");
    ASSERT_TRUE(window.Create());
    ASSERT_TRUE(window.StartBrowser());
    EXPECT_TRUE(
        wintest::PumpUntil([&] { return HasLine(log, "refused " + disc + "sub\\..\\..\\help.htm"); }, kStartLimitMs))
        << wintest::ReadFileBytes(log);
    EXPECT_TRUE(wintest::PumpUntil([&] { return HasLine(log, "here about:blank"); }, kStartLimitMs))
        << wintest::ReadFileBytes(log);
    EXPECT_EQ(wintest::WindowText(window.Handle()), L"KVD - help.htm");
    // Only the explanation's empty document was let into the window.
    for (const std::string& line : Lines(wintest::ReadFileBytes(log)))
        EXPECT_TRUE(line.rfind("here ", 0) != 0 || line == "here about:blank") << line;
    DestroyWindow(window.Handle());
}

TEST_F(WindowsViewerRoutes, WebLinkItemKeepsAmpersandsAndIsGreyWithoutAnAddress) {
    viewer::ViewerWindow window(viewer::ParseViewerArgs({"-", "index.htm", "Shop & more", "-"}), "X:\\");
    ASSERT_TRUE(window.Create());
    ASSERT_TRUE(window.StartBrowser());
    const HMENU menu = GetMenu(window.Handle());
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_EQ(MenuItemText(menu, 0), L"Shop && more");
    EXPECT_NE(GetMenuState(menu, 0, MF_BYPOSITION) & MF_GRAYED, 0u);
    DestroyWindow(window.Handle());
}

} // namespace
