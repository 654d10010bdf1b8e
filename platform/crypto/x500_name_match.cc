// x500_name_match.cc - CertIsRDNAttrsInCertificateName and CertFindRDNAttr: looking for attributes in names.
#include <cstring>

#include "platform/base/last_error.h"
#include "platform/crypto/name_codec.h"
#include "platform/crypto/x500_name.h"

namespace {

// A NULL OID, CERT_RDN_ANY_TYPE or a NULL value stands for any; a value compares byte for byte
// with the decoded form (a non-NULL value of length 0 therefore matches only an empty value).
bool matches(const CERT_RDN_ATTR &wanted, const x500::Attribute &attr) {
  if (wanted.pszObjId != nullptr && attr.oid != wanted.pszObjId) return false;
  const DWORD type = wanted.dwValueType & CERT_RDN_TYPE_MASK;
  if (type != CERT_RDN_ANY_TYPE && type != attr.value_type) return false;
  if (wanted.Value.pbData == nullptr) return true;
  return wanted.Value.cbData == attr.value.size() &&
         (attr.value.empty() || std::memcmp(wanted.Value.pbData, attr.value.data(), attr.value.size()) == 0);
}

bool name_has(const x500::Name &name, const CERT_RDN_ATTR &wanted) {
  for (const x500::Rdn &rdn : name) {
    for (const x500::Attribute &attr : rdn) {
      if (matches(wanted, attr)) return true;
    }
  }
  return false;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

BOOL CertIsRDNAttrsInCertificateName(DWORD, DWORD dwFlags, PCERT_NAME_BLOB pCertName, PCERT_RDN pRDN) {
  if (dwFlags != 0 || pCertName == nullptr || pRDN == nullptr || (pRDN->cRDNAttr != 0 && pRDN->rgRDNAttr == nullptr))
    return fail(E_INVALIDARG);
  if (pCertName->pbData == nullptr && pCertName->cbData != 0) return fail(CRYPT_E_ASN1_CORRUPT);
  const std::optional<x500::Name> name = x500::decode_name(pCertName->pbData, pCertName->cbData);
  if (!name) return fail(CRYPT_E_ASN1_CORRUPT);
  for (DWORD i = 0; i < pRDN->cRDNAttr; ++i) {
    if (!name_has(*name, pRDN->rgRDNAttr[i])) return fail(CRYPT_E_NO_MATCH);
  }
  return TRUE;
}

PCERT_RDN_ATTR CertFindRDNAttr(LPCSTR pszObjId, PCERT_NAME_INFO pName) {
  if (pszObjId == nullptr || pName == nullptr) return nullptr;
  for (DWORD i = 0; i < pName->cRDN; ++i) {
    const CERT_RDN &rdn = pName->rgRDN[i];
    for (DWORD k = 0; k < rdn.cRDNAttr; ++k) {
      if (rdn.rgRDNAttr[k].pszObjId != nullptr && std::strcmp(rdn.rgRDNAttr[k].pszObjId, pszObjId) == 0)
        return &rdn.rgRDNAttr[k];
    }
  }
  return nullptr;
}
