// The browser control's container.
#include "browser_site.h"

#include <exdispid.h>

namespace viewer {
namespace {

// The value an event hands over, whether by value or by reference.
const VARIANT& Plain(const VARIANT& value) {
    return (value.vt & VT_BYREF) && (value.vt & VT_TYPEMASK) == VT_VARIANT ? *value.pvarVal : value;
}

std::wstring StringOf(const VARIANT& value) {
    const VARIANT& plain = Plain(value);
    if (plain.vt == VT_BSTR && plain.bstrVal) return std::wstring(plain.bstrVal, SysStringLen(plain.bstrVal));
    if (plain.vt == (VT_BSTR | VT_BYREF) && plain.pbstrVal && *plain.pbstrVal)
        return std::wstring(*plain.pbstrVal, SysStringLen(*plain.pbstrVal));
    return {};
}

IDispatch* DispatchOf(const VARIANT& value) {
    const VARIANT& plain = Plain(value);
    if (plain.vt == VT_DISPATCH) return plain.pdispVal;
    if (plain.vt == (VT_DISPATCH | VT_BYREF) && plain.ppdispVal) return *plain.ppdispVal;
    return nullptr;
}

// A property of a scripting object, read by name as scripts read it.
bool Property(IDispatch* object, const wchar_t* name, VARIANT& value) {
    VariantInit(&value);
    if (!object) return false;
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
    DISPPARAMS none{};
    return SUCCEEDED(
        object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr));
}

Microsoft::WRL::ComPtr<IDispatch> ObjectProperty(IDispatch* object, const wchar_t* name) {
    VARIANT value;
    Microsoft::WRL::ComPtr<IDispatch> result;
    if (Property(object, name, value) && value.vt == VT_DISPATCH) result = value.pdispVal;
    VariantClear(&value);
    return result;
}

std::wstring TextProperty(IDispatch* object, const wchar_t* name) {
    VARIANT value;
    std::wstring text;
    if (Property(object, name, value) && SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR)) && value.bstrVal)
        text.assign(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

long NumberProperty(IDispatch* object, const wchar_t* name) {
    VARIANT value;
    long number = 0;
    if (Property(object, name, value) && SUCCEEDED(VariantChangeType(&value, &value, 0, VT_I4))) number = value.lVal;
    VariantClear(&value);
    return number;
}

void SetCancel(const VARIANT& value, bool cancel) {
    if (value.vt == (VT_BOOL | VT_BYREF) && value.pboolVal) *value.pboolVal = cancel ? VARIANT_TRUE : VARIANT_FALSE;
}

} // namespace

HRESULT BrowserSite::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
        *object = static_cast<IOleClientSite*>(this);
    } else if (riid == IID_IOleWindow || riid == IID_IOleInPlaceSite) {
        *object = static_cast<IOleInPlaceSite*>(this);
    } else if (riid == IID_IOleInPlaceUIWindow || riid == IID_IOleInPlaceFrame) {
        *object = static_cast<IOleInPlaceFrame*>(this);
    } else if (riid == IID_IDocHostUIHandler) {
        *object = static_cast<IDocHostUIHandler*>(this);
    } else if (riid == IID_IOleCommandTarget) {
        *object = static_cast<IOleCommandTarget*>(this);
    } else if (riid == IID_IDispatch || riid == DIID_DWebBrowserEvents2) {
        *object = static_cast<IDispatch*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG BrowserSite::AddRef() { return ++references_; }

ULONG BrowserSite::Release() {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
}

HRESULT BrowserSite::GetContainer(IOleContainer** container) {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
}

HRESULT BrowserSite::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = window_;
    return S_OK;
}

HRESULT BrowserSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                      LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (frame) {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
    }
    if (document) *document = nullptr;
    const RECT area = events_.BrowserRect();
    if (position) *position = area;
    if (clip) *clip = area;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    return S_OK;
}

HRESULT BrowserSite::ShowContextMenu(DWORD, POINT* point, IUnknown*, IDispatch*) {
    // S_OK tells the control the host showed its menu, so the control's own never appears.
    POINT where{};
    if (point) {
        where = *point;
    } else {
        GetCursorPos(&where);
    }
    events_.OnContextMenu(where);
    return S_OK;
}

HRESULT BrowserSite::GetHostInfo(DOCHOSTUIINFO* info) {
    if (!info) return E_POINTER;
    info->cbSize = sizeof(DOCHOSTUIINFO);
    // DPI_AWARE scales the pages with the screen, as the window itself is scaled; THEME gives form
    // fields the look of the system.
    info->dwFlags = DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DPI_AWARE | DOCHOSTUIFLAG_THEME;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
}

HRESULT BrowserSite::GetOptionKeyPath(LPOLESTR* key, DWORD) {
    if (key) *key = nullptr;
    return S_FALSE;
}

HRESULT BrowserSite::GetExternal(IDispatch** dispatch) {
    if (dispatch) *dispatch = nullptr;
    return S_FALSE;
}

HRESULT BrowserSite::TranslateUrl(DWORD, LPWSTR, LPWSTR* out) {
    if (out) *out = nullptr;
    return S_FALSE;
}

HRESULT BrowserSite::FilterDataObject(IDataObject*, IDataObject** out) {
    if (out) *out = nullptr;
    return S_FALSE;
}

HRESULT BrowserSite::Exec(const GUID* group, DWORD command, DWORD, VARIANT* in, VARIANT* out) {
    if (!group || !IsEqualGUID(*group, kDocHostCommandGroup)) return OLECMDERR_E_UNKNOWNGROUP;
    if (command != OLECMDID_SHOWSCRIPTERROR) return OLECMDERR_E_NOTSUPPORTED;
    // The control hands over the page's document; the error is its window's current event, read by
    // name as the control's own error dialog reads it.
    Microsoft::WRL::ComPtr<IDispatch> document;
    if (in && (in->vt == VT_UNKNOWN || in->vt == VT_DISPATCH) && in->punkVal)
        in->punkVal->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(document.GetAddressOf()));
    Microsoft::WRL::ComPtr<IDispatch> event =
        ObjectProperty(ObjectProperty(document.Get(), L"parentWindow").Get(), L"event");
    events_.OnScriptError(TextProperty(event.Get(), L"errorMessage"), TextProperty(event.Get(), L"errorUrl"),
                          NumberProperty(event.Get(), L"errorLine"));
    // Handled, so no dialog; and the page's other scripts go on running.
    if (out) {
        VariantClear(out);
        out->vt = VT_BOOL;
        out->boolVal = VARIANT_TRUE;
    }
    return S_OK;
}

HRESULT BrowserSite::GetTypeInfoCount(UINT* count) {
    if (count) *count = 0;
    return S_OK;
}

bool BrowserSite::IsTopFrame(IDispatch* frame) const {
    if (!frame || !browser_) return false;
    Microsoft::WRL::ComPtr<IUnknown> identity;
    if (FAILED(frame->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf())))) return false;
    return identity.Get() == browser_;
}

HRESULT BrowserSite::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
    if (!params) return S_OK;
    // The arguments come last first.
    const auto argument = [params](UINT fromFirst, UINT count) -> const VARIANT& {
        return params->rgvarg[count - 1 - fromFirst];
    };
    const UINT count = params->cArgs;
    switch (member) {
    case DISPID_BEFORENAVIGATE2:
        if (count == 7) {
            const bool cancel =
                events_.OnBeforeNavigate(StringOf(argument(1, 7)), IsTopFrame(DispatchOf(argument(0, 7))));
            SetCancel(argument(6, 7), cancel);
        }
        break;
    case DISPID_NEWWINDOW3:
        // The link opens in this window instead, through the same rule as any other navigation.
        if (count == 5) {
            SetCancel(argument(1, 5), true);
            events_.OnNewWindow(StringOf(argument(4, 5)));
        }
        break;
    case DISPID_NAVIGATECOMPLETE2:
        if (count == 2) events_.OnNavigateComplete(StringOf(argument(1, 2)), IsTopFrame(DispatchOf(argument(0, 2))));
        break;
    case DISPID_DOCUMENTCOMPLETE:
        if (count == 2) events_.OnDocumentComplete(StringOf(argument(1, 2)), IsTopFrame(DispatchOf(argument(0, 2))));
        break;
    case DISPID_STATUSTEXTCHANGE:
        if (count == 1) events_.OnStatusText(StringOf(argument(0, 1)));
        break;
    case DISPID_COMMANDSTATECHANGE:
        if (count == 2) {
            const VARIANT& command = Plain(argument(0, 2));
            const VARIANT& enabled = Plain(argument(1, 2));
            if (command.vt == VT_I4 && enabled.vt == VT_BOOL)
                events_.OnCommandState(command.lVal, enabled.boolVal != VARIANT_FALSE);
        }
        break;
    default:
        break;
    }
    return S_OK;
}

} // namespace viewer
