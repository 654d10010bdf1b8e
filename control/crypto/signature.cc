// signature.cc - signature production: the key provider's preparation, the detached PKCS #7 signature with its signing time, and its Base64 text.
#include <cstddef>
#include <vector>

#include "control/crypto/crypto_manager.h"
#include "platform/base/last_error.h"
#include "platform/base/system_time.h"
#include "platform/codepage/multibyte.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/crypt_object.h"
#include "platform/crypto/key_provider.h"
#include "platform/crypto/sign_message.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kProviderNotifyParam = 6969;

// A UTF-16 name in the ANSI code page, terminator included; FALSE when it cannot be converted.
BOOL ToAnsi(LPCWSTR pwszName, std::vector<char> &name) {
  const int cch = WideCharToMultiByte(CP_ACP, 0, pwszName, -1, nullptr, 0, nullptr, nullptr);
  if (cch <= 0) return FALSE;
  name.resize(static_cast<size_t>(cch));
  return WideCharToMultiByte(CP_ACP, 0, pwszName, -1, name.data(), cch, nullptr, nullptr) == cch;
}

}  // namespace

BOOL CCryptoManager::PrepareProvider(PCCERT_CONTEXT pCert) {
  DWORD cbProvInfo = 0;
  if (!CertGetCertificateContextProperty(pCert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &cbProvInfo)) return TRUE;

  std::vector<BYTE> provInfo(cbProvInfo);
  if (!CertGetCertificateContextProperty(pCert, CERT_KEY_PROV_INFO_PROP_ID, provInfo.data(), &cbProvInfo))
    return FALSE;
  const auto *pProvInfo = reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(provInfo.data());

  // A record without either name names no container to prepare.
  if (pProvInfo->pwszContainerName == nullptr || pProvInfo->pwszProvName == nullptr) return FALSE;
  std::vector<char> container;
  std::vector<char> provider;
  if (!ToAnsi(pProvInfo->pwszContainerName, container) || !ToAnsi(pProvInfo->pwszProvName, provider)) return FALSE;

  HCRYPTPROV hProv = 0;
  if (!CryptAcquireContextA(&hProv, container.data(), provider.data(), pProvInfo->dwProvType, 0)) return FALSE;
  const BOOL bAccepted = CryptSetProvParam(hProv, kProviderNotifyParam, nullptr, 0);
  CryptReleaseContext(hProv, 0);
  return bAccepted;
}

BOOL CCryptoManager::SignDetached(PCCERT_CONTEXT pCert, const BYTE *pbContent, DWORD cbContent, BYTE *pbSignature,
                                  DWORD *pcbSignature) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);

  DWORD cbTime = 0;
  std::vector<BYTE> encodedTime;
  BOOL bOk = CryptEncodeObject(kEncoding, szOID_RSA_signingTime, &now, nullptr, &cbTime);
  if (bOk) {
    encodedTime.resize(cbTime);
    bOk = CryptEncodeObject(kEncoding, szOID_RSA_signingTime, &now, encodedTime.data(), &cbTime);
  }
  if (bOk) {
    CRYPT_ATTR_BLOB timeValue = {cbTime, encodedTime.data()};
    CRYPT_ATTRIBUTE signingTime = {const_cast<LPSTR>(szOID_RSA_signingTime), 1, &timeValue};
    PCCERT_CONTEXT rgpMsgCert[] = {pCert};

    CRYPT_SIGN_MESSAGE_PARA para = {};
    // The structure without the optional fields after dwInnerContentType (68 bytes on 32-bit Windows).
    para.cbSize = offsetof(CRYPT_SIGN_MESSAGE_PARA, dwInnerContentType) + sizeof(DWORD);
    para.dwMsgEncodingType = kEncoding;
    para.pSigningCert = pCert;
    para.HashAlgorithm.pszObjId = const_cast<LPSTR>(szOID_OIWSEC_sha1);
    para.cMsgCert = 1;
    para.rgpMsgCert = rgpMsgCert;
    para.cAuthAttr = 1;
    para.rgAuthAttr = &signingTime;

    const BYTE *rgpbToBeSigned[] = {pbContent};
    DWORD rgcbToBeSigned[] = {cbContent};
    bOk = CryptSignMessage(&para, TRUE, 1, rgpbToBeSigned, rgcbToBeSigned, pbSignature, pcbSignature);
  }
  if (!bOk) {
    SetCryptoError(GetLastError());
    return FALSE;
  }
  return TRUE;
}

void Base64Encode(char *pszDest, const BYTE *pbSource, DWORD cbSource) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  DWORD i = 0;
  for (; i + 3 <= cbSource; i += 3) {
    const DWORD group = (DWORD{pbSource[i]} << 16) | (DWORD{pbSource[i + 1]} << 8) | pbSource[i + 2];
    *pszDest++ = kAlphabet[(group >> 18) & 0x3F];
    *pszDest++ = kAlphabet[(group >> 12) & 0x3F];
    *pszDest++ = kAlphabet[(group >> 6) & 0x3F];
    *pszDest++ = kAlphabet[group & 0x3F];
  }
  const DWORD cbLeft = cbSource - i;
  if (cbLeft > 0) {
    const DWORD group = (DWORD{pbSource[i]} << 16) | (cbLeft == 2 ? DWORD{pbSource[i + 1]} << 8 : 0);
    *pszDest++ = kAlphabet[(group >> 18) & 0x3F];
    *pszDest++ = kAlphabet[(group >> 12) & 0x3F];
    *pszDest++ = cbLeft == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    *pszDest++ = '=';
  }
  *pszDest = '\0';
}
