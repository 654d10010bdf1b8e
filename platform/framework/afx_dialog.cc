// afx_dialog.cc - CDialog: the modal run from a template resource and the routing of its messages to the message map.
#include "platform/framework/afx_dialog.h"

#include "platform/framework/afx_app.h"
#include "platform/windows/dialog_template.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd *pParentWnd) : m_nIDHelp(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
  const HINSTANCE hInst = AfxGetResourceHandle();
  const HRSRC hFound = ::FindResourceA(hInst, MAKEINTRESOURCEA(m_nIDHelp), RT_DIALOG);
  if (hFound == nullptr) return -1;
  const auto *pTemplate = static_cast<const DialogTemplate *>(::LockResource(::LoadResource(hInst, hFound)));
  if (pTemplate == nullptr) return -1;
  const HWND hParent = m_pParentWnd != nullptr ? m_pParentWnd->m_hWnd : nullptr;
  const INT_PTR nResult =
      ::DialogBoxIndirectParamA(hInst, pTemplate, hParent, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  // The window is gone by now; the object outlives it and may run again.
  Detach();
  return nResult;
}

void CDialog::EndDialog(int nResult) { ::EndDialog(m_hWnd, nResult); }

BOOL CDialog::UpdateData(BOOL) { return TRUE; }

BOOL CDialog::OnInitDialog() { return TRUE; }

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// Binds the window to its object at WM_INITDIALOG (the object comes as the init parameter),
// then hands every message to the message map. A handled message answers TRUE with the
// handler's result in DWLP_MSGRESULT, so the dialog manager does no default processing.
INT_PTR CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto *pDialog = reinterpret_cast<CDialog *>(lParam);
    pDialog->Attach(hWnd);
    ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    RECT before{};
    ::GetWindowRect(hWnd, &before);
    const BOOL bResult = pDialog->OnInitDialog();
    // A dialog that its initialisation neither showed nor moved is centred over its owner or
    // the screen, rather than left where its template's origin puts it.
    RECT after{};
    if (::IsWindow(hWnd) && !::IsWindowVisible(hWnd) && ::GetWindowRect(hWnd, &after) && after.left == before.left &&
        after.top == before.top)
      pDialog->CenterWindow();
    return bResult;
  }
  auto *pDialog = reinterpret_cast<CDialog *>(::GetWindowLongPtrA(hWnd, DWLP_USER));
  if (pDialog == nullptr) return FALSE;
  LRESULT lResult = 0;
  if (!pDialog->OnWndMsg(message, wParam, lParam, &lResult)) return FALSE;
  // The window may be gone if a handler destroyed it.
  if (::IsWindow(hWnd)) ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, lResult);
  return TRUE;
}
