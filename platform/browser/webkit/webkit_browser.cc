// webkit_browser.cc - the WebBrowser control on WebKitGTK: the page in the host window, DocumentComplete when it has loaded, and the document and body the preview fills and measures.
#include "platform/browser/webkit/webkit_browser.h"

#include <strings.h>

#include "platform/browser/browser_control.h"
#include "platform/browser/web_browser.h"
#include "platform/browser/webkit/web_page.h"
#include "platform/codepage/utf8.h"
#include "platform/windows/gtk/desktop.h"

namespace browser::webkit {

namespace {

class Browser;

// An object of the page, which keeps its browser, and so the page, alive.
class PageObject : public DispatchObject {
 protected:
  explicit PageObject(Browser *browser);
  ~PageObject() override;
  Browser *m_browser;  // one reference
};

// The body element. Insertions at its end are parsed once per filling: all the pieces inserted
// before the message loop runs again, or before the page is next read, go to the engine
// together.
class Body : public PageObject {
 public:
  explicit Body(Browser *browser) : PageObject(browser) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override { return QueryDispatch(riid, ppv); }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                 UINT *puArgErr) override;
};

// The document: IHTMLDocument2's body.
class Document : public PageObject {
 public:
  explicit Document(Browser *browser) : PageObject(browser) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                 UINT *puArgErr) override;
};

class Browser : public WebBrowserControl {
 public:
  Browser() : m_page([this] { QueueDocumentComplete(); }) {}
  WebPage &Page() { return m_page; }
  // Parses the current filling when the loop runs again.
  void QueueFlush() { Queue(kFlush); }

 protected:
  // The preview shows its own empty page only: any other address is refused.
  HRESULT Navigate(const std::u16string &url) override {
    if (url != u"about:blank") return E_INVALIDARG;
    m_page.load_blank();
    return S_OK;
  }
  IDispatch *Document() override { return m_page.broken() ? nullptr : new webkit::Document(this); }
  void SiteWindowChanged(HWND hwnd) override {
    if (m_hwndShown != nullptr) winsys::detach_native_view(m_hwndShown);
    m_hwndShown = hwnd;
    if (hwnd != nullptr) winsys::attach_native_view(hwnd, m_page.widget());
  }
  void OnQueued(UINT what) override {
    if (what == kFlush) m_page.flush();
  }

 private:
  static constexpr UINT kFlush = 1;
  ~Browser() override {
    if (m_hwndShown != nullptr) winsys::detach_native_view(m_hwndShown);
  }

  WebPage m_page;
  HWND m_hwndShown = nullptr;
};

PageObject::PageObject(Browser *browser) : m_browser(browser) { m_browser->AddRef(); }
PageObject::~PageObject() { m_browser->Release(); }

HRESULT Body::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                     UINT *puArgErr) {
  ElementCall call;
  const HRESULT hr = parse_element_call(dispid, wFlags, params, &call, puArgErr);
  if (FAILED(hr)) return hr;
  if (dispid == DISPID_HTMLELEMENT_INSERTADJACENTHTML) {
    // Only the position the preview uses; the others would insert outside the filling.
    if (strcasecmp(codepage::utf8_from_utf16(call.first).c_str(), "beforeEnd") != 0) return E_INVALIDARG;
    if (m_browser->Page().broken()) return E_FAIL;
    if (m_browser->Page().append_html(call.html)) m_browser->QueueFlush();
    return S_OK;
  }
  VARIANT value;
  const HRESULT read = m_browser->Page().body_property(call.first, &value);
  if (FAILED(read)) return read;
  if (result != nullptr)
    *result = value;
  else
    VariantClear(&value);
  return S_OK;
}

HRESULT Document::QueryInterface(REFIID riid, void **ppv) {
  if (ppv != nullptr && riid == IID_IHTMLDocument2) {
    *ppv = static_cast<IDispatch *>(this);
    AddRef();
    return S_OK;
  }
  return QueryDispatch(riid, ppv);
}

HRESULT Document::Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                         UINT *) {
  if (dispid != DISPID_HTMLDOCUMENT_BODY) return DISP_E_MEMBERNOTFOUND;
  const HRESULT hr = expect_call(params, wFlags, DISPATCH_PROPERTYGET, 0);
  if (FAILED(hr)) return hr;
  Body *body = new Body(m_browser);
  return_dispatch(body, result);
  body->Release();
  return S_OK;
}

HRESULT make_browser(WebBrowserControl **control) {
  *control = new Browser;
  return S_OK;
}

}  // namespace

}  // namespace browser::webkit

void register_webkit_browser() {
  static browser::BrowserFactory factory(browser::webkit::make_browser);
  static const bool registered = browser::register_browser_factory(factory);
  (void)registered;
}
