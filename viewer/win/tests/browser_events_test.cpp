// The control's events as the control hands them over: arguments last first, the out-parameters by
// reference. Wine fires only the first of them without a browser engine, so the rest are fed here
// the way the control sends them.
#include <exdispid.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser_site.h"

namespace {

class Recorder final : public viewer::BrowserEvents {
public:
    bool cancelNavigation = false;
    std::vector<std::wstring> calls;

    bool OnBeforeNavigate(const std::wstring& address, bool mainFrame) override {
        calls.push_back(L"before " + address + (mainFrame ? L" page" : L" frame"));
        return cancelNavigation;
    }
    void OnNewWindow(const std::wstring& address) override { calls.push_back(L"new " + address); }
    void OnNavigateComplete(const std::wstring& address, bool mainFrame) override {
        calls.push_back(L"complete " + address + (mainFrame ? L" page" : L" frame"));
    }
    void OnDocumentComplete(const std::wstring& address, bool mainFrame) override {
        calls.push_back(L"document " + address + (mainFrame ? L" page" : L" frame"));
    }
    void OnStatusText(const std::wstring& text) override { calls.push_back(L"status " + text); }
    void OnCommandState(long command, bool enabled) override {
        calls.push_back(L"command " + std::to_wstring(command) + (enabled ? L" on" : L" off"));
    }
    void OnContextMenu(POINT) override {}
    RECT BrowserRect() const override { return RECT{}; }
};

// Arguments in the order of the event's declaration; DISPPARAMS wants them reversed.
struct Call {
    explicit Call(std::vector<VARIANT> declared) : arguments(declared.rbegin(), declared.rend()) {
        params.rgvarg = arguments.data();
        params.cArgs = static_cast<UINT>(arguments.size());
    }
    std::vector<VARIANT> arguments;
    DISPPARAMS params{};
};

VARIANT Text(BSTR text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}
VARIANT ByRef(VARIANT* inner) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_VARIANT;
    v.pvarVal = inner;
    return v;
}
VARIANT Flag(VARIANT_BOOL* flag) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BYREF | VT_BOOL;
    v.pboolVal = flag;
    return v;
}
VARIANT Dispatch(IDispatch* frame) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = frame;
    return v;
}

TEST(BrowserEvents, ArgumentsAreReadInTheControlsOrderAndCancelIsWrittenBack) {
    Recorder recorder;
    auto* site = new viewer::BrowserSite(nullptr, recorder);
    // The site itself stands in for the top browser; another object for a frame of the page.
    auto* frame = new viewer::BrowserSite(nullptr, recorder);
    site->SetBrowser(static_cast<IOleClientSite*>(site));
    IDispatch* top = site;
    BSTR page = SysAllocString(L"file:///X:/index.htm");
    BSTR web = SysAllocString(L"http://example.com/");
    BSTR none = SysAllocString(L"");
    VARIANT url = Text(page), empty = Text(none), newUrl = Text(web);

    VARIANT_BOOL cancel = VARIANT_FALSE;
    recorder.cancelNavigation = true;
    Call before(
        {Dispatch(top), ByRef(&url), ByRef(&empty), ByRef(&empty), ByRef(&empty), ByRef(&empty), Flag(&cancel)});
    site->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &before.params, nullptr, nullptr, nullptr);
    EXPECT_EQ(cancel, VARIANT_TRUE);

    recorder.cancelNavigation = false;
    Call inFrame(
        {Dispatch(frame), ByRef(&url), ByRef(&empty), ByRef(&empty), ByRef(&empty), ByRef(&empty), Flag(&cancel)});
    site->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD, &inFrame.params, nullptr, nullptr, nullptr);
    EXPECT_EQ(cancel, VARIANT_FALSE);

    VARIANT_BOOL newCancel = VARIANT_FALSE;
    IDispatch* created = nullptr;
    VARIANT createdRef;
    VariantInit(&createdRef);
    createdRef.vt = VT_BYREF | VT_DISPATCH;
    createdRef.ppdispVal = &created;
    VARIANT flags;
    VariantInit(&flags);
    flags.vt = VT_I4;
    Call newWindow({createdRef, Flag(&newCancel), flags, Text(page), Text(web)});
    site->Invoke(DISPID_NEWWINDOW3, IID_NULL, 0, DISPATCH_METHOD, &newWindow.params, nullptr, nullptr, nullptr);
    EXPECT_EQ(newCancel, VARIANT_TRUE); // no second window, ever

    Call complete({Dispatch(top), ByRef(&newUrl)});
    site->Invoke(DISPID_NAVIGATECOMPLETE2, IID_NULL, 0, DISPATCH_METHOD, &complete.params, nullptr, nullptr, nullptr);
    Call document({Dispatch(frame), ByRef(&url)});
    site->Invoke(DISPID_DOCUMENTCOMPLETE, IID_NULL, 0, DISPATCH_METHOD, &document.params, nullptr, nullptr, nullptr);
    Call status({Text(web)});
    site->Invoke(DISPID_STATUSTEXTCHANGE, IID_NULL, 0, DISPATCH_METHOD, &status.params, nullptr, nullptr, nullptr);
    VARIANT command, enabled;
    VariantInit(&command);
    VariantInit(&enabled);
    command.vt = VT_I4;
    command.lVal = CSC_NAVIGATEBACK;
    enabled.vt = VT_BOOL;
    enabled.boolVal = VARIANT_TRUE;
    Call state({command, enabled});
    site->Invoke(DISPID_COMMANDSTATECHANGE, IID_NULL, 0, DISPATCH_METHOD, &state.params, nullptr, nullptr, nullptr);

    const std::vector<std::wstring> expected{L"before file:///X:/index.htm page",
                                             L"before file:///X:/index.htm frame",
                                             L"new http://example.com/",
                                             L"complete http://example.com/ page",
                                             L"document file:///X:/index.htm frame",
                                             L"status http://example.com/",
                                             L"command 2 on"};
    EXPECT_EQ(recorder.calls, expected);

    site->SetBrowser(nullptr);
    SysFreeString(page);
    SysFreeString(web);
    SysFreeString(none);
    frame->Release();
    site->Release();
}

} // namespace
