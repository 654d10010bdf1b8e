// signature_dlg.h - CSignatureDlg, the signing dialog: its certificate list, its crypto manager and the signing on confirmation.
#pragma once

#include "control/crypto/crypto_manager.h"
#include "platform/framework/afx_coll.h"
#include "platform/framework/afx_string.h"

class CSignatureDlg {
 public:
  // The text is signed exactly as given; bPlainText chooses the plain display over the HTML one.
  CSignatureDlg(const CString &strText, BOOL bPlainText);

  // Fills m_certs with every certificate of the personal store that may sign, in store order,
  // and returns their number; 0 also when the store cannot be opened or is empty.
  int LoadCertificates();
  // The same with the filters of a filtered request; strIssuer must already be normalised
  // (CCryptoManager::NormalizeIssuer).
  int LoadFilteredCertificates(CString strIssuer, CString strSerial, CString strKeyUsage);

  // Signs m_strText with the list entry nIndex and leaves the Base64 signature in m_strResult.
  // FALSE leaves m_strResult unchanged and the failure's text in m_crypto.m_strError.
  BOOL SignWithCertificate(int nIndex);

  CString m_strResult;
  CCryptoManager m_crypto;
  // Certificate contexts owned by m_crypto's store: never freed one by one, and declared after
  // m_crypto so that the array goes first.
  CPtrArray m_certs;
  CString m_strText;
  BOOL m_bPlainText;

 private:
  // The store walk both builders share; bFiltered selects the filter test over the default rule.
  int LoadList(BOOL bFiltered, const CString &strIssuer, const CString &strSerial, const CString &strKeyUsage);
};
