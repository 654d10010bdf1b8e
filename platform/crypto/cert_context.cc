// cert_context.cc - certificate contexts: creation, references, properties and extension lookup.
#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "platform/base/last_error.h"
#include "platform/crypto/cert_info.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/store_folder.h"
#include "platform/crypto/store_model.h"

static_assert(std::is_standard_layout_v<certstore::ContextHeader>);

namespace certstore {
namespace {

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

void erase_from(std::vector<Record *> *records, Record *record) {
  records->erase(std::remove(records->begin(), records->end(), record), records->end());
}

}  // namespace

std::mutex &model_mutex() {
  static std::mutex mutex;
  return mutex;
}

std::unique_ptr<Record> make_record(const BYTE *der, size_t der_nbytes) {
  std::optional<flat::Builder> info = certinfo::decode_certificate(der, der_nbytes);
  // What OpenSSL queued about a rejected certificate is of no use to anyone after this.
  ERR_clear_error();
  if (!info) return nullptr;
  auto record = std::make_unique<Record>();
  record->der.assign(der, der + der_nbytes);
  record->info_block = std::make_unique<BYTE[]>(info->size());
  info->copy_to(record->info_block.get());
  if (EVP_Digest(der, der_nbytes, record->sha1, nullptr, EVP_sha1(), nullptr) != 1) return nullptr;
  CERT_CONTEXT &context = record->header.context;
  context.dwCertEncodingType = X509_ASN_ENCODING;
  context.pbCertEncoded = record->der.data();
  context.cbCertEncoded = static_cast<DWORD>(record->der.size());
  context.pCertInfo = reinterpret_cast<PCERT_INFO>(record->info_block.get());
  record->header.record = record.get();
  return record;
}

void end_if_unused(Record *record) {
  Store *store = record->store;
  if (record->references > 0 || (record->listed && store->open)) return;
  if (store != nullptr) {
    erase_from(record->listed ? &store->listed : &store->unlisted, record);
    if (!store->open && store->listed.empty() && store->unlisted.empty()) delete store;
  }
  delete record;
}

void release(Record *record) {
  --record->references;
  end_if_unused(record);
}

void destroy_store(Store *store) {
  for (Record *record : store->listed) delete record;
  for (Record *record : store->unlisted) delete record;
  delete store;
}

}  // namespace certstore

using certstore::Record;

PCCERT_CONTEXT CertCreateCertificateContext(DWORD dwCertEncodingType, const BYTE *pbCertEncoded,
                                            DWORD cbCertEncoded) {
  if (!(dwCertEncodingType & X509_ASN_ENCODING)) {
    SetLastError(E_INVALIDARG);
    return nullptr;
  }
  std::unique_ptr<Record> record = certstore::make_record(pbCertEncoded, cbCertEncoded);
  if (!record) {
    SetLastError(CRYPT_E_ASN1_CORRUPT);
    return nullptr;
  }
  record->references = 1;
  return &record.release()->header.context;
}

PCCERT_CONTEXT CertDuplicateCertificateContext(PCCERT_CONTEXT pCertContext) {
  if (pCertContext == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  ++certstore::record_of(pCertContext)->references;
  return pCertContext;
}

BOOL CertFreeCertificateContext(PCCERT_CONTEXT pCertContext) {
  if (pCertContext == nullptr) return TRUE;
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  certstore::release(certstore::record_of(pCertContext));
  return TRUE;
}

BOOL CertGetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, void *pvData,
                                       DWORD *pcbData) {
  if (pCertContext == nullptr || pcbData == nullptr) return certstore::fail(E_INVALIDARG);
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  const Record *record = certstore::record_of(pCertContext);
  flat::Builder out;
  if (dwPropId == CERT_SHA1_HASH_PROP_ID) {
    out.add(record->sha1, sizeof record->sha1, 1);
  } else if (dwPropId == CERT_KEY_PROV_INFO_PROP_ID && record->properties.key_prov) {
    out = certprops::flatten(*record->properties.key_prov);
  } else if (dwPropId == QUILLORA_SOURCE_PROP_ID && record->on_token) {
    out.add(record->source.c_str(), (record->source.size() + 1) * sizeof(char16_t), alignof(char16_t));
  } else {
    return certstore::fail(CRYPT_E_NOT_FOUND);
  }
  return out.deliver(pvData, pcbData);
}

BOOL CertSetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, DWORD,
                                       const void *pvData) {
  if (pCertContext == nullptr || dwPropId != CERT_KEY_PROV_INFO_PROP_ID) return certstore::fail(E_INVALIDARG);
  certprops::Properties changed;
  if (pvData != nullptr &&
      !certprops::key_prov_from_struct(*static_cast<const CRYPT_KEY_PROV_INFO *>(pvData), &changed.key_prov.emplace()))
    return certstore::fail(E_INVALIDARG);
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  Record *record = certstore::record_of(pCertContext);
  // A token's certificate has the properties its token gives it.
  if (record->on_token) return certstore::fail(ERROR_ACCESS_DENIED);
  // A certificate that its store still lists keeps its properties on disk as well.
  if (record->listed) {
    const std::string &folder = record->store->folder;
    if (record->store->read_only) return certstore::fail(ERROR_ACCESS_DENIED);
    privfile::Lock folder_lock;
    DWORD error = folder_lock.acquire(certstore::lock_path(folder), true);
    if (error == ERROR_SUCCESS) error = certstore::write_properties(folder, record->sequence, changed);
    if (error != ERROR_SUCCESS) return certstore::fail(error);
  }
  record->properties = std::move(changed);
  return TRUE;
}

PCERT_EXTENSION CertFindExtension(LPCSTR pszObjId, DWORD cExtensions, CERT_EXTENSION rgExtensions[]) {
  if (pszObjId != nullptr && rgExtensions != nullptr) {
    for (DWORD i = 0; i < cExtensions; ++i) {
      if (rgExtensions[i].pszObjId != nullptr && std::strcmp(rgExtensions[i].pszObjId, pszObjId) == 0)
        return &rgExtensions[i];
    }
  }
  SetLastError(CRYPT_E_NOT_FOUND);
  return nullptr;
}
