// browser_object.cc - the stand-in's WebBrowser object: Navigate and Document, DocumentComplete raised through the thread's message queue, and the page shown as text in its site's window.
#include <algorithm>

#include "platform/browser/browser_objects.h"
#include "platform/browser/html_text.h"

#define CONNECT_E_NOCONNECTION MAKE_HRESULT_VALUE(0x80040200u)
#define CONNECT_E_CANNOTCONNECT MAKE_HRESULT_VALUE(0x80040202u)

namespace headless_browser {

namespace {

// The real control loads pages asynchronously: Navigate returns first and DocumentComplete
// arrives later through the message loop. A hidden window per browser carries that message, so
// that a browser released before its message is pumped simply never raises it (destroying a
// window drops its queued messages). The same window carries the repaint of the page's text,
// which, as a real browser's painting, waits for the loop: a page filled in many pieces is
// rendered once, not once per piece.
constexpr UINT kDocumentCompleteMessage = 0x8000 + 1;  // WM_APP + 1: private to this window class
constexpr UINT kShowBodyMessage = 0x8000 + 2;
constexpr char kEventsWindowClass[] = "HeadlessBrowserEvents";

LRESULT events_window_proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kDocumentCompleteMessage && message != kShowBodyMessage)
    return DefWindowProcA(hwnd, message, wParam, lParam);
  for (WebBrowser *browser : settings().live) {
    if (reinterpret_cast<LPARAM>(browser) != lParam) continue;
    if (message == kDocumentCompleteMessage)
      browser->RaiseDocumentComplete();
    else
      browser->ShowBody();
  }
  return 0;
}

HWND create_events_window() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = events_window_proc;
    wc.lpszClassName = kEventsWindowClass;
    return RegisterClassA(&wc) != 0;
  }();
  if (!registered) return nullptr;
  // Never shown, never active: a popup without WS_VISIBLE that only receives posted messages.
  return CreateWindowExA(0, kEventsWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

WebBrowser::WebBrowser() : m_hwndEvents(create_events_window()) {
  m_container.outer = this;
  m_point.outer = this;
  m_classInfo.outer = this;
  m_oleObject.outer = this;
  settings().live.push_back(this);
}

WebBrowser::~WebBrowser() {
  auto &live = settings().live;
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
  for (auto &[cookie, sink] : m_sinks) sink->Release();
  if (m_pClientSite != nullptr) m_pClientSite->Release();
  if (m_document != nullptr) m_document->Release();
  if (m_hwndEvents != nullptr) DestroyWindow(m_hwndEvents);
}

HRESULT WebBrowser::QueryInterface(REFIID riid, void **ppv) {
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

HRESULT WebBrowser::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result,
                           EXCEPINFO *, UINT *puArgErr) {
  if (dispid == DISPID_WEBBROWSER_NAVIGATE) return Navigate(params, wFlags, puArgErr);
  if (dispid != DISPID_WEBBROWSER_DOCUMENT) return DISP_E_MEMBERNOTFOUND;
  HRESULT hr = expect_call(params, wFlags, DISPATCH_PROPERTYGET, 0);
  if (FAILED(hr) || FAILED(hr = injected_failure(dispid))) return hr;
  if (result == nullptr) return S_OK;
  VariantInit(result);
  result->vt = VT_DISPATCH;
  result->pdispVal = settings().null_document ? nullptr : m_document;
  if (result->pdispVal != nullptr) result->pdispVal->AddRef();
  return S_OK;
}

// Navigate(URL, Flags, TargetFrameName, PostData, Headers): the four optional arguments are
// accepted and ignored; every URL loads an empty page, as "about:blank" does.
HRESULT WebBrowser::Navigate(DISPPARAMS *params, WORD wFlags, UINT *puArgErr) {
  HRESULT hr = expect_call(params, wFlags, DISPATCH_METHOD, 5);
  BSTR url = nullptr;
  if (SUCCEEDED(hr)) hr = bstr_argument(params, 0, &url, puArgErr);
  if (FAILED(hr) || FAILED(hr = injected_failure(DISPID_WEBBROWSER_NAVIGATE))) return hr;

  if (m_document != nullptr) m_document->Release();
  m_document = new HtmlDocument;
  m_url = bstr_text(url);
  settings().navigations.push_back(m_url);
  ShowBody();
  return QueueDocumentComplete() ? S_OK : E_UNEXPECTED;
}

void WebBrowser::ShowBody() {
  m_showQueued = false;
  if (m_hwndHost == nullptr) return;
  SetWindowTextA(m_hwndHost, m_document != nullptr ? html_text(m_document->body().html()).c_str() : "");
}

void WebBrowser::QueueShowBody() {
  if (m_showQueued || m_hwndHost == nullptr || m_hwndEvents == nullptr) return;
  m_showQueued = PostMessageA(m_hwndEvents, kShowBodyMessage, 0, reinterpret_cast<LPARAM>(this)) != FALSE;
}

void body_changed(const HtmlBody &body) {
  for (WebBrowser *browser : settings().live)
    if (browser->document() != nullptr && &browser->document()->body() == &body) browser->QueueShowBody();
}

bool WebBrowser::QueueDocumentComplete() {
  if (m_document == nullptr || m_hwndEvents == nullptr) return false;
  return PostMessageA(m_hwndEvents, kDocumentCompleteMessage, 0, reinterpret_cast<LPARAM>(this)) != FALSE;
}

// DocumentComplete(pDisp, URL): arguments last first, the URL as a VARIANT by reference.
void WebBrowser::RaiseDocumentComplete() {
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
  ++settings().completions;
  for (IDispatch *sink : sinks) {
    sink->Invoke(DISPID_DOCUMENTCOMPLETE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                 nullptr);
    sink->Release();
  }
  VariantClear(&url);
  Release();
}

HRESULT WebBrowser::Container::FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) {
  if (ppCP == nullptr) return E_POINTER;
  *ppCP = nullptr;
  if (riid != DIID_DWebBrowserEvents2) return CONNECT_E_NOCONNECTION;
  *ppCP = &outer->m_point;
  outer->AddRef();
  return S_OK;
}

HRESULT WebBrowser::EventsPoint::QueryInterface(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *ppv = static_cast<IConnectionPoint *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

HRESULT WebBrowser::EventsPoint::GetConnectionInterface(IID *pIID) {
  if (pIID == nullptr) return E_POINTER;
  *pIID = DIID_DWebBrowserEvents2;
  return S_OK;
}

HRESULT WebBrowser::EventsPoint::GetConnectionPointContainer(IConnectionPointContainer **ppCPC) {
  if (ppCPC == nullptr) return E_POINTER;
  *ppCPC = &outer->m_container;
  outer->AddRef();
  return S_OK;
}

HRESULT WebBrowser::EventsPoint::Advise(IUnknown *pUnkSink, DWORD *pdwCookie) {
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

HRESULT WebBrowser::EventsPoint::Unadvise(DWORD dwCookie) {
  auto found = outer->m_sinks.find(dwCookie);
  if (found == outer->m_sinks.end()) return CONNECT_E_NOCONNECTION;
  IDispatch *sink = found->second;
  outer->m_sinks.erase(found);
  sink->Release();
  return S_OK;
}

HRESULT WebBrowser::OleObject::SetClientSite(IOleClientSite *pClientSite) {
  if (pClientSite != nullptr) pClientSite->AddRef();
  if (outer->m_pClientSite != nullptr) outer->m_pClientSite->Release();
  outer->m_pClientSite = pClientSite;
  outer->m_hwndHost = nullptr;
  void *pv = nullptr;
  if (pClientSite == nullptr || FAILED(pClientSite->QueryInterface(IID_IOleWindow, &pv))) return S_OK;
  auto *pWindow = static_cast<IOleWindow *>(pv);
  HWND hwnd = nullptr;
  if (SUCCEEDED(pWindow->GetWindow(&hwnd))) outer->m_hwndHost = hwnd;
  pWindow->Release();
  outer->ShowBody();
  return S_OK;
}

HRESULT WebBrowser::OleObject::GetClientSite(IOleClientSite **ppClientSite) {
  if (ppClientSite == nullptr) return E_POINTER;
  *ppClientSite = outer->m_pClientSite;
  if (*ppClientSite != nullptr) (*ppClientSite)->AddRef();
  return S_OK;
}

HRESULT WebBrowser::ClassInfo::GetClassInfo(ITypeInfo **ppTI) {
  if (ppTI != nullptr) *ppTI = nullptr;
  return E_NOTIMPL;
}

HRESULT WebBrowser::ClassInfo::GetGUID(DWORD dwGuidKind, GUID *pGUID) {
  if (pGUID == nullptr) return E_POINTER;
  if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
  *pGUID = DIID_DWebBrowserEvents2;
  return S_OK;
}

}  // namespace headless_browser
