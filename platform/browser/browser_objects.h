// browser_objects.h - the headless stand-in's COM objects and the process-wide settings and records they share (internal to platform/browser).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/browser/browser_control.h"
#include "platform/browser/headless_browser.h"

namespace headless_browser {

class WebBrowser;

// The settings tests choose and what the objects recorded; one per process, used on the
// user-interface thread only.
struct Settings {
  HRESULT creation_result = S_OK;
  bool null_document = false;
  bool null_body = false;
  bool refuse_document_interface = false;
  VARIANT scroll_width{};
  VARIANT scroll_height{};
  struct Failure {
    HRESULT hr;
    int successes_left;
  };
  std::map<DISPID, Failure> failures;

  bool record_insertions = false;
  std::vector<Insertion> insertions;
  std::vector<std::u16string> navigations;
  int completions = 0;
};
Settings &settings();

// S_OK, or the injected failure for this call of dispid (counting the call).
HRESULT injected_failure(DISPID dispid);

// The headless browsers alive, in creation order.
std::vector<WebBrowser *> live_browsers_list();

// The body element: holds the inserted HTML and answers the measured scroll sizes.
class HtmlBody : public browser::DispatchObject {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override { return QueryDispatch(riid, ppv); }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                 UINT *puArgErr) override;
  const std::string &html() const { return m_html; }  // UTF-8, which holds a page in the least memory

 private:
  std::string m_html;
};

// The document loaded by a Navigate; owns one reference to its body.
class HtmlDocument : public browser::DispatchObject {
 public:
  HtmlDocument() : m_body(new HtmlBody) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                 UINT *puArgErr) override;
  const HtmlBody &body() const { return *m_body; }

 private:
  ~HtmlDocument() override { m_body->Release(); }
  HtmlBody *m_body;
};

// Queues the showing of the body's new content in the window of the live browser whose page it
// is, if any.
void body_changed(const HtmlBody &body);

// The stand-in's WebBrowser control. Every URL loads an empty page, as "about:blank" does. The
// window its container's site names shows the page's content as plain text (html_text): set at
// once when the site is given and on Navigate, and through the message loop after insertions; a
// terminal draws it.
class WebBrowser : public browser::WebBrowserControl {
 public:
  void RaiseDocumentComplete() override;
  // The loaded document, or null before the first Navigate.
  const HtmlDocument *document() const { return m_document; }
  // Sets the host window's text to the page's content; nothing without a host window.
  void ShowBody();
  // The same once the thread's queue is pumped; at most one is queued at a time.
  void QueueShowBody();

 protected:
  HRESULT Navigate(const std::u16string &url) override;
  IDispatch *Document() override;
  void SiteWindowChanged(HWND hwnd) override;
  HRESULT AdmitCall(DISPID dispid) override { return injected_failure(dispid); }
  void OnQueued(UINT) override { ShowBody(); }

 private:
  ~WebBrowser() override;

  bool m_showQueued = false;
  HtmlDocument *m_document = nullptr;  // one reference
};

}  // namespace headless_browser
