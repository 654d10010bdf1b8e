// afx_ctrl_container.cc - the control site: creating a hosted control, giving it its client site, sinking its events into the parent's event sink map, and CWnd's calls on it.
#include "platform/framework/afx_ctrl_container.h"

#include <atomic>

#include "platform/browser/class_info.h"
#include "platform/com/activation.h"

namespace {

std::atomic<bool> g_containerEnabled{false};

bool register_host_class(WNDPROC proc) {
  static const bool registered = [proc] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = AFX_CONTROL_HOST_CLASS;
    return RegisterClassA(&wc) != FALSE;
  }();
  return registered;
}

}  // namespace

void AfxEnableControlContainer() { g_containerEnabled = true; }

// The sink's lifetime is the control's business (it holds a reference while advised); the site
// cuts the link back to itself when it goes, so a late event finds no site and is dropped.
class COleControlSite::EventSink final : public IDispatch {
 public:
  EventSink(COleControlSite *pSite, const IID &iidEvents) : m_pSite(pSite), m_iidEvents(iidEvents) {}
  void Detach() { m_pSite = nullptr; }

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == m_iidEvents) {
      *ppv = static_cast<IDispatch *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }
  HRESULT GetTypeInfoCount(UINT *pctinfo) override {
    if (pctinfo == nullptr) return E_POINTER;
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo **ppTInfo) override {
    if (ppTInfo != nullptr) *ppTInfo = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS *params, VARIANT *, EXCEPINFO *, UINT *) override {
    return m_pSite != nullptr ? m_pSite->OnEvent(dispid, params) : S_OK;
  }

 private:
  ~EventSink() = default;
  COleControlSite *m_pSite;
  IID m_iidEvents;
  ULONG m_refs = 1;
};

// The control's view of its container. Like the sink, it may outlive the site in a control
// that holds on to it; detached, it answers that there is no window.
class COleControlSite::ClientSite final : public IOleClientSite, public IOleWindow {
 public:
  explicit ClientSite(COleControlSite *pSite) : m_pSite(pSite) {}
  void Detach() { m_pSite = nullptr; }

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IOleClientSite) {
      *ppv = static_cast<IOleClientSite *>(this);
    } else if (riid == IID_IOleWindow) {
      *ppv = static_cast<IOleWindow *>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++m_refs; }
  ULONG Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }

  HRESULT GetWindow(HWND *phwnd) override {
    if (phwnd == nullptr) return E_POINTER;
    *phwnd = m_pSite != nullptr ? m_pSite->m_hWnd : nullptr;
    return *phwnd != nullptr ? S_OK : E_FAIL;
  }
  HRESULT ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // No persistence, monikers or container enumeration: nothing we host asks for them.
  HRESULT SaveObject() override { return E_NOTIMPL; }
  HRESULT GetMoniker(DWORD, DWORD, IMoniker **ppmk) override {
    if (ppmk != nullptr) *ppmk = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetContainer(IOleContainer **ppContainer) override {
    if (ppContainer != nullptr) *ppContainer = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT ShowObject() override { return S_OK; }
  HRESULT OnShowWindow(BOOL) override { return S_OK; }
  HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }

 private:
  ~ClientSite() = default;
  COleControlSite *m_pSite;
  ULONG m_refs = 1;
};

COleControlSite::COleControlSite(CWnd *pOwner, CWnd *pParent, IUnknown *pObject, UINT nID)
    : m_pObject(pObject), m_nID(nID), m_pOwner(pOwner), m_pParent(pParent) {
  void *pDispatch = nullptr;
  if (SUCCEEDED(m_pObject->QueryInterface(IID_IDispatch, &pDispatch))) m_pDispatch = static_cast<IDispatch *>(pDispatch);
}

COleControlSite::~COleControlSite() {
  if (m_pOleObject != nullptr) {
    m_pOleObject->SetClientSite(nullptr);
    m_pOleObject->Release();
  }
  if (m_pClientSite != nullptr) {
    m_pClientSite->Detach();
    m_pClientSite->Release();
  }
  if (m_pEventPoint != nullptr) {
    m_pEventPoint->Unadvise(m_dwEventCookie);
    m_pEventPoint->Release();
  }
  if (m_pSink != nullptr) {
    m_pSink->Detach();
    m_pSink->Release();
  }
  if (m_pDispatch != nullptr) m_pDispatch->Release();
  m_pObject->Release();
  if (m_pOwner != nullptr && m_pOwner->m_pCtrlSite == this) m_pOwner->m_pCtrlSite = nullptr;
}

void COleControlSite::ConnectSink() {
  void *pv = nullptr;
  IID iidEvents{};
  if (FAILED(m_pObject->QueryInterface(IID_IProvideClassInfo2, &pv))) return;
  auto *pClassInfo = static_cast<IProvideClassInfo2 *>(pv);
  const HRESULT hr = pClassInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &iidEvents);
  pClassInfo->Release();
  if (FAILED(hr) || FAILED(m_pObject->QueryInterface(IID_IConnectionPointContainer, &pv))) return;
  auto *pContainer = static_cast<IConnectionPointContainer *>(pv);
  IConnectionPoint *pPoint = nullptr;
  const HRESULT found = pContainer->FindConnectionPoint(iidEvents, &pPoint);
  pContainer->Release();
  if (FAILED(found)) return;
  auto *pSink = new EventSink(this, iidEvents);
  if (FAILED(pPoint->Advise(pSink, &m_dwEventCookie))) {
    pSink->Release();
    pPoint->Release();
    return;
  }
  m_pSink = pSink;
  m_pEventPoint = pPoint;
}

void COleControlSite::ConnectClientSite() {
  void *pv = nullptr;
  if (FAILED(m_pObject->QueryInterface(IID_IOleObject, &pv))) return;
  m_pOleObject = static_cast<IOleObject *>(pv);
  m_pClientSite = new ClientSite(this);
  m_pOleObject->SetClientSite(m_pClientSite);
}

HRESULT COleControlSite::OnEvent(DISPID dispid, DISPPARAMS *params) {
  // Unhandled events are not an error for the control that raised them.
  if (m_pParent != nullptr) m_pParent->OnCmdMsgEvent(m_nID, dispid, params);
  return S_OK;
}

LRESULT COleControlSite::HostWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    auto *pSite = reinterpret_cast<COleControlSite *>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
    delete pSite;
  }
  return DefWindowProcA(hWnd, message, wParam, lParam);
}

BOOL CWnd::CreateControl(REFCLSID clsid, LPCSTR pszWindowName, DWORD dwStyle, const RECT &rect, CWnd *pParentWnd,
                         UINT nID, void *, BOOL, BSTR) {
  // Persistent state, storage and licence keys are not supported: no caller of ours has them.
  if (!g_containerEnabled || m_pCtrlSite != nullptr || pParentWnd == nullptr) return FALSE;
  if (!register_host_class(&COleControlSite::HostWindowProc)) return FALSE;

  void *pv = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv))) return FALSE;
  auto *pSite = new COleControlSite(this, pParentWnd, static_cast<IUnknown *>(pv), nID);

  // A hosted control takes the keyboard like any control: its window is a tab stop, at its
  // place in z order.
  const HWND hWnd = CreateWindowExA(0, AFX_CONTROL_HOST_CLASS, pszWindowName != nullptr ? pszWindowName : "",
                                    dwStyle | WS_TABSTOP, rect.left, rect.top, rect.right - rect.left,
                                    rect.bottom - rect.top, pParentWnd->GetSafeHwnd(),
                                    reinterpret_cast<HMENU>(static_cast<uintptr_t>(nID)), nullptr, nullptr);
  if (hWnd == nullptr) {
    delete pSite;
    return FALSE;
  }
  pSite->m_hWnd = hWnd;
  SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pSite));
  m_pCtrlSite = pSite;
  Attach(hWnd);
  pSite->ConnectClientSite();
  pSite->ConnectSink();
  return TRUE;
}

IUnknown *CWnd::GetControlUnknown() { return m_pCtrlSite != nullptr ? m_pCtrlSite->m_pObject : nullptr; }

void CWnd::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void *pvRet, const BYTE *pbParamInfo, ...) {
  if (m_pCtrlSite == nullptr || m_pCtrlSite->m_pDispatch == nullptr) return;
  va_list argList;
  va_start(argList, pbParamInfo);
  AfxInvokeHelperV(m_pCtrlSite->m_pDispatch, dwDispID, wFlags, vtRet, pvRet, pbParamInfo, argList);
  va_end(argList);
}
