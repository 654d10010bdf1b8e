// afx_ctrl_container.h - hosting ActiveX controls in the framework's windows: the container switch and the control site behind CWnd::CreateControl.
#pragma once

#include "platform/com/ole_embedding.h"
#include "platform/framework/afx_disp_driver.h"
#include "platform/framework/afx_event_sink.h"
#include "platform/framework/afx_wnd.h"

// Turns on the hosting of controls for the process; until it is called CWnd::CreateControl
// fails. A control module calls it at start-up.
void AfxEnableControlContainer();

// The class of the child window that stands for a hosted control in its parent: it has the
// control's id, rectangle, style (and WS_TABSTOP) and place in z order.
#define AFX_CONTROL_HOST_CLASS "AfxControlHost"

// What CWnd::CreateControl leaves in the CWnd's m_pCtrlSite: one reference to the control and
// to its IDispatch, the sink advised on the control's default event interface, which hands
// each event to the parent window's OnCmdMsgEvent with the control's id, and, for a control
// with IOleObject, the client site given to it, whose IOleWindow names the host window. The
// host window owns the site: destroying the window (as its parent's destruction does) takes
// the client site back, unadvises the sink, releases the control and clears the CWnd's
// m_pCtrlSite.
class COleControlSite {
 public:
  COleControlSite(const COleControlSite &) = delete;
  COleControlSite &operator=(const COleControlSite &) = delete;

  IUnknown *m_pObject = nullptr;
  IDispatch *m_pDispatch = nullptr;  // null for a control without IDispatch
  HWND m_hWnd = nullptr;
  UINT m_nID = 0;

 private:
  friend class CWnd;
  class EventSink;
  friend class EventSink;
  class ClientSite;

  COleControlSite(CWnd *pOwner, CWnd *pParent, IUnknown *pObject, UINT nID);
  ~COleControlSite();
  // Advises the sink on the control's default event interface; a control without events is
  // not an error.
  void ConnectSink();
  // Gives a control with IOleObject its client site; once the host window exists, since the
  // control may ask for it at once.
  void ConnectClientSite();
  HRESULT OnEvent(DISPID dispid, DISPPARAMS *params);
  static LRESULT HostWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  CWnd *m_pOwner;
  CWnd *m_pParent;
  EventSink *m_pSink = nullptr;
  IConnectionPoint *m_pEventPoint = nullptr;
  DWORD m_dwEventCookie = 0;
  IOleObject *m_pOleObject = nullptr;  // null for a control without it, or until connected
  ClientSite *m_pClientSite = nullptr;
};
