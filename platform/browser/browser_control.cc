// browser_control.cc - the WebBrowser face every browser control shares: dispatch, events, class information, the client site and the deferred work of the message loop.
#include "platform/browser/browser_control.h"

#include <algorithm>

#include "platform/browser/web_browser.h"

#define CONNECT_E_NOCONNECTION MAKE_HRESULT_VALUE(0x80040200u)
#define CONNECT_E_CANNOTCONNECT MAKE_HRESULT_VALUE(0x80040202u)

namespace browser {

namespace {

// The real control loads pages asynchronously: Navigate returns first and DocumentComplete
// arrives later through the message loop. A hidden window per control carries that message and
// the engines' other deferred work, so that a control released before its message is pumped
// simply never acts on it (destroying a window drops its queued messages).
constexpr UINT kQueuedMessage = 0x8000 + 1;  // WM_APP + 1: private to this window class
constexpr UINT kDocumentComplete = 0;        // the `what` of our own DocumentComplete
constexpr char kEventsWindowClass[] = "BrowserControlEvents";

std::vector<WebBrowserControl *> &live_controls() {
  static auto *live = new std::vector<WebBrowserControl *>;  // never destroyed: controls may outlive statics
  return *live;
}

HWND create_events_window(WNDPROC proc) {
  static const bool registered = [proc] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = kEventsWindowClass;
    return RegisterClassA(&wc) != 0;
  }();
  if (!registered) return nullptr;
  // Never shown, never active: a popup without WS_VISIBLE that only receives posted messages.
  return CreateWindowExA(0, kEventsWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

// wParam: 0 for DocumentComplete, else the engine's `what` + 1; lParam: the control.
LRESULT WebBrowserControl::EventsWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kQueuedMessage) return DefWindowProcA(hwnd, message, wParam, lParam);
  for (WebBrowserControl *control : live_controls()) {
    if (reinterpret_cast<LPARAM>(control) != lParam) continue;
    if (wParam == kDocumentComplete)
      control->RaiseDocumentComplete();
    else
      control->OnQueued(static_cast<UINT>(wParam - 1));
  }
  return 0;
}

WebBrowserControl::WebBrowserControl() : m_hwndEvents(create_events_window(&EventsWindowProc)) {
  m_container.outer = this;
  m_point.outer = this;
  m_classInfo.outer = this;
  m_oleObject.outer = this;
  live_controls().push_back(this);
}

WebBrowserControl::~WebBrowserControl() {
  auto &live = live_controls();
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  for (auto &[cookie, sink] : m_sinks) sink->Release();
  if (m_pClientSite != nullptr) m_pClientSite->Release();
  if (m_hwndEvents != nullptr) DestroyWindow(m_hwndEvents);
}

const std::vector<WebBrowserControl *> &WebBrowserControl::Live() { return live_controls(); }

HRESULT WebBrowserControl::QueryInterface(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IConnectionPointContainer) {
    *ppv = static_cast<IConnectionPointContainer *>(&m_container);
  } else if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
    *ppv = static_cast<IProvideClassInfo2 *>(&m_classInfo);
  } else if (riid == IID_IOleObject) {
    *ppv = static_cast<IOleObject *>(&m_oleObject);
  } else {
    return QueryDispatch(riid, ppv);
  }
  AddRef();
  return S_OK;
}

HRESULT WebBrowserControl::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result,
                                  EXCEPINFO *, UINT *puArgErr) {
  if (dispid == DISPID_WEBBROWSER_NAVIGATE) {
    HRESULT hr = expect_call(params, wFlags, DISPATCH_METHOD, 5);
    BSTR url = nullptr;
    if (SUCCEEDED(hr)) hr = bstr_argument(params, 0, &url, puArgErr);
    if (FAILED(hr) || FAILED(hr = AdmitCall(dispid))) return hr;
    m_url = bstr_text(url);
    return Navigate(m_url);
  }
  if (dispid != DISPID_WEBBROWSER_DOCUMENT) return DISP_E_MEMBERNOTFOUND;
  HRESULT hr = expect_call(params, wFlags, DISPATCH_PROPERTYGET, 0);
  if (FAILED(hr) || FAILED(hr = AdmitCall(dispid))) return hr;
  IDispatch *document = Document();
  return_dispatch(document, result);
  if (document != nullptr) document->Release();
  return S_OK;
}

bool WebBrowserControl::Queue(UINT what) {
  return m_hwndEvents != nullptr &&
         PostMessageA(m_hwndEvents, kQueuedMessage, what + 1, reinterpret_cast<LPARAM>(this)) != FALSE;
}

bool WebBrowserControl::QueueDocumentComplete() {
  return m_hwndEvents != nullptr &&
         PostMessageA(m_hwndEvents, kQueuedMessage, kDocumentComplete, reinterpret_cast<LPARAM>(this)) != FALSE;
}

// DocumentComplete(pDisp, URL): arguments last first, the URL as a VARIANT by reference.
void WebBrowserControl::RaiseDocumentComplete() {
  AddRef();  // a sink may release the control while the event is being raised
  std::vector<IDispatch *> sinks;
  for (auto &[cookie, sink] : m_sinks) {
    sink->AddRef();
    sinks.push_back(sink);
  }
  VARIANT url;
  VariantInit(&url);
  url.vt = VT_BSTR;
  url.bstrVal = SysAllocStringLen(m_url.data(), static_cast<UINT>(m_url.size()));
  VARIANT args[2];
  VariantInit(&args[0]);
  VariantInit(&args[1]);
  args[0].vt = VT_VARIANT | VT_BYREF;
  args[0].pvarVal = &url;
  args[1].vt = VT_DISPATCH;
  args[1].pdispVal = this;
  DISPPARAMS params{args, nullptr, 2, 0};
  for (IDispatch *sink : sinks) {
    sink->Invoke(DISPID_DOCUMENTCOMPLETE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                 nullptr);
    sink->Release();
  }
  VariantClear(&url);
  Release();
}

HRESULT WebBrowserControl::Container::FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) {
  if (ppCP == nullptr) return E_POINTER;
  *ppCP = nullptr;
  if (riid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
  *ppCP = &outer->m_point;
  outer->AddRef();
  return S_OK;
}

HRESULT WebBrowserControl::EventsPoint::QueryInterface(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *ppv = static_cast<IConnectionPoint *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT WebBrowserControl::EventsPoint::GetConnectionInterface(IID *pIID) {
  if (pIID == nullptr) return E_POINTER;
  *pIID = DIID_DWebBrowserEvents2;
  return S_OK;
}

HRESULT WebBrowserControl::EventsPoint::GetConnectionPointContainer(IConnectionPointContainer **ppCPC) {
  if (ppCPC == nullptr) return E_POINTER;
  *ppCPC = &outer->m_container;
  outer->AddRef();
  return S_OK;
}

HRESULT WebBrowserControl::EventsPoint::Advise(IUnknown *pUnkSink, DWORD *pdwCookie) {
  if (pUnkSink == nullptr || pdwCookie == nullptr) return E_POINTER;
  *pdwCookie = 0;
  void *sink = nullptr;
  if (FAILED(pUnkSink->QueryInterface(DIID_DWebBrowserEvents2, &sink)) &&
      FAILED(pUnkSink->QueryInterface(IID_IDispatch, &sink)))
    return CONNECT_E_CANNOTCONNECT;
  *pdwCookie = outer->m_nextCookie++;
  outer->m_sinks[*pdwCookie] = static_cast<IDispatch *>(sink);
  return S_OK;
}

HRESULT WebBrowserControl::EventsPoint::Unadvise(DWORD dwCookie) {
  auto found = outer->m_sinks.find(dwCookie);
  if (found == outer->m_sinks.end()) return CONNECT_E_NOCONNECTION;
  IDispatch *sink = found->second;
  outer->m_sinks.erase(found);
  sink->Release();
  return S_OK;
}

HRESULT WebBrowserControl::OleObject::SetClientSite(IOleClientSite *pClientSite) {
  if (pClientSite != nullptr) pClientSite->AddRef();
  if (outer->m_pClientSite != nullptr) outer->m_pClientSite->Release();
  outer->m_pClientSite = pClientSite;
  outer->m_hwndSite = nullptr;
  void *pv = nullptr;
  if (pClientSite != nullptr && SUCCEEDED(pClientSite->QueryInterface(IID_IOleWindow, &pv))) {
    auto *pWindow = static_cast<IOleWindow *>(pv);
    HWND hwnd = nullptr;
    if (SUCCEEDED(pWindow->GetWindow(&hwnd))) outer->m_hwndSite = hwnd;
    pWindow->Release();
  }
  outer->SiteWindowChanged(outer->m_hwndSite);
  return S_OK;
}

HRESULT WebBrowserControl::OleObject::GetClientSite(IOleClientSite **ppClientSite) {
  if (ppClientSite == nullptr) return E_POINTER;
  *ppClientSite = outer->m_pClientSite;
  if (*ppClientSite != nullptr) (*ppClientSite)->AddRef();
  return S_OK;
}

HRESULT WebBrowserControl::ClassInfo::GetClassInfo(ITypeInfo **ppTI) {
  if (ppTI != nullptr) *ppTI = nullptr;
  return E_NOTIMPL;
}

HRESULT WebBrowserControl::ClassInfo::GetGUID(DWORD dwGuidKind, GUID *pGUID) {
  if (pGUID == nullptr) return E_POINTER;
  if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *pGUID = DIID_DWebBrowserEvents2;
  return S_OK;
}

HRESULT BrowserFactory::QueryInterface(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *ppv = static_cast<IClassFactory *>(this);
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT BrowserFactory::CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  WebBrowserControl *control = nullptr;
  HRESULT hr = m_make(&control);
  if (FAILED(hr)) return hr;
  hr = control->QueryInterface(riid, ppv);
  control->Release();
  return hr;
}

bool register_browser_factory(BrowserFactory &factory) {
  DWORD cookie = 0;
  return SUCCEEDED(
      CoRegisterClassObject(CLSID_WebBrowser, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie));
}

}  // namespace browser
