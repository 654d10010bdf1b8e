// signature_dlg.h - CSignatureDlg, the signing dialog: its certificate list, its crypto manager, its window and the signing on confirmation.
#pragma once

#include "control/crypto/crypto_manager.h"
#include "control/resources/resource.h"
#include "platform/framework/afx_coll.h"
#include "platform/framework/afx_dialog.h"
#include "platform/framework/afx_event_sink.h"
#include "platform/framework/afx_string.h"

class CSignatureDlg : public CDialog {
 public:
  // The text is signed exactly as given; bPlainText chooses the plain display over the HTML one.
  // Without a parent the modal machinery picks the owner.
  // The text is taken over (moved from a temporary), so that a large one is not held twice.
  CSignatureDlg(CString strText, BOOL bPlainText, CWnd *pParent = nullptr);

  // Fills m_certs with every certificate of the personal store that may sign, in store order,
  // and returns their number; 0 also when the store cannot be opened or is empty.
  int LoadCertificates();
  // The same with the filters of a filtered request; strIssuer must already be normalised
  // (CCryptoManager::NormalizeIssuer).
  int LoadFilteredCertificates(CString strIssuer, CString strSerial, CString strKeyUsage);

  // Signs m_strText with the list entry nIndex and leaves the Base64 signature in m_strResult.
  // FALSE leaves m_strResult unchanged and the failure's text in m_crypto.m_strError.
  BOOL SignWithCertificate(int nIndex);

  // What the request gets back: the signature, "error:userCancel", "error:internalError", or
  // empty when the dialog never ran.
  CString m_strResult;
  CCryptoManager m_crypto;
  // Certificate contexts owned by m_crypto's store: never freed one by one, and declared after
  // m_crypto so that the array goes first.
  CPtrArray m_certs;
  CString m_strText;
  // Hosts the browser control in HTML mode; no window in plain-text mode.
  CWnd m_wndBrowser;
  BOOL m_bPlainText;

  BOOL OnInitDialog() override;

 protected:
  void OnOK() override;
  void OnCancel() override;
  afx_msg void OnPreviewFailed();
  // WM_TIMER and the system's timer message: nothing to do, and no default processing.
  afx_msg LRESULT OnTimerMessage(WPARAM wParam, LPARAM lParam);

  // HTML mode (html_preview.cc): puts the browser in the text box's place and loads an empty
  // page; the page is filled and the dialog sized when the page reports it is complete.
  void CreatePreview();
  afx_msg void OnDocumentComplete(LPDISPATCH pDisp, VARIANT *URL);

  DECLARE_MESSAGE_MAP()
  DECLARE_EVENTSINK_MAP()

 private:
  // The store walk both builders share; bFiltered selects the filter test over the default rule.
  int LoadList(BOOL bFiltered, const CString &strIssuer, const CString &strSerial, const CString &strKeyUsage);
  // The edit box shows each line feed not preceded by a carriage return as CR LF.
  CString DisplayText() const;
};
