// uninstall_dlg.h - CUninstallDlg, the progress window: its worker thread runs the steps and writes the log and the verdict.
#pragma once

#include <atomic>

#include "platform/framework/afx_dialog.h"
#include "platform/framework/afx_thread.h"

// The text of the last failure, composed by FormatErrorText and read right after by the step
// that failed; only the worker thread uses it.
extern CString g_strErrorText;

// g_strErrorText = prefix (empty for none), then "\r\n\r\n" and the detail when there is one,
// then "\r\n\r\n" and the system's text of dwCode when it is not 0 and has one.
void FormatErrorText(DWORD dwCode, LPCSTR pszPrefix, LPCSTR pszDetail);

// Runs on IDD_UNINSTALL_DIALOG. OnInitDialog starts the worker thread, which unregisters the
// control, deletes the installation's registry keys and the module file, showing the log after
// each logged step, removes the browsers' manifests for its page bridge, then writes the verdict
// and enables OK. Closing (OK, Enter, Escape) does
// nothing until the verdict is written. The worker's window calls reach this window through its
// thread's queue, so they are made while the modal loop runs.
class CUninstallDlg : public CDialog {
 public:
  explicit CUninstallDlg(const CString &strFolder, CWnd *pParentWnd = nullptr);
  // Waits for the worker thread, which may still be in its last window call when the window
  // has closed, before the object it works on goes.
  ~CUninstallDlg() override;

  BOOL OnInitDialog() override;

  // Once DoModal has returned: waits for the worker's end and answers whether every step
  // succeeded (FALSE when the worker could not start).
  BOOL WaitForSteps();
  // The log and the verdict as the window showed them at the end; empty when the window never
  // ran. Valid once WaitForSteps has returned.
  CString GetRecord() const;

 protected:
  void OnOK() override;
  void OnCancel() override;

 private:
  static UINT UninstallThread(LPVOID pParam);
  // Both return TRUE when their steps succeeded; each appends its entries to the log.
  BOOL UnregisterControl();
  BOOL DeleteControlFile();
  // Unlogged, and changes no verdict, as for the uninstall entry: the browsers' host manifests
  // that name this installation's page bridge.
  void RemoveBrowserManifests();
  void ShowLog();
  // The verdict in IDC_STATUS, then finished, then OK enabled: a close is accepted only once the
  // verdict is there.
  void Finish(BOOL bSucceeded);

  CString m_strFolder;
  CString m_strLog;  // only the worker thread changes it
  HWND m_hLogEdit = nullptr;
  std::atomic<BOOL> m_bFinished{FALSE};  // written once, by the worker, and read by the closing handlers
  BOOL m_bSucceeded = FALSE;  // written by the worker before m_bFinished
  CWinThread *m_pWorker = nullptr;
};
