// uninstall_dlg.cc - CUninstallDlg's window: the worker's start, the verdict, and closing only once the work is done.
#include "uninstall/uninstall_dlg.h"

#include "platform/base/last_error.h"
#include "uninstall/resources/resource.h"

namespace {

// Windows-1252: \267 is the middle dot of "l·l", \362 o grave, \357 i diaeresis.
constexpr char kVerdictSucceeded[] = "Desinstal\267laci\363 finalitzada satisfact\362riament";
constexpr char kVerdictFailed[] = "S'han produ\357t errors durant la desinstal\267laci\363";

}  // namespace

CUninstallDlg::CUninstallDlg(const CString &strFolder, CWnd *pParentWnd)
    : CDialog(IDD_UNINSTALL_DIALOG, pParentWnd), m_strFolder(strFolder) {}

CUninstallDlg::~CUninstallDlg() { WaitForSteps(); }

BOOL CUninstallDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_hLogEdit = ::GetDlgItem(m_hWnd, IDC_LOG);
  // Started held, so that it can be kept (not deleted at its end) and waited for.
  m_pWorker =
      ::AfxBeginThread(&CUninstallDlg::UninstallThread, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED, nullptr);
  if (m_pWorker == nullptr) {
    // Without a worker nothing was done; the window must still be closable.
    FormatErrorText(::GetLastError(), "", nullptr);
    m_strLog = CString("Error") + g_strErrorText + "\r\n\r\n";
    ShowLog();
    Finish(FALSE);
    return TRUE;
  }
  m_pWorker->m_bAutoDelete = FALSE;
  m_pWorker->ResumeThread();
  return TRUE;
}

BOOL CUninstallDlg::WaitForSteps() {
  if (m_pWorker != nullptr) {
    ::WaitForSingleObject(m_pWorker->m_hThread, INFINITE);
    delete m_pWorker;
    m_pWorker = nullptr;
  }
  return m_bFinished && m_bSucceeded;
}

CString CUninstallDlg::GetRecord() const {
  if (!m_bFinished) return CString();
  return m_strLog + (m_bSucceeded ? kVerdictSucceeded : kVerdictFailed) + "\r\n";
}

void CUninstallDlg::OnOK() {
  if (m_bFinished) CDialog::OnOK();
}

void CUninstallDlg::OnCancel() {
  if (m_bFinished) CDialog::OnCancel();
}

UINT CUninstallDlg::UninstallThread(LPVOID pParam) {
  auto *pDlg = static_cast<CUninstallDlg *>(pParam);
  const BOOL bUnregistered = pDlg->UnregisterControl();
  const BOOL bDeleted = pDlg->DeleteControlFile();  // whatever the unregistration gave
  pDlg->RemoveBrowserManifests();
  pDlg->Finish(bUnregistered && bDeleted);
  return 0;
}

void CUninstallDlg::ShowLog() { ::SetWindowTextA(m_hLogEdit, m_strLog); }

void CUninstallDlg::Finish(BOOL bSucceeded) {
  // Through the log box's parent, not m_hWnd, which the main thread clears once the window has
  // closed; a window that is gone makes these calls fail harmlessly.
  const HWND hDlg = ::GetParent(m_hLogEdit);
  ::SetWindowTextA(::GetDlgItem(hDlg, IDC_STATUS), bSucceeded ? kVerdictSucceeded : kVerdictFailed);
  m_bSucceeded = bSucceeded;
  m_bFinished = TRUE;
  ::EnableWindow(::GetDlgItem(hDlg, IDOK), TRUE);
}
