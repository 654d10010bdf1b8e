// afx_dialog.h - CDialog, a modal dialog from a template resource, with the framework's OK/Cancel handling.
#pragma once

#include "platform/framework/afx_wnd.h"

class CDialog : public CWnd {
 public:
  CDialog(UINT nIDTemplate, CWnd *pParentWnd = nullptr);
  ~CDialog() override;

  // Loads the RT_DIALOG template nIDTemplate from AfxGetResourceHandle() and runs it modally.
  // Returns what EndDialog was given, or -1 when the window cannot be created (no template, or
  // a back end that cannot show dialogs), in which case OnInitDialog never ran.
  virtual INT_PTR DoModal();
  void EndDialog(int nResult);
  // Data exchange: nothing to exchange without controls bound to members; TRUE.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

  virtual BOOL OnInitDialog();

 protected:
  // Enter and the OK button: UpdateData, then EndDialog(IDOK).
  virtual void OnOK();
  // Escape, the Cancel button and the close box: EndDialog(IDCANCEL).
  virtual void OnCancel();

  UINT m_nIDHelp;
  CWnd *m_pParentWnd;

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};
