// browser_object.cc - the stand-in's WebBrowser control: an empty page per Navigate, DocumentComplete queued at once, and the page shown as text in its site's window.
#include "platform/browser/browser_objects.h"
#include "platform/browser/html_text.h"

namespace headless_browser {

WebBrowser::~WebBrowser() {
  if (m_document != nullptr) m_document->Release();
}

std::vector<WebBrowser *> live_browsers_list() {
  std::vector<WebBrowser *> browsers;
  for (browser::WebBrowserControl *control : browser::WebBrowserControl::Live())
    if (auto *headless = dynamic_cast<WebBrowser *>(control)) browsers.push_back(headless);
  return browsers;
}

HRESULT WebBrowser::Navigate(const std::u16string &url) {
  if (m_document != nullptr) m_document->Release();
  m_document = new HtmlDocument;
  settings().navigations.push_back(url);
  ShowBody();
  return QueueDocumentComplete() ? S_OK : E_UNEXPECTED;
}

IDispatch *WebBrowser::Document() {
  if (settings().null_document || m_document == nullptr) return nullptr;
  m_document->AddRef();
  return m_document;
}

void WebBrowser::SiteWindowChanged(HWND) { ShowBody(); }

void WebBrowser::RaiseDocumentComplete() {
  ++settings().completions;
  WebBrowserControl::RaiseDocumentComplete();
}

void WebBrowser::ShowBody() {
  m_showQueued = false;
  if (SiteWindow() == nullptr) return;
  SetWindowTextA(SiteWindow(), m_document != nullptr ? html_text(m_document->body().html()).c_str() : "");
}

void WebBrowser::QueueShowBody() {
  if (m_showQueued || SiteWindow() == nullptr) return;
  m_showQueued = Queue(0);
}

void body_changed(const HtmlBody &body) {
  for (WebBrowser *browser : live_browsers_list())
    if (browser->document() != nullptr && &browser->document()->body() == &body) browser->QueueShowBody();
}

}  // namespace headless_browser
