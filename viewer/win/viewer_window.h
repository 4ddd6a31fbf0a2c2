// The Windows viewer's window: the menu bar, the close bar, the debug line and the browser control,
// and the rule for where each navigation goes.
#pragma once

#include <exdisp.h>
#include <oleidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "browser_site.h"
#include "viewer_core.h"

namespace viewer {

inline constexpr wchar_t kViewerWindowClass[] = L"KvdViewerWindow";
inline constexpr wchar_t kViewerCaption[] = L"KVD";
// The menu bar's web-link item and the close button, by their command ids.
inline constexpr UINT kWebLinkCommand = 100;
inline constexpr UINT kCloseCommand = 101;

// Where the window writes one line per navigation decision when the variable names a file.
inline constexpr wchar_t kViewerLogVariable[] = L"KVD_VIEWER_LOG";

// The debug line's page text: the page, and the first script error of the page with the number of
// further ones, when there were any. An error's script is named as the link text names addresses.
std::wstring DebugPageText(const std::string& page, const std::wstring& message, const std::wstring& address, long line,
                           int errors);

class ViewerWindow final : private BrowserEvents {
public:
    // viewerFolder: the folder of the running program, with or without its last backslash.
    ViewerWindow(const ViewerArgs& args, const std::string& viewerFolder);
    ~ViewerWindow() override;
    ViewerWindow(const ViewerWindow&) = delete;
    ViewerWindow& operator=(const ViewerWindow&) = delete;

    // Makes the window with its bars; the browser control comes later, so that the reader sees
    // the window while the control's libraries load.
    bool Create();
    void Present();
    // Makes the browser control and starts the first page. False when the control cannot be made;
    // there is no window then.
    bool StartBrowser();
    HWND Handle() const { return window_; }
    IWebBrowser2* Browser() const { return browser_.Get(); }
    // The first page as a Windows path.
    const std::string& FirstPagePath() const { return firstPage_; }

    // The window's keys and the control's own, before the message is dispatched. True when the
    // message was used.
    bool PreTranslate(MSG& message);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    bool CreateBrowser();
    void DestroyBrowser();
    void Layout();
    void UpdateFont();
    void Navigate(const std::wstring& address);
    void ShowMissing(const std::string& path);
    void SetShownPage(const std::string& fileName);
    void OpenElsewhere(const std::wstring& address);
    void OpenQueued();
    bool TypingInPage() const;
    void FocusPage();
    void Log(const char* what, const std::wstring& address) const;
    int Scaled(int size) const;

    // BrowserEvents
    bool OnBeforeNavigate(const std::wstring& address, bool mainFrame) override;
    void OnNewWindow(const std::wstring& address) override;
    void OnNavigateComplete(const std::wstring& address, bool mainFrame) override;
    void OnDocumentComplete(const std::wstring& address, bool mainFrame) override;
    void OnStatusText(const std::wstring& text) override;
    void OnCommandState(long command, bool enabled) override;
    void OnContextMenu(POINT screenPoint) override;
    void OnScriptError(const std::wstring& message, const std::wstring& address, long line) override;
    RECT BrowserRect() const override;

    ViewerArgs args_;
    std::string folder_;
    std::string firstPage_;
    std::string firstPageName_;
    std::vector<std::string> folders_;
    std::wstring logPath_;

    HWND window_ = nullptr;
    HWND closeButton_ = nullptr;
    HWND debugPage_ = nullptr;
    std::string shownPage_;
    std::wstring scriptError_; // the page's first: message, address and line
    std::wstring scriptErrorAddress_;
    long scriptErrorLine_ = 0;
    int scriptErrors_ = 0;
    HWND debugLink_ = nullptr;
    HFONT font_ = nullptr;
    HBRUSH debugBrush_ = nullptr;
    RECT debugStrip_{};
    int dpi_ = 96;

    BrowserSite* site_ = nullptr;
    Microsoft::WRL::ComPtr<IOleObject> oleObject_;
    Microsoft::WRL::ComPtr<IWebBrowser2> browser_;
    Microsoft::WRL::ComPtr<IOleInPlaceActiveObject> activeObject_;
    DWORD eventCookie_ = 0;
    bool shown_ = false;
    bool canGoBack_ = false;
    bool canGoForward_ = false;

    // The explanation waiting for its empty document, and the name it explains.
    std::string pendingHtml_;
    std::string missingName_;
    // Addresses for the reader's programs, opened once the control's event has returned.
    std::vector<std::wstring> toOpen_;
    // Links that asked for a new window, and a page found missing, shown once the event has returned.
    std::vector<std::wstring> toShow_;
    std::string pendingMissing_;
};

} // namespace viewer
