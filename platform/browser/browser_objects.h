// browser_objects.h - the stand-in's COM objects and the process-wide settings and records they share (internal to platform/browser).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/browser/class_info.h"
#include "platform/browser/headless_browser.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/ole_embedding.h"
#include "platform/com/variant.h"
#include "platform/windows/winuser.h"

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
  std::vector<WebBrowser *> live;  // in creation order
};
Settings &settings();

// S_OK, or the injected failure for this call of dispid (counting the call).
HRESULT injected_failure(DISPID dispid);

// Reference counting and the IDispatch parts the stand-in does not serve: no type information,
// no names (callers use the published dispatch ids).
class DispatchObject : public IDispatch {
 public:
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override;
  HRESULT GetTypeInfoCount(UINT *pctinfo) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo **ppTInfo) override;
  HRESULT GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return DISP_E_UNKNOWNNAME; }

 protected:
  DispatchObject() = default;
  virtual ~DispatchObject() = default;
  // Answers IUnknown and IDispatch; derived objects add their own interfaces first.
  HRESULT QueryDispatch(REFIID riid, void **ppv);

 private:
  ULONG m_refs = 1;
};

// The body element: holds the inserted HTML and answers the measured scroll sizes.
class HtmlBody : public DispatchObject {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override { return QueryDispatch(riid, ppv); }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                 UINT *puArgErr) override;
  const std::string &html() const { return m_html; }  // UTF-8, which holds a page in the least memory

 private:
  std::string m_html;
};

// The document loaded by a Navigate; owns one reference to its body.
class HtmlDocument : public DispatchObject {
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

// Argument checks shared by the objects' Invoke. Arguments arrive last first in rgvarg.
HRESULT expect_call(const DISPPARAMS *params, WORD wFlags, WORD wanted_flags, UINT argument_count);
// The argument at position `index` (0 = first) as a BSTR, through one level of VT_BYREF.
HRESULT bstr_argument(const DISPPARAMS *params, UINT index, BSTR *out, UINT *puArgErr);
std::u16string bstr_text(BSTR text);

// Queues the showing of the body's new content in the window of the live browser whose page it
// is, if any.
void body_changed(const HtmlBody &body);

}  // namespace headless_browser

namespace headless_browser {

// The WebBrowser control: IDispatch for Navigate and Document, one connection point for
// DWebBrowserEvents2, named as the default event interface through IProvideClassInfo2, and
// IOleObject, through which its container gives it a site and so the window it is shown in.
// That window's text is the page's content as plain text (html_text): set at once when the
// site is given and on Navigate, and through the message loop after insertions; a terminal
// draws it.
class WebBrowser : public DispatchObject {
 public:
  WebBrowser();
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                 UINT *puArgErr) override;

  // Queues a DocumentComplete for the loaded page on this thread's message queue; false when
  // nothing was navigated to yet or the queue cannot take it.
  bool QueueDocumentComplete();
  // Raises DocumentComplete on every advised sink, now.
  void RaiseDocumentComplete();
  // The loaded document, or null before the first Navigate.
  const HtmlDocument *document() const { return m_document; }
  // Sets the host window's text to the page's content; nothing without a host window.
  void ShowBody();
  // The same once the thread's queue is pumped; at most one is queued at a time.
  void QueueShowBody();

 private:
  ~WebBrowser() override;

  struct Container : IConnectionPointContainer {
    WebBrowser *outer;
    HRESULT QueryInterface(REFIID riid, void **ppv) override { return outer->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return outer->AddRef(); }
    ULONG Release() override { return outer->Release(); }
    HRESULT EnumConnectionPoints(void **) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) override;
  };
  struct EventsPoint : IConnectionPoint {
    WebBrowser *outer;
    HRESULT QueryInterface(REFIID riid, void **ppv) override;
    ULONG AddRef() override { return outer->AddRef(); }
    ULONG Release() override { return outer->Release(); }
    HRESULT GetConnectionInterface(IID *pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer **ppCPC) override;
    HRESULT Advise(IUnknown *pUnkSink, DWORD *pdwCookie) override;
    HRESULT Unadvise(DWORD dwCookie) override;
    HRESULT EnumConnections(void **) override { return E_NOTIMPL; }
  };
  struct ClassInfo : IProvideClassInfo2 {
    WebBrowser *outer;
    HRESULT QueryInterface(REFIID riid, void **ppv) override { return outer->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return outer->AddRef(); }
    ULONG Release() override { return outer->Release(); }
    HRESULT GetClassInfo(ITypeInfo **ppTI) override;
    HRESULT GetGUID(DWORD dwGuidKind, GUID *pGUID) override;
  };

  // Only the site matters here; the rest of embedding is the real control's business.
  struct OleObject : IOleObject {
    WebBrowser *outer;
    HRESULT QueryInterface(REFIID riid, void **ppv) override { return outer->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return outer->AddRef(); }
    ULONG Release() override { return outer->Release(); }
    HRESULT SetClientSite(IOleClientSite *pClientSite) override;
    HRESULT GetClientSite(IOleClientSite **ppClientSite) override;
    HRESULT SetHostNames(LPCOLESTR, LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT Close(DWORD) override { return E_NOTIMPL; }
    HRESULT SetMoniker(DWORD, IMoniker *) override { return E_NOTIMPL; }
    HRESULT GetMoniker(DWORD, DWORD, IMoniker **) override { return E_NOTIMPL; }
    HRESULT InitFromData(IDataObject *, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT GetClipboardData(DWORD, IDataObject **) override { return E_NOTIMPL; }
    HRESULT DoVerb(LONG, tagMSG *, IOleClientSite *, LONG, HWND, const RECT *) override { return E_NOTIMPL; }
    HRESULT EnumVerbs(IEnumOLEVERB **) override { return E_NOTIMPL; }
    HRESULT Update() override { return E_NOTIMPL; }
    HRESULT IsUpToDate() override { return E_NOTIMPL; }
    HRESULT GetUserClassID(CLSID *) override { return E_NOTIMPL; }
    HRESULT GetUserType(DWORD, LPOLESTR *) override { return E_NOTIMPL; }
    HRESULT SetExtent(DWORD, tagSIZEL *) override { return E_NOTIMPL; }
    HRESULT GetExtent(DWORD, tagSIZEL *) override { return E_NOTIMPL; }
    HRESULT Advise(IAdviseSink *, DWORD *) override { return E_NOTIMPL; }
    HRESULT Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT EnumAdvise(IEnumSTATDATA **) override { return E_NOTIMPL; }
    HRESULT GetMiscStatus(DWORD, DWORD *) override { return E_NOTIMPL; }
    HRESULT SetColorScheme(tagLOGPALETTE *) override { return E_NOTIMPL; }
  };

  HRESULT Navigate(DISPPARAMS *params, WORD wFlags, UINT *puArgErr);

  Container m_container{};
  EventsPoint m_point{};
  ClassInfo m_classInfo{};
  OleObject m_oleObject{};
  IOleClientSite *m_pClientSite = nullptr;  // one reference
  HWND m_hwndHost = nullptr;                // the site's window, asked once when the site is given
  bool m_showQueued = false;
  std::map<DWORD, IDispatch *> m_sinks;  // one reference each
  DWORD m_nextCookie = 1;
  HtmlDocument *m_document = nullptr;  // one reference
  std::u16string m_url;
  HWND m_hwndEvents = nullptr;  // hidden window whose queue carries the deferred events
};

}  // namespace headless_browser
