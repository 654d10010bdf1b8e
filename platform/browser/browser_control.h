// browser_control.h - what every browser control shares: its COM face as a WebBrowser (Navigate and Document, the DWebBrowserEvents2 connection point, class information, the client site) and DocumentComplete raised through the message loop.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/browser/class_info.h"
#include "platform/browser/dispatch_object.h"
#include "platform/com/activation.h"
#include "platform/com/ole_embedding.h"
#include "platform/windows/winuser.h"

namespace browser {

// A browser engine derives from it and supplies the page: loading it, its document, and what
// to show in the window its container's site names. Everything runs on the user-interface
// thread, as the real control does.
class WebBrowserControl : public DispatchObject {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  // Navigate (URL, then flags, frame, post data and headers, accepted and ignored) and the
  // Document property; any other member is DISP_E_MEMBERNOTFOUND.
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD wFlags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                 UINT *puArgErr) override;

  // Queues a DocumentComplete for the loaded page on this thread's message queue; false when
  // the queue cannot take it. A control released before the message is pumped never raises it.
  bool QueueDocumentComplete();
  // Raises DocumentComplete on every advised sink, now.
  virtual void RaiseDocumentComplete();

  // The controls not yet finally released, in creation order.
  static const std::vector<WebBrowserControl *> &Live();

 protected:
  WebBrowserControl();
  ~WebBrowserControl() override;

  // Starts loading `url`, which URL() already gives; the engine queues DocumentComplete when
  // the page is ready.
  virtual HRESULT Navigate(const std::u16string &url) = 0;
  // The loaded document with a reference for the caller, or null.
  virtual IDispatch *Document() = 0;
  // The window the container's site names, or null when the site goes.
  virtual void SiteWindowChanged(HWND hwnd) = 0;
  // Asked after a call's arguments were checked and before it acts: a failure ends the call.
  virtual HRESULT AdmitCall(DISPID) { return S_OK; }
  // `what`, queued with Queue, reached through the message loop.
  virtual void OnQueued(UINT what) { (void)what; }

  // Queues OnQueued(what) on this thread's message queue; false when it cannot be queued.
  bool Queue(UINT what);
  const std::u16string &URL() const { return m_url; }
  HWND SiteWindow() const { return m_hwndSite; }

 private:
  struct Container : IConnectionPointContainer {
    WebBrowserControl *outer;
    HRESULT QueryInterface(REFIID riid, void **ppv) override { return outer->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return outer->AddRef(); }
    ULONG Release() override { return outer->Release(); }
    HRESULT EnumConnectionPoints(void **) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) override;
  };
  struct EventsPoint : IConnectionPoint {
    WebBrowserControl *outer;
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
    WebBrowserControl *outer;
    HRESULT QueryInterface(REFIID riid, void **ppv) override { return outer->QueryInterface(riid, ppv); }
    ULONG AddRef() override { return outer->AddRef(); }
    ULONG Release() override { return outer->Release(); }
    HRESULT GetClassInfo(ITypeInfo **ppTI) override;
    HRESULT GetGUID(DWORD dwGuidKind, GUID *pGUID) override;
  };

  // Only the site matters here; the rest of embedding is the real control's business.
  struct OleObject : IOleObject {
    WebBrowserControl *outer;
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

  static LRESULT EventsWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  Container m_container{};
  EventsPoint m_point{};
  ClassInfo m_classInfo{};
  OleObject m_oleObject{};
  IOleClientSite *m_pClientSite = nullptr;  // one reference
  HWND m_hwndSite = nullptr;                // the site's window, asked once when the site is given
  std::map<DWORD, IDispatch *> m_sinks;     // one reference each
  DWORD m_nextCookie = 1;
  std::u16string m_url;
  HWND m_hwndEvents = nullptr;  // hidden window whose queue carries the deferred work
};

// The class factory of a browser control, static like a module's: creation and locking do not
// count references. `make` creates a control with one reference, or fails.
class BrowserFactory : public IClassFactory {
 public:
  using Maker = HRESULT (*)(WebBrowserControl **control);
  explicit BrowserFactory(Maker make) : m_make(make) {}
  HRESULT QueryInterface(REFIID riid, void **ppv) override;
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) override;
  HRESULT LockServer(BOOL) override { return S_OK; }

 private:
  Maker m_make;
};

// Puts `factory` (which must outlive the process's class table) in that table as
// CLSID_WebBrowser; false when the table refuses it.
bool register_browser_factory(BrowserFactory &factory);

}  // namespace browser
