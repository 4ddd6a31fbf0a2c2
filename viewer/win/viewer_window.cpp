// The Windows viewer's window.
#include "viewer_window.h"

#include <mshtml.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <memory>

#include "win_addresses.h"
#include "win_text.h"

namespace viewer {
namespace {

using Microsoft::WRL::ComPtr;

constexpr UINT kQueuedWork = WM_APP + 1;
constexpr UINT kDpiChanged = 0x02E0; // WM_DPICHANGED, newer than the headers some builds use
constexpr COLORREF kDebugBackground = RGB(255, 255, 204);
constexpr int kBarHeight = 30;
constexpr int kDebugHeight = 22;
constexpr int kCloseWidth = 96;

enum ContextCommand : UINT { kBack = 1, kForward, kReload, kCopy, kSelectAll };

struct BstrDeleter {
    void operator()(wchar_t* text) const { SysFreeString(text); }
};
using Bstr = std::unique_ptr<wchar_t, BstrDeleter>;
Bstr MakeBstr(const std::wstring& text) { return Bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))); }

struct MenuDeleter {
    void operator()(HMENU__* menu) const { DestroyMenu(menu); }
};
using Menu = std::unique_ptr<HMENU__, MenuDeleter>;

bool FileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SameTextAtoZ(const std::string& a, const std::string& b) {
    return CompareStringOrdinal(Widen(a).c_str(), -1, Widen(b).c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The web-link text as a menu item shows it: an ampersand would otherwise mark a shortcut letter.
std::wstring MenuText(const std::string& text) {
    std::wstring shown;
    for (wchar_t c : Widen(text)) {
        shown += c;
        if (c == L'&') shown += L'&';
    }
    return shown;
}

bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

} // namespace

ViewerWindow::ViewerWindow(const ViewerArgs& args, const std::string& viewerFolder)
    : args_(args), folder_(viewerFolder) {
    firstPage_ = viewer::FirstPagePath(args_.firstPage, folder_);
    firstPageName_ = PageFileName(args_.firstPage);
    // The disc is the viewer's folder; the wizard's help page lives in the wizard's folder.
    folders_ = {folder_, FolderOfPath(firstPage_)};
    wchar_t logPath[MAX_PATH] = {};
    if (GetEnvironmentVariableW(kViewerLogVariable, logPath, MAX_PATH) > 0) logPath_ = logPath;
}

ViewerWindow::~ViewerWindow() {
    if (window_) DestroyWindow(window_);
    DestroyBrowser();
    if (font_) DeleteObject(font_);
    if (debugBrush_) DeleteObject(debugBrush_);
}

int ViewerWindow::Scaled(int size) const { return MulDiv(size, dpi_, 96); }

bool ViewerWindow::Create() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (!GetClassInfoExW(instance, kViewerWindowClass, &windowClass)) {
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &ViewerWindow::WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kViewerWindowClass;
        if (!RegisterClassExW(&windowClass)) return false;
    }

    if (HDC screen = GetDC(nullptr)) {
        dpi_ = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
    }
    debugBrush_ = CreateSolidBrush(kDebugBackground);

    HMENU menu = nullptr;
    if (HasWebLink(args_)) {
        // A menu bar item of its own, not a drop-down: one click opens the address.
        menu = CreateMenu();
        AppendMenuW(menu, MF_STRING | (HasWebLinkAddress(args_) ? 0 : MF_GRAYED), kWebLinkCommand,
                    MenuText(args_.linkText).c_str());
    }

    const DWORD style = (args_.borderless ? WS_POPUP : WS_OVERLAPPEDWINDOW) | WS_CLIPCHILDREN;
    // The size is that of everything inside the frame, the menu bar included, as in the Linux viewer.
    RECT outer{0, 0, Scaled(args_.width), Scaled(args_.height)};
    AdjustWindowRectEx(&outer, style, FALSE, 0);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + std::max(0L, (work.right - work.left - width) / 2);
    const int y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);

    const std::wstring title = L"KVD - " + Widen(firstPageName_);
    window_ = CreateWindowExW(0, kViewerWindowClass, title.c_str(), style, x, y, width, height, nullptr, menu, instance,
                              this);
    if (!window_) {
        if (menu) DestroyMenu(menu);
        return false;
    }

    if (args_.borderless) {
        // Without a frame the reader has no title bar to close the window with, so the viewer keeps
        // one way out on screen whatever the pages offer.
        closeButton_ =
            CreateWindowExW(0, L"BUTTON", L"Close (Esc)", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0, 0, 0, 0, window_,
                            reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kCloseCommand)), instance, nullptr);
    }
    if (args_.debug) {
        debugPage_ = CreateWindowExW(0, L"STATIC", L"Page: ", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, 0, 0, 0, 0,
                                     window_, nullptr, instance, nullptr);
        debugLink_ = CreateWindowExW(0, L"STATIC", L"Link: ", WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP, 0, 0, 0, 0,
                                     window_, nullptr, instance, nullptr);
    }
    UpdateFont();
    Layout();
    SetShownPage(firstPageName_);
    return true;
}

bool ViewerWindow::StartBrowser() {
    if (!window_) return false;
    if (!CreateBrowser()) {
        DestroyWindow(window_);
        return false;
    }
    Layout();

    SetShownPage(firstPageName_);
    if (FileExists(firstPage_)) {
        Navigate(Widen(firstPage_));
    } else {
        Log("missing", Widen(firstPage_));
        ShowMissing(firstPage_);
    }
    shown_ = true;
    return true;
}

void ViewerWindow::UpdateFont() {
    const HFONT old = font_;
    font_ = CreateFontW(-MulDiv(9, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
    for (HWND child : {closeButton_, debugPage_, debugLink_}) {
        if (child) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
    if (old) DeleteObject(old);
}

void ViewerWindow::Present() {
    ShowWindow(window_, args_.maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetForegroundWindow(window_);
}

bool ViewerWindow::CreateBrowser() {
    if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(oleObject_.GetAddressOf()))))
        return false;
    site_ = new BrowserSite(window_, *this);
    if (FAILED(oleObject_->SetClientSite(static_cast<IOleClientSite*>(site_)))) return false;
    RECT area = BrowserRect();
    if (FAILED(oleObject_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, static_cast<IOleClientSite*>(site_), 0, window_,
                                  &area)))
        return false;
    if (FAILED(oleObject_.As(&browser_))) return false;
    ComPtr<IUnknown> identity;
    browser_.As(&identity);
    site_->SetBrowser(identity.Get());
    // Script errors of a page are the author's business; the reader never gets their dialogs. The site
    // takes them from the control either way; in debug mode the control is not silenced, so that it
    // hands every error to the site, which shows it in the debug line.
    browser_->put_Silent(args_.debug ? VARIANT_FALSE : VARIANT_TRUE);
    browser_.As(&activeObject_);

    ComPtr<IConnectionPointContainer> points;
    ComPtr<IConnectionPoint> point;
    if (FAILED(browser_.As(&points)) || FAILED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point)) ||
        FAILED(point->Advise(static_cast<IDispatch*>(site_), &eventCookie_)))
        return false;
    return true;
}

void ViewerWindow::DestroyBrowser() {
    if (browser_ && eventCookie_) {
        ComPtr<IConnectionPointContainer> points;
        ComPtr<IConnectionPoint> point;
        if (SUCCEEDED(browser_.As(&points)) && SUCCEEDED(points->FindConnectionPoint(DIID_DWebBrowserEvents2, &point)))
            point->Unadvise(eventCookie_);
        eventCookie_ = 0;
    }
    activeObject_.Reset();
    browser_.Reset();
    if (oleObject_) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(oleObject_.As(&inPlace))) inPlace->InPlaceDeactivate();
        oleObject_->Close(OLECLOSE_NOSAVE);
        oleObject_->SetClientSite(nullptr);
        oleObject_.Reset();
    }
    if (site_) {
        site_->SetBrowser(nullptr);
        site_->Release();
        site_ = nullptr;
    }
}

RECT ViewerWindow::BrowserRect() const {
    RECT area{};
    if (window_) GetClientRect(window_, &area);
    if (args_.borderless) area.top += Scaled(kBarHeight);
    if (args_.debug) area.top += Scaled(kDebugHeight);
    if (area.top > area.bottom) area.top = area.bottom;
    return area;
}

void ViewerWindow::Layout() {
    RECT client{};
    GetClientRect(window_, &client);
    int top = 0;
    if (closeButton_) {
        const int bar = Scaled(kBarHeight);
        const int margin = Scaled(3);
        const int width = Scaled(kCloseWidth);
        MoveWindow(closeButton_, client.right - width - margin, margin, width, bar - 2 * margin, TRUE);
        top += bar;
    }
    if (debugPage_) {
        const int half = client.right / 2;
        const int pad = Scaled(6);
        const int line = Scaled(kDebugHeight);
        const int text = Scaled(16);
        const int inset = (line - text) / 2;
        MoveWindow(debugPage_, pad, top + inset, half - 2 * pad, text, TRUE);
        MoveWindow(debugLink_, half + pad, top + inset, client.right - half - 2 * pad, text, TRUE);
        debugStrip_ = RECT{0, top, client.right, top + line};
        InvalidateRect(window_, &debugStrip_, TRUE);
        top += line;
    }
    if (oleObject_) {
        ComPtr<IOleInPlaceObject> inPlace;
        RECT area = BrowserRect();
        if (SUCCEEDED(oleObject_.As(&inPlace))) inPlace->SetObjectRects(&area, &area);
    }
}

void ViewerWindow::Navigate(const std::wstring& address) {
    if (!browser_) return;
    Bstr url = MakeBstr(address);
    VARIANT empty;
    VariantInit(&empty);
    browser_->Navigate(url.get(), &empty, &empty, &empty, &empty);
}

void ViewerWindow::ShowMissing(const std::string& path) {
    const std::string name = PageFileName(path);
    const bool first = SameTextAtoZ(path, firstPage_);
    pendingHtml_ = MissingPageHtml(MissingPageSentence(name, first), path);
    missingName_ = name;
    SetShownPage(name);
    // The explanation goes into an empty document once it is there: nothing is written to disk.
    Navigate(L"about:blank");
}

void ViewerWindow::SetShownPage(const std::string& fileName) {
    SetWindowTextW(window_, (L"KVD - " + Widen(fileName)).c_str());
    shownPage_ = fileName;
    scriptErrors_ = 0;
    if (debugPage_) SetWindowTextW(debugPage_, DebugPageText(fileName, {}, {}, 0, 0).c_str());
}

void ViewerWindow::OnScriptError(const std::wstring& message, const std::wstring& address, long line) {
    if (!debugPage_) return; // outside debug mode the error is only kept from the reader
    if (scriptErrors_++ == 0) {
        scriptError_ = message;
        scriptErrorAddress_ = address;
        scriptErrorLine_ = line;
    }
    SetWindowTextW(
        debugPage_,
        DebugPageText(shownPage_, scriptError_, scriptErrorAddress_, scriptErrorLine_, scriptErrors_).c_str());
}

std::wstring DebugPageText(const std::string& page, const std::wstring& message, const std::wstring& address, long line,
                           int errors) {
    std::wstring text = L"Page: " + Widen(page);
    if (errors <= 0) return text;
    const std::string path = LocalPathOfAddress(Narrow(address));
    const std::wstring script = path.empty() ? address : Widen(PageFileName(path));
    text += L" - Script error: " + (message.empty() ? std::wstring(L"(no message)") : message) + L" (";
    if (!script.empty()) text += script + L", ";
    text += L"line " + std::to_wstring(line) + L")";
    if (errors > 1) text += L" and " + std::to_wstring(errors - 1) + L" more";
    return text;
}

void ViewerWindow::OpenElsewhere(const std::wstring& address) {
    const auto result =
        reinterpret_cast<INT_PTR>(ShellExecuteW(window_, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return;
    const std::wstring text = L"No program on this computer can open this address.\n\n" + address;
    MessageBoxW(window_, text.c_str(), kViewerCaption, MB_OK | MB_ICONWARNING);
}

void ViewerWindow::OpenQueued() {
    std::vector<std::wstring> addresses;
    addresses.swap(toOpen_);
    for (const std::wstring& address : addresses)
        OpenElsewhere(address);
}

void ViewerWindow::Log(const char* what, const std::wstring& address) const {
    if (logPath_.empty()) return;
    if (FILE* file = _wfopen(logPath_.c_str(), L"ab")) {
        const std::string line = std::string(what) + " " + Narrow(address) + "\n";
        std::fwrite(line.data(), 1, line.size(), file);
        std::fclose(file);
    }
}

bool ViewerWindow::OnBeforeNavigate(const std::wstring& address, bool mainFrame) {
    const std::string text = Narrow(address);
    switch (RouteWindowsNavigation(text, folders_, mainFrame)) {
    case Route::kShowHere: {
        const std::string path = LocalPathOfAddress(text);
        if (mainFrame && !path.empty()) {
            if (!FileExists(path)) {
                Log("missing", address);
                // The control is inside its own call: the explanation starts once it has returned.
                pendingMissing_ = path;
                PostMessageW(window_, kQueuedWork, 0, 0);
                return true;
            }
            missingName_.clear();
        }
        Log("here", address);
        return false;
    }
    case Route::kOpenElsewhere:
        Log("elsewhere", address);
        toOpen_.push_back(address);
        PostMessageW(window_, kQueuedWork, 0, 0);
        return true;
    case Route::kRefuse:
        break;
    }
    Log("refused", address);
    return true;
}

void ViewerWindow::OnNewWindow(const std::wstring& address) {
    // The link opens here: the viewer is one window, as the disc's author sees it in the preview.
    toShow_.push_back(address);
    PostMessageW(window_, kQueuedWork, 0, 0);
}

void ViewerWindow::OnNavigateComplete(const std::wstring& address, bool mainFrame) {
    if (!mainFrame) return;
    const std::string path = LocalPathOfAddress(Narrow(address));
    if (!path.empty()) {
        SetShownPage(PageFileName(path));
    } else {
        SetShownPage(missingName_.empty() ? firstPageName_ : missingName_);
    }
}

void ViewerWindow::FocusPage() {
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    ComPtr<IHTMLWindow2> pageWindow;
    if (!browser_ || FAILED(browser_->get_Document(&document)) || !document || FAILED(document.As(&html)) ||
        FAILED(html->get_parentWindow(&pageWindow)) || !pageWindow)
        return;
    pageWindow->focus();
}

void ViewerWindow::OnDocumentComplete(const std::wstring& address, bool mainFrame) {
    if (!mainFrame) return;
    // The page has the keyboard from the start, so the reader can scroll it without a click first.
    if (GetForegroundWindow() == window_) FocusPage();
    if (pendingHtml_.empty() || AddressScheme(Narrow(address)) != "about") return;
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    if (FAILED(browser_->get_Document(&document)) || !document || FAILED(document.As(&html))) return;
    SAFEARRAY* parts = SafeArrayCreateVector(VT_VARIANT, 0, 1);
    if (!parts) return;
    VARIANT* part = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(parts, reinterpret_cast<void**>(&part)))) {
        part->vt = VT_BSTR;
        part->bstrVal = MakeBstr(Widen(pendingHtml_)).release();
        SafeArrayUnaccessData(parts);
        html->write(parts);
        html->close();
    }
    SafeArrayDestroy(parts);
    pendingHtml_.clear();
}

void ViewerWindow::OnStatusText(const std::wstring& text) {
    if (!debugLink_) return;
    // The control reports more than links here ("Done" and the like); only an address is a link.
    const std::string link = Narrow(text);
    const std::string path = LocalPathOfAddress(link);
    std::string shown;
    if (!path.empty()) {
        shown = PageFileName(path);
    } else if (!AddressScheme(link).empty()) {
        shown = link;
    }
    SetWindowTextW(debugLink_, (L"Link: " + Widen(shown)).c_str());
}

void ViewerWindow::OnCommandState(long command, bool enabled) {
    if (command == CSC_NAVIGATEBACK) canGoBack_ = enabled;
    if (command == CSC_NAVIGATEFORWARD) canGoForward_ = enabled;
}

void ViewerWindow::OnContextMenu(POINT screenPoint) {
    if (!browser_) return;
    // What a reader needs and no more: the page's source and the like are the author's.
    Menu menu(CreatePopupMenu());
    OLECMDF copyState{};
    browser_->QueryStatusWB(OLECMDID_COPY, &copyState);
    AppendMenuW(menu.get(), MF_STRING | (canGoBack_ ? 0 : MF_GRAYED), kBack, L"Back");
    AppendMenuW(menu.get(), MF_STRING | (canGoForward_ ? 0 : MF_GRAYED), kForward, L"Forward");
    AppendMenuW(menu.get(), MF_STRING, kReload, L"Reload");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING | ((copyState & OLECMDF_ENABLED) ? 0 : MF_GRAYED), kCopy, L"Copy");
    AppendMenuW(menu.get(), MF_STRING, kSelectAll, L"Select all");
    const UINT chosen = static_cast<UINT>(
        TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, screenPoint.x, screenPoint.y, 0, window_, nullptr));
    switch (chosen) {
    case kBack:
        browser_->GoBack();
        break;
    case kForward:
        browser_->GoForward();
        break;
    case kReload:
        browser_->Refresh();
        break;
    case kCopy:
        browser_->ExecWB(OLECMDID_COPY, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
        break;
    case kSelectAll:
        browser_->ExecWB(OLECMDID_SELECTALL, OLECMDEXECOPT_DODEFAULT, nullptr, nullptr);
        break;
    default:
        break;
    }
}

bool ViewerWindow::TypingInPage() const {
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    ComPtr<IHTMLElement> active;
    if (!browser_ || FAILED(browser_->get_Document(&document)) || !document || FAILED(document.As(&html)) ||
        FAILED(html->get_activeElement(&active)) || !active)
        return false;
    BSTR tag = nullptr;
    if (FAILED(active->get_tagName(&tag)) || !tag) return false;
    const Bstr owned(tag);
    // A field takes Backspace as a key; a frame or a plug-in may hold one, so it keeps the key too.
    for (const wchar_t* field : {L"INPUT", L"TEXTAREA", L"SELECT", L"IFRAME", L"FRAME", L"OBJECT", L"EMBED"}) {
        if (_wcsicmp(tag, field) == 0) return true;
    }
    ComPtr<IHTMLElement3> editable;
    VARIANT_BOOL isEditable = VARIANT_FALSE;
    return SUCCEEDED(active.As(&editable)) && SUCCEEDED(editable->get_isContentEditable(&isEditable)) &&
           isEditable != VARIANT_FALSE;
}

bool ViewerWindow::PreTranslate(MSG& message) {
    if (!window_ || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) return false;
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST) return false;
    const bool plain = !KeyDown(VK_CONTROL) && !KeyDown(VK_SHIFT) && !KeyDown(VK_MENU);
    if (message.message == WM_KEYDOWN) {
        switch (message.wParam) {
        case VK_ESCAPE:
            // Esc closes the viewer in every mode; it is the way out a borderless window promises.
            DestroyWindow(window_);
            return true;
        case VK_F5:
            if (browser_) browser_->Refresh();
            return true;
        case VK_BACK:
            if (plain && browser_ && !TypingInPage()) {
                browser_->GoBack();
                return true;
            }
            break;
        default:
            break;
        }
    }
    if (message.message == WM_SYSKEYDOWN && browser_) {
        if (message.wParam == VK_LEFT) {
            browser_->GoBack();
            return true;
        }
        if (message.wParam == VK_RIGHT) {
            browser_->GoForward();
            return true;
        }
    }
    // The control's own keys: copy, select all, tabbing between links.
    return activeObject_ && activeObject_->TranslateAccelerator(&message) == S_OK;
}

LRESULT CALLBACK ViewerWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<ViewerWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<ViewerWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->OnMessage(window, message, wParam, lParam);
}

LRESULT ViewerWindow::OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_SETFOCUS:
        // Back in the window, the keys go to the page again.
        FocusPage();
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == kWebLinkCommand && HasWebLinkAddress(args_)) {
            OpenElsewhere(Widen(WebLinkTarget(args_.address)));
            return 0;
        }
        if (LOWORD(wParam) == kCloseCommand) {
            DestroyWindow(window_);
            return 0;
        }
        break;
    case WM_ERASEBKGND: {
        // The debug line's yellow runs the whole width, between and beside its two texts.
        RECT client{};
        GetClientRect(window, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
        if (debugPage_) FillRect(reinterpret_cast<HDC>(wParam), &debugStrip_, debugBrush_);
        return 1;
    }
    case WM_CTLCOLORSTATIC:
        if (debugPage_ &&
            (reinterpret_cast<HWND>(lParam) == debugPage_ || reinterpret_cast<HWND>(lParam) == debugLink_)) {
            const auto context = reinterpret_cast<HDC>(wParam);
            SetBkColor(context, kDebugBackground);
            SetTextColor(context, RGB(0, 0, 0));
            return reinterpret_cast<LRESULT>(debugBrush_);
        }
        break;
    case kDpiChanged: {
        // A screen of another scale: the size the system proposes keeps the window as large to the eye.
        dpi_ = HIWORD(wParam);
        UpdateFont();
        const auto* proposed = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, proposed->left, proposed->top, proposed->right - proposed->left,
                     proposed->bottom - proposed->top, SWP_NOZORDER | SWP_NOACTIVATE);
        Layout();
        return 0;
    }
    case kQueuedWork: {
        OpenQueued();
        std::vector<std::wstring> addresses;
        addresses.swap(toShow_);
        for (const std::wstring& address : addresses)
            Navigate(address);
        if (!pendingMissing_.empty()) {
            const std::string path = pendingMissing_;
            pendingMissing_.clear();
            ShowMissing(path);
        }
        return 0;
    }
    case WM_DESTROY:
        DestroyBrowser();
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        window_ = nullptr;
        // A window that never got its control leaves the program running: it still has to tell
        // the reader, and a quit message waiting in the queue would close that message at once.
        if (shown_) PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace viewer
