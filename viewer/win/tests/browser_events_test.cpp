// The control's events as the control hands them over: arguments last first, the out-parameters by
// reference. Wine fires only the first of them without a browser engine, so the rest are fed here
// the way the control sends them.
#include <exdispid.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "browser_site.h"
#include "viewer_window.h"

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
    void OnScriptError(const std::wstring& message, const std::wstring& address, long line) override {
        calls.push_back(L"script error " + message + L" at " + address + L" line " + std::to_wstring(line));
    }
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

// A scripting object of the page as the control hands it over: properties read by name.
class ScriptObject final : public IDispatch {
public:
    std::map<std::wstring, VARIANT> properties;

    ~ScriptObject() {
        for (auto& [name, value] : properties)
            VariantClear(&value);
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (riid != IID_IUnknown && riid != IID_IDispatch) return E_NOINTERFACE;
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID, DISPID* id) override {
        DISPID next = 1;
        for (const auto& entry : properties) {
            if (entry.first == names[0]) {
                *id = next;
                return S_OK;
            }
            ++next;
        }
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                                     UINT*) override {
        if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
        DISPID next = 1;
        for (auto& entry : properties)
            if (next++ == id) return VariantCopy(result, &entry.second);
        return DISP_E_MEMBERNOTFOUND;
    }

    void Set(const wchar_t* name, const wchar_t* text) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocString(text);
        properties[name] = v;
    }
    void Set(const wchar_t* name, long number) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        v.lVal = number;
        properties[name] = v;
    }
    void Set(const wchar_t* name, IDispatch* object) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_DISPATCH;
        v.pdispVal = object;
        object->AddRef();
        properties[name] = v;
    }

private:
    ULONG references_ = 1;
};

// The control asks its host before it shows a script error: the site takes every error, reads it from
// the document's window event, reports it and tells the control it was handled and scripts go on;
// commands it does not know are left to the control.
TEST(BrowserEvents, ScriptErrorsAreTakenFromTheControlAndReported) {
    Recorder recorder;
    auto* site = new viewer::BrowserSite(nullptr, recorder);
    auto* document = new ScriptObject;
    auto* window = new ScriptObject;
    auto* event = new ScriptObject;
    event->Set(L"errorMessage", L"'IntersectionObserver' is undefined");
    event->Set(L"errorUrl", L"file:///X:/assets/api.js");
    event->Set(L"errorLine", 94);
    event->Set(L"errorCharacter", 5);
    window->Set(L"event", event);
    document->Set(L"parentWindow", window);

    VARIANT in, out;
    VariantInit(&in);
    VariantInit(&out);
    in.vt = VT_UNKNOWN;
    in.punkVal = document;
    EXPECT_EQ(site->Exec(&viewer::kDocHostCommandGroup, OLECMDID_SHOWSCRIPTERROR, 0, &in, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BOOL);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    // Without a document to read it from, the error is still kept from the reader.
    VariantInit(&out);
    EXPECT_EQ(site->Exec(&viewer::kDocHostCommandGroup, OLECMDID_SHOWSCRIPTERROR, 0, nullptr, &out), S_OK);
    EXPECT_EQ(out.vt, VT_BOOL);

    VariantInit(&out);
    EXPECT_EQ(site->Exec(&viewer::kDocHostCommandGroup, OLECMDID_SHOWMESSAGE, 0, &in, &out), OLECMDERR_E_NOTSUPPORTED);
    EXPECT_EQ(site->Exec(nullptr, OLECMDID_SHOWSCRIPTERROR, 0, &in, &out), OLECMDERR_E_UNKNOWNGROUP);
    EXPECT_EQ(out.vt, VT_EMPTY);

    const std::vector<std::wstring> expected{
        L"script error 'IntersectionObserver' is undefined at file:///X:/assets/api.js line 94",
        L"script error  at  line 0"};
    EXPECT_EQ(recorder.calls, expected);
    event->Release();
    window->Release();
    document->Release();
    site->Release();
}

TEST(BrowserEvents, DebugLineNamesThePagesFirstScriptErrorAndCountsTheRest) {
    struct Row {
        const wchar_t* message;
        const wchar_t* address;
        long line;
        int errors;
        const wchar_t* expected;
    } rows[] = {
        {L"", L"", 0, 0, L"Page: index.htm"},
        {L"Syntax error", L"file:///X:/assets/api.js", 24, 1,
         L"Page: index.htm - Script error: Syntax error (api.js, line 24)"},
        {L"'fetch' is undefined", L"file:///X:/index.htm", 7, 3,
         L"Page: index.htm - Script error: 'fetch' is undefined (index.htm, line 7) and 2 more"},
        {L"Access is denied.", L"http://example.com/a.js", 1, 1,
         L"Page: index.htm - Script error: Access is denied. (http://example.com/a.js, line 1)"},
        {L"", L"", 3, 1, L"Page: index.htm - Script error: (no message) (line 3)"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(viewer::DebugPageText("index.htm", row.message, row.address, row.line, row.errors), row.expected)
            << row.expected;
}

} // namespace
