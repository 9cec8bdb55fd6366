// Browser boxes: a host window of our own holding the system WebBrowser
// control, in-place active, through a small OLE container (client site,
// in-place site and frame) and an event sink for its notifications.
//
// Text size: the control's zoom command, steps 0..4 (smallest to largest),
// set at creation and again on each page, as a new page starts at the
// control's own size. Offline and Silent are the control's properties.
#include "platform/win32/backend.h"

#include <exdisp.h>
#include <exdispid.h>
#include <ocidl.h>
#include <ole2.h>

#include <algorithm>
#include <utility>

using platform::BrowserNotice;
using platform::Window;

namespace win32_backend {

class Browser final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    Browser(Window* box, int zoom_step) : m_box(box), m_zoom(zoom_step) {}

    // Creates the control in the box and starts the navigation; false when
    // any step failed (what was made is released by close()).
    bool open(const platform::BrowserSettings& settings)
    {
        HWND host = m_box->hwnd;
        RECT r{};
        GetClientRect(host, &r);
        if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                    reinterpret_cast<void**>(&m_object)))
            || FAILED(m_object->SetClientSite(this))
            || FAILED(m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, this, 0, host, &r))
            || FAILED(m_object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&m_browser)))
            || FAILED(m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_in_place)))
            || !connect_events())
            return false;
        // Keys for the page go through the control's accelerators; optional.
        m_object->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void**>(&m_active));
        m_browser->put_Offline(settings.offline ? VARIANT_TRUE : VARIANT_FALSE);
        m_browser->put_Silent(settings.silent ? VARIANT_TRUE : VARIANT_FALSE);
        // Refused by some versions while no page is loaded; set again on each page.
        apply_zoom();
        if (settings.url.empty())
            return true;
        BSTR url = SysAllocString(wide(settings.url).c_str());
        VARIANT flags, none;
        VariantInit(&flags);
        VariantInit(&none);
        flags.vt = VT_I4;
        flags.lVal = 0;
        HRESULT hr = m_browser->Navigate(url, &flags, &none, &none, &none);
        SysFreeString(url);
        return SUCCEEDED(hr);
    }

    // Disconnects from the box and releases every reference to the control.
    void close()
    {
        m_box = nullptr;
        if (m_point) {
            m_point->Unadvise(m_cookie);
            release(m_point);
        }
        release(m_browser);
        if (m_object) {
            m_object->Close(OLECLOSE_NOSAVE);
            m_object->SetClientSite(nullptr);
        }
        release(m_active);
        release(m_in_place);
        release(m_object);
    }

    void resize(int width, int height)
    {
        RECT r{0, 0, width, height};
        if (m_in_place)
            m_in_place->SetObjectRects(&r, &r);
    }

    void take_focus()
    {
        if (m_focusing || !m_object)
            return;
        m_focusing = true;
        HWND host = m_box->hwnd;
        RECT r{};
        GetClientRect(host, &r);
        m_object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, this, 0, host, &r);
        // Without a page there is nothing to activate: the control's window takes it.
        HWND inner = nullptr;
        if (GetFocus() == host && m_in_place && SUCCEEDED(m_in_place->GetWindow(&inner)) && inner)
            SetFocus(inner);
        m_focusing = false;
    }

    bool translate(MSG* m) { return m_active && m_active->TranslateAccelerator(m) == S_OK; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG n = InterlockedDecrement(&m_refs);
        if (n == 0)
            delete this;
        return static_cast<ULONG>(n);
    }

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, for the site and the frame alike: the host window.
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override
    {
        *out = m_box ? m_box->hwnd : nullptr;
        return *out ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return m_box ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position,
                                               LPRECT clip, LPOLEINPLACEFRAMEINFO info) override
    {
        *frame = this;
        AddRef();
        *document = nullptr;
        HWND host = m_box ? m_box->hwnd : nullptr;
        GetClientRect(host, position);
        *clip = *position;
        info->fMDIApp = FALSE;
        info->hwndFrame = host ? GetAncestor(host, GA_ROOT) : nullptr;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override
    {
        // The control fills the host, whatever it asks for.
        if (m_box) {
            RECT r{};
            GetClientRect(m_box->hwnd, &r);
            resize(r.right, r.bottom);
        }
        return S_OK;
    }

    // IOleInPlaceUIWindow: no tool space to give.
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }

    // IOleInPlaceFrame: no menus, no status bar, no accelerators of our own.
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    // The DWebBrowserEvents2 sink; lives inside the browser and shares its count.
    class Events final : public IDispatch {
    public:
        explicit Events(Browser* owner) : m_owner(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
        {
            if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
                *out = static_cast<IDispatch*>(this);
                AddRef();
                return S_OK;
            }
            *out = nullptr;
            return E_NOINTERFACE;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return m_owner->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return m_owner->Release(); }
        HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
        {
            *count = 0;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                         UINT*) override
        {
            // The listener may destroy the box: the browser lives until we return.
            m_owner->AddRef();
            m_owner->on_event(id, params);
            m_owner->Release();
            return S_OK;
        }

    private:
        Browser* m_owner;
    };

    ~Browser() = default;

    template <typename T>
    static void release(T*& p)
    {
        if (p)
            p->Release();
        p = nullptr;
    }

    bool connect_events()
    {
        IConnectionPointContainer* points = nullptr;
        if (FAILED(m_browser->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&points))))
            return false;
        HRESULT hr = points->FindConnectionPoint(DIID_DWebBrowserEvents2, &m_point);
        points->Release();
        if (SUCCEEDED(hr) && FAILED(hr = m_point->Advise(&m_events, &m_cookie)))
            release(m_point);
        return SUCCEEDED(hr);
    }

    void apply_zoom()
    {
        VARIANT step;
        VariantInit(&step);
        step.vt = VT_I4;
        step.lVal = m_zoom;
        m_browser->ExecWB(OLECMDID_ZOOM, OLECMDEXECOPT_DONTPROMPTUSER, &step, nullptr);
    }

    // An event's parameter by its place in the declaration (they arrive reversed).
    static VARIANT* param(DISPPARAMS* p, UINT place)
    {
        return p && place < p->cArgs ? &p->rgvarg[p->cArgs - 1 - place] : nullptr;
    }

    static std::string text(DISPPARAMS* p, UINT place)
    {
        VARIANT* v = param(p, place);
        std::string out;
        VARIANT copy;
        VariantInit(&copy);
        if (v && SUCCEEDED(VariantCopyInd(&copy, v)) && SUCCEEDED(VariantChangeType(&copy, &copy, 0, VT_BSTR))
            && copy.bstrVal)
            out = utf8(copy.bstrVal, static_cast<int>(SysStringLen(copy.bstrVal)));
        VariantClear(&copy);
        return out;
    }

    static long number(DISPPARAMS* p, UINT place)
    {
        VARIANT* v = param(p, place);
        VARIANT copy;
        VariantInit(&copy);
        long out = 0;
        if (v && SUCCEEDED(VariantCopyInd(&copy, v)) && SUCCEEDED(VariantChangeType(&copy, &copy, 0, VT_I4)))
            out = copy.lVal;
        VariantClear(&copy);
        return out;
    }

    static void cancel(DISPPARAMS* p, UINT place)
    {
        VARIANT* v = param(p, place);
        if (v && v->vt == (VT_BYREF | VT_BOOL) && v->pboolVal)
            *v->pboolVal = VARIANT_TRUE;
    }

    static int percent(long progress, long maximum)
    {
        if (progress < 0)
            return 100;   // the control's "done"
        if (maximum <= 0)
            return 0;
        return static_cast<int>(std::min<long long>(100, progress * 100LL / maximum));
    }

    bool is_top_frame(DISPPARAMS* p)
    {
        VARIANT* v = param(p, 0);
        if (!v || v->vt != VT_DISPATCH || !v->pdispVal || !m_browser)
            return false;
        IUnknown *a = nullptr, *b = nullptr;
        v->pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a));
        m_browser->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b));
        bool same = a && a == b;
        release(a);
        release(b);
        return same;
    }

    // False when the listener answers "no".
    bool notify(BrowserNotice notice, const std::string& text = {}, int number = 0, bool flag = false)
    {
        platform::WindowListener* l = m_box ? m_box->listener : nullptr;
        return l ? l->on_browser(notice, text, number, flag) : true;
    }

    void on_event(DISPID id, DISPPARAMS* p)
    {
        switch (id) {
        case DISPID_BEFORENAVIGATE2:   // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
            if (!notify(BrowserNotice::BeforeNavigate, text(p, 1)))
                cancel(p, 6);
            break;
        case DISPID_NAVIGATECOMPLETE2:   // (pDisp, URL)
            notify(BrowserNotice::NavigateComplete, text(p, 1));
            break;
        case DISPID_DOWNLOADBEGIN: notify(BrowserNotice::DownloadBegin); break;
        case DISPID_PROGRESSCHANGE:   // (Progress, ProgressMax)
            notify(BrowserNotice::ProgressChange, {}, percent(number(p, 0), number(p, 1)));
            break;
        case DISPID_DOWNLOADCOMPLETE: notify(BrowserNotice::DownloadComplete); break;
        case DISPID_DOCUMENTCOMPLETE:   // (pDisp, URL)
            if (is_top_frame(p))
                apply_zoom();
            notify(BrowserNotice::DocumentComplete, text(p, 1));
            break;
        case DISPID_STATUSTEXTCHANGE: notify(BrowserNotice::StatusTextChange, text(p, 0)); break;
        case DISPID_TITLECHANGE: notify(BrowserNotice::TitleChange, text(p, 0)); break;
        case DISPID_COMMANDSTATECHANGE: {   // (Command, Enable); others than back and forward are not ours
            long command = number(p, 0);
            if (command == CSC_NAVIGATEBACK || command == CSC_NAVIGATEFORWARD)
                notify(BrowserNotice::CommandStateChange, {}, command == CSC_NAVIGATEBACK ? 1 : 2, number(p, 1) != 0);
            break;
        }
        case DISPID_NEWWINDOW2:   // (ppDisp, Cancel): no address yet; NewWindow3 follows with it
            break;
        case DISPID_NEWWINDOW3:   // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl)
            if (!notify(BrowserNotice::NewWindow, text(p, 4)))
                cancel(p, 1);
            break;
        }
    }

    LONG m_refs = 1;
    Window* m_box;
    int m_zoom;
    bool m_focusing = false;
    Events m_events{this};
    IOleObject* m_object = nullptr;
    IOleInPlaceObject* m_in_place = nullptr;
    IOleInPlaceActiveObject* m_active = nullptr;
    IWebBrowser2* m_browser = nullptr;
    IConnectionPoint* m_point = nullptr;
    DWORD m_cookie = 0;
};

LRESULT browser_host_message(Window* box, UINT msg, WPARAM, LPARAM lp, bool* handled)
{
    Browser* b = box->browser;
    if (!b)
        return 0;
    switch (msg) {
    case WM_SIZE:
        b->resize(LOWORD(lp), HIWORD(lp));
        *handled = true;
        return 0;
    case WM_SETFOCUS:
        b->take_focus();
        *handled = true;
        return 0;
    }
    return 0;
}

bool browser_translate_key(Window* box, MSG* m)
{
    return box->browser && box->browser->translate(m);
}

void close_browser(Window* box)
{
    if (Browser* b = std::exchange(box->browser, nullptr)) {
        b->close();
        b->Release();
    }
}

}  // namespace win32_backend

namespace platform {

Window* create_browser(Window* parent, Rect r, const ChildStyle& style, const BrowserSettings& settings,
                       WindowListener* listener)
{
    using namespace win32_backend;
    Window* w = create_child(parent, Type::Browser, kBrowserHostClass, L"", WS_CLIPCHILDREN, 0, r, style, listener);
    if (!w)
        return nullptr;
    w->browser = new Browser(w, std::clamp(settings.zoom_step, 0, 4));
    if (!w->browser->open(settings)) {
        destroy(w);
        return nullptr;
    }
    return w;
}

}  // namespace platform
