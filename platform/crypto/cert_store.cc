// cert_store.cc - the current user's system stores: open, close, enumerate, add and delete, over the store folders.
#include "platform/crypto/cert_store.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/crypto/store_folder.h"
#include "platform/crypto/store_model.h"
#include "platform/crypto/pkcs11/token_store.h"

namespace {

using certstore::Record;
using certstore::Store;

constexpr DWORD kLocationMask = 0x00FF0000;
constexpr DWORD kOpenFlags = CERT_STORE_READONLY_FLAG | CERT_STORE_OPEN_EXISTING_FLAG;
constexpr size_t kMaxStoreNameLength = 64;

template <typename T>
T fail(DWORD error, T result) {
  SetLastError(error);
  return result;
}

BOOL fail(DWORD error) { return fail(error, FALSE); }

// The folder name for a store name: 1 to 64 ASCII letters, digits, '-', '_' or '.', not starting
// with '.', in upper case, since store names are compared without regard to case.
bool folder_name_of(const WCHAR *name, std::string *upper) {
  upper->clear();
  for (const WCHAR *c = name; *c != 0; ++c) {
    const bool letter = (*c >= u'a' && *c <= u'z') || (*c >= u'A' && *c <= u'Z');
    const bool other = (*c >= u'0' && *c <= u'9') || *c == u'-' || *c == u'_' || (*c == u'.' && c != name);
    if ((!letter && !other) || upper->size() == kMaxStoreNameLength) return false;
    upper->push_back(static_cast<char>(*c >= u'a' && *c <= u'z' ? *c - u'a' + u'A' : *c));
  }
  return !upper->empty();
}

DWORD load_store(Store *store) {
  std::vector<certstore::FolderEntry> entries;
  if (DWORD error = certstore::load_folder(store->folder, &entries, &store->highest_sequence)) return error;
  for (certstore::FolderEntry &entry : entries) {
    std::unique_ptr<Record> record = certstore::make_record(entry.der.data(), entry.der.size());
    if (!record) continue;  // a damaged certificate file is skipped
    record->properties = std::move(entry.properties);
    record->sequence = entry.sequence;
    record->listed = true;
    record->store = store;
    record->header.context.hCertStore = store;
    store->listed.push_back(record.release());
  }
  return ERROR_SUCCESS;
}

// A certificate of the store's folder; a token's are not the folder's to replace.
Record *find_listed(const Store &store, const BYTE *sha1) {
  for (Record *record : store.listed) {
    if (!record->on_token && std::memcmp(record->sha1, sha1, certstore::kSha1Nbytes) == 0) return record;
  }
  return nullptr;
}

// Puts `fresh` in the place of `old`, under the same number, and unlists `old`.
DWORD replace_listed(Store *store, Record *old, Record *fresh) {
  if (DWORD error = certstore::replace_files(store->folder, old->sequence, fresh->der)) return error;
  fresh->sequence = old->sequence;
  *std::find(store->listed.begin(), store->listed.end(), old) = fresh;
  old->listed = false;
  store->unlisted.push_back(old);
  certstore::end_if_unused(old);
  return ERROR_SUCCESS;
}

DWORD append_listed(Store *store, Record *fresh) {
  uint32_t sequence = store->highest_sequence;
  const DWORD error = certstore::add_files(store->folder, fresh->der, &sequence);
  store->highest_sequence = sequence;
  if (error != ERROR_SUCCESS) return error;
  fresh->sequence = sequence;
  store->listed.push_back(fresh);
  return ERROR_SUCCESS;
}

}  // namespace

HCERTSTORE CertOpenStore(LPCSTR lpszStoreProvider, DWORD, HCRYPTPROV_LEGACY, DWORD dwFlags, const void *pvPara) {
  if (lpszStoreProvider != CERT_STORE_PROV_SYSTEM_W) return fail<HCERTSTORE>(ERROR_FILE_NOT_FOUND, nullptr);
  std::string name;
  if ((dwFlags & kLocationMask) != CERT_SYSTEM_STORE_CURRENT_USER || (dwFlags & ~kLocationMask & ~kOpenFlags) != 0 ||
      pvPara == nullptr || !folder_name_of(static_cast<const WCHAR *>(pvPara), &name))
    return fail<HCERTSTORE>(E_INVALIDARG, nullptr);

  auto store = std::make_unique<Store>();
  store->folder = certstore::store_folder(name);
  store->read_only = dwFlags & CERT_STORE_READONLY_FLAG;
  const bool must_exist = dwFlags & CERT_STORE_OPEN_EXISTING_FLAG;
  // Only a store that may be written to is created; a missing one opened read-only is empty.
  if (!must_exist && !store->read_only) {
    if (DWORD error = platform::make_private_folders(store->folder)) return fail<HCERTSTORE>(error, nullptr);
  }
  // The current user's personal store also lists the certificates of the user's tokens, after its own.
  certstore::TokenRecords tokens;
  if (name == "MY") tokens = certstore::gather_token_records();
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  DWORD error = load_store(store.get());
  if (error == ERROR_FILE_NOT_FOUND && store->read_only && !must_exist) error = ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return fail<HCERTSTORE>(error, nullptr);
  certstore::attach_token_records(store.get(), std::move(tokens));
  return store.release();
}

BOOL CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags) {
  if (hCertStore == nullptr) return TRUE;
  Store *store = static_cast<Store *>(hCertStore);
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  if (dwFlags & CERT_CLOSE_STORE_FORCE_FLAG) {
    certstore::destroy_store(store);
    return TRUE;
  }
  store->open = false;
  // Each unreferenced record ends now; ending the last one ends the store.
  const std::vector<Record *> listed = store->listed;
  if (listed.empty() && store->unlisted.empty()) {
    delete store;
    return TRUE;
  }
  for (Record *record : listed) certstore::end_if_unused(record);
  return TRUE;
}

PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pPrevCertContext) {
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  Record *previous = pPrevCertContext != nullptr ? certstore::record_of(pPrevCertContext) : nullptr;
  Store *store = static_cast<Store *>(hCertStore);
  Record *next = nullptr;
  DWORD error = CRYPT_E_NOT_FOUND;
  if (store == nullptr || (previous != nullptr && previous->store != store)) {
    error = E_INVALIDARG;
  } else {
    // The lowest number above the previous one rather than the next position, so that deleting
    // `previous` meanwhile skips nothing and a certificate added after the tokens' still comes
    // before them.
    for (Record *record : store->listed) {
      if ((previous == nullptr || record->sequence > previous->sequence) &&
          (next == nullptr || record->sequence < next->sequence))
        next = record;
    }
  }
  if (next != nullptr) ++next->references;
  if (previous != nullptr) certstore::release(previous);
  if (next == nullptr) return fail<PCCERT_CONTEXT>(error, nullptr);
  return &next->header.context;
}

BOOL CertAddEncodedCertificateToStore(HCERTSTORE hCertStore, DWORD dwCertEncodingType, const BYTE *pbCertEncoded,
                                      DWORD cbCertEncoded, DWORD dwAddDisposition, PCCERT_CONTEXT *ppCertContext) {
  if (ppCertContext != nullptr) *ppCertContext = nullptr;
  Store *store = static_cast<Store *>(hCertStore);
  if (store == nullptr || !(dwCertEncodingType & X509_ASN_ENCODING) || dwAddDisposition < CERT_STORE_ADD_NEW ||
      dwAddDisposition > CERT_STORE_ADD_ALWAYS)
    return fail(E_INVALIDARG);
  std::unique_ptr<Record> fresh = certstore::make_record(pbCertEncoded, cbCertEncoded);
  if (!fresh) return fail(CRYPT_E_ASN1_CORRUPT);

  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  if (store->read_only) return fail(ERROR_ACCESS_DENIED);
  Record *existing = dwAddDisposition == CERT_STORE_ADD_ALWAYS ? nullptr : find_listed(*store, fresh->sha1);
  Record *result = existing;
  if (existing != nullptr && dwAddDisposition == CERT_STORE_ADD_NEW) return fail(CRYPT_E_EXISTS);
  if (existing == nullptr || dwAddDisposition == CERT_STORE_ADD_REPLACE_EXISTING) {
    fresh->store = store;
    fresh->header.context.hCertStore = store;
    fresh->listed = true;
    const DWORD error = existing != nullptr ? replace_listed(store, existing, fresh.get())
                                            : append_listed(store, fresh.get());
    if (error != ERROR_SUCCESS) return fail(error);
    result = fresh.release();
  }
  if (ppCertContext != nullptr) {
    ++result->references;
    *ppCertContext = &result->header.context;
  }
  return TRUE;
}

BOOL CertDeleteCertificateFromStore(PCCERT_CONTEXT pCertContext) {
  if (pCertContext == nullptr) return fail(E_INVALIDARG);
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  Record *record = certstore::record_of(pCertContext);
  Store *store = record->store;
  DWORD error = ERROR_SUCCESS;
  if (store == nullptr) {
    error = E_INVALIDARG;
  } else if (store->read_only || record->on_token) {
    error = ERROR_ACCESS_DENIED;
  } else if (!record->listed) {
    error = CRYPT_E_NOT_FOUND;
  } else {
    error = certstore::remove_files(store->folder, record->sequence);
  }
  if (error == ERROR_SUCCESS) {
    store->listed.erase(std::find(store->listed.begin(), store->listed.end(), record));
    record->listed = false;
    store->unlisted.push_back(record);
  }
  certstore::release(record);
  return error == ERROR_SUCCESS ? TRUE : fail(error);
}
