// cert_store.cc - the current user's system stores: open, close, enumerate, add and delete, over the store folders.
#include "platform/crypto/cert_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/crypto/software_keys.h"
#include "platform/crypto/store_folder.h"
#include "platform/crypto/store_index.h"
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

bool by_sequence(const Record *a, const Record *b) { return a->sequence < b->sequence; }

Record *listed_at(const Store &store, uint32_t sequence) {
  Record key;
  key.sequence = sequence;
  const auto at = std::lower_bound(store.listed.begin(), store.listed.end(), &key, by_sequence);
  return at != store.listed.end() && (*at)->sequence == sequence ? *at : nullptr;
}

// Lists the record in its place by number; the store takes it over.
void list_record(Store *store, Record *record) {
  record->store = store;
  record->header.context.hCertStore = store;
  record->listed = true;
  store->listed.insert(std::upper_bound(store->listed.begin(), store->listed.end(), record, by_sequence), record);
}

void unlist_record(Store *store, Record *record) {
  store->listed.erase(std::find(store->listed.begin(), store->listed.end(), record));
  record->listed = false;
  store->unlisted.push_back(record);
  certstore::end_if_unused(record);
}

// Decodes the certificate under `sequence` into a listed record; NULL when it is unreadable.
Record *decode_entry(Store *store, uint32_t sequence) {
  certstore::FolderEntry entry;
  if (certstore::read_entry(store->folder, sequence, &entry) != ERROR_SUCCESS) return nullptr;
  std::unique_ptr<Record> record = certstore::make_record(entry.der.data(), entry.der.size());
  if (!record) return nullptr;  // a damaged certificate file is skipped
  record->properties = std::move(entry.properties);
  record->sequence = sequence;
  list_record(store, record.get());
  return record.release();
}

// What writers killed half-way left behind goes, when none is at work now.
void remove_leftovers(const Store &store, const certstore::Listing &listing) {
  privfile::Lock lock;
  if (lock.acquire(certstore::lock_path(store.folder), false) == ERROR_SUCCESS)
    certstore::remove_leftovers(store.folder, listing);
  softkeys::remove_stale_files();
}

// Decodes the certificates of the folder that the store does not list yet. The first time a
// writable store is read, it also clears what interrupted writers left.
DWORD complete_listing(Store *store) {
  if (store->complete) return ERROR_SUCCESS;
  certstore::Listing listing;
  if (DWORD error = certstore::list_folder(store->folder, &listing)) return error;
  if (!store->read_only) remove_leftovers(*store, listing);
  for (uint32_t sequence : listing.certificates) {
    if (listed_at(*store, sequence) == nullptr) decode_entry(store, sequence);
  }
  store->highest_sequence = std::max(store->highest_sequence, listing.highest_sequence);
  store->complete = true;
  return ERROR_SUCCESS;
}

// The tokens' certificates are gathered at the first enumeration rather than at the opening:
// loading their modules costs far more than an addition, and only a listing needs them.
void attach_pending_tokens(Store *store) {
  if (store == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(certstore::model_mutex());
    if (!store->tokens_pending) return;
  }
  certstore::TokenRecords tokens = certstore::gather_token_records();  // slow: without the lock
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  if (!store->tokens_pending) return;  // another thread attached them meanwhile
  store->tokens_pending = false;
  certstore::attach_token_records(store, std::move(tokens));
}

bool same_certificate(const Store &store, uint32_t sequence, const std::string &thumbprint) {
  if (const Record *record = listed_at(store, sequence)) return certstore::thumbprint_text(record->sha1) == thumbprint;
  std::vector<BYTE> der;
  return certstore::read_certificate(store.folder, sequence, &der) == ERROR_SUCCESS &&
         certstore::thumbprint_of(der.data(), der.size()) == thumbprint;
}

// The number of the first certificate in the folder equal to one with `thumbprint`. The index
// names the candidates, each confirmed from its bytes, so a line a removal left finds nothing.
std::optional<uint32_t> find_equal(const Store &store, const certstore::FolderIndex &index,
                                   const std::string &thumbprint) {
  for (uint32_t sequence : index.numbers_of(thumbprint)) {
    if (same_certificate(store, sequence, thumbprint)) return sequence;
  }
  return std::nullopt;
}

// Check-and-add under the folder's lock, against the folder as it is now rather than as this
// store saw it, so that two processes adding the same certificate add it once. The folder's index
// answers both questions without a listing, which would make each addition slower than the last.
DWORD add_record(Store *store, std::unique_ptr<Record> fresh, DWORD disposition, Record **result) {
  privfile::Lock lock;
  if (DWORD error = lock.acquire(certstore::lock_path(store->folder), true)) return error;
  certstore::FolderIndex index;
  if (!index.load(store->folder)) {
    if (DWORD error = index.rebuild(store->folder)) return error;
  }
  store->highest_sequence = std::max(store->highest_sequence, index.highest());
  const std::string thumbprint = certstore::thumbprint_text(fresh->sha1);
  const std::optional<uint32_t> existing =
      disposition == CERT_STORE_ADD_ALWAYS ? std::nullopt : find_equal(*store, index, thumbprint);
  if (existing && disposition == CERT_STORE_ADD_NEW) return CRYPT_E_EXISTS;
  if (existing && disposition == CERT_STORE_ADD_USE_EXISTING) {
    *result = listed_at(*store, *existing);
    if (*result == nullptr) *result = decode_entry(store, *existing);
    return *result != nullptr ? ERROR_SUCCESS : CRYPT_E_NOT_FOUND;
  }
  if (!existing && store->highest_sequence >= certstore::kMaxSequence) return ERROR_DISK_FULL;
  // A replacement keeps the place and number of the certificate it replaces.
  const uint32_t sequence = existing ? *existing : store->highest_sequence + 1;
  if (!existing) {
    if (DWORD error = index.note_addition(store->folder, sequence, thumbprint)) return error;
  }
  if (DWORD error = certstore::write_entry(store->folder, sequence, thumbprint, fresh->der, fresh->properties,
                                           existing ? privfile::Placement::kReplace : privfile::Placement::kNew))
    return error;
  store->highest_sequence = std::max(store->highest_sequence, sequence);
  if (existing) {
    if (Record *old = listed_at(*store, *existing)) unlist_record(store, old);
  }
  fresh->sequence = sequence;
  *result = fresh.get();
  list_record(store, fresh.release());
  return ERROR_SUCCESS;
}

BOOL add_to_store(HCERTSTORE hCertStore, const BYTE *der, DWORD der_nbytes, const certprops::Properties *properties,
                  DWORD dwAddDisposition, PCCERT_CONTEXT *ppCertContext) {
  if (ppCertContext != nullptr) *ppCertContext = nullptr;
  Store *store = static_cast<Store *>(hCertStore);
  if (store == nullptr || dwAddDisposition < CERT_STORE_ADD_NEW || dwAddDisposition > CERT_STORE_ADD_ALWAYS)
    return fail(E_INVALIDARG);
  std::unique_ptr<Record> fresh = certstore::make_record(der, der_nbytes);
  if (!fresh) return fail(CRYPT_E_ASN1_CORRUPT);

  if (properties != nullptr) fresh->properties = *properties;
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  if (store->read_only) return fail(ERROR_ACCESS_DENIED);
  Record *result = nullptr;
  if (DWORD error = add_record(store, std::move(fresh), dwAddDisposition, &result)) return fail(error);
  if (ppCertContext != nullptr) {
    ++result->references;
    *ppCertContext = &result->header.context;
  }
  return TRUE;
}

}  // namespace

HCERTSTORE CertOpenStore(LPCSTR lpszStoreProvider, DWORD, HCRYPTPROV_LEGACY, DWORD dwFlags, const void *pvPara) {
  if (lpszStoreProvider != CERT_STORE_PROV_SYSTEM_W) return fail<HCERTSTORE>(ERROR_FILE_NOT_FOUND, nullptr);
  std::string name;
  if ((dwFlags & kLocationMask) != CERT_SYSTEM_STORE_CURRENT_USER || (dwFlags & ~kLocationMask & ~kOpenFlags) != 0 ||
      pvPara == nullptr || !folder_name_of(static_cast<const WCHAR *>(pvPara), &name))
    return fail<HCERTSTORE>(E_INVALIDARG, nullptr);

  auto store = std::make_unique<Store>();
  if (DWORD error = certstore::store_folder(name, &store->folder)) return fail<HCERTSTORE>(error, nullptr);
  store->read_only = dwFlags & CERT_STORE_READONLY_FLAG;
  const bool must_exist = dwFlags & CERT_STORE_OPEN_EXISTING_FLAG;
  // Only a store that may be written to is created; a missing one opened read-only is empty.
  if (!must_exist && !store->read_only) {
    if (DWORD error = platform::make_private_folders(store->folder)) return fail<HCERTSTORE>(error, nullptr);
  }
  // Nothing of the folder is listed yet: a store opened to add to it costs no more than its folder's check.
  struct stat st;
  if (stat(store->folder.c_str(), &st) != 0) {
    const int error = errno;
    if (error != ENOENT || !store->read_only || must_exist)
      return fail<HCERTSTORE>(error == ENOTDIR ? ERROR_DIRECTORY : win_error_from_errno(error), nullptr);
    store->complete = true;
  } else if (!S_ISDIR(st.st_mode)) {
    return fail<HCERTSTORE>(ERROR_DIRECTORY, nullptr);
  }
  // The current user's personal store also lists the certificates of the user's tokens, after its own.
  store->tokens_pending = name == "MY";
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
  attach_pending_tokens(static_cast<Store *>(hCertStore));
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  Record *previous = pPrevCertContext != nullptr ? certstore::record_of(pPrevCertContext) : nullptr;
  Store *store = static_cast<Store *>(hCertStore);
  Record *next = nullptr;
  DWORD error = CRYPT_E_NOT_FOUND;
  if (store == nullptr || (previous != nullptr && previous->store != store)) {
    error = E_INVALIDARG;
  } else if (DWORD listing_error = complete_listing(store)) {
    error = listing_error;
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
  if (!(dwCertEncodingType & X509_ASN_ENCODING)) {
    if (ppCertContext != nullptr) *ppCertContext = nullptr;
    return fail(E_INVALIDARG);
  }
  return add_to_store(hCertStore, pbCertEncoded, cbCertEncoded, nullptr, dwAddDisposition, ppCertContext);
}

BOOL CertAddCertificateContextToStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pCertContext, DWORD dwAddDisposition,
                                      PCCERT_CONTEXT *ppStoreContext) {
  if (pCertContext == nullptr) {
    if (ppStoreContext != nullptr) *ppStoreContext = nullptr;
    return fail(E_INVALIDARG);
  }
  certprops::Properties properties;
  {
    std::lock_guard<std::mutex> lock(certstore::model_mutex());
    properties = certstore::record_of(pCertContext)->properties;
  }
  return add_to_store(hCertStore, pCertContext->pbCertEncoded, pCertContext->cbCertEncoded, &properties,
                      dwAddDisposition, ppStoreContext);
}

BOOL CertDeleteCertificateFromStore(PCCERT_CONTEXT pCertContext) {
  if (pCertContext == nullptr) return fail(E_INVALIDARG);
  std::lock_guard<std::mutex> lock(certstore::model_mutex());
  Record *record = certstore::record_of(pCertContext);
  Store *store = record->store;
  DWORD error = ERROR_SUCCESS;
  privfile::Lock folder_lock;
  if (store == nullptr) {
    error = E_INVALIDARG;
  } else if (store->read_only || record->on_token) {
    error = ERROR_ACCESS_DENIED;
  } else if (!record->listed) {
    error = CRYPT_E_NOT_FOUND;
  } else if ((error = folder_lock.acquire(certstore::lock_path(store->folder), true)) == ERROR_SUCCESS) {
    error = certstore::remove_entry(store->folder, record->sequence, certstore::thumbprint_text(record->sha1));
  }
  if (error == ERROR_SUCCESS) unlist_record(store, record);  // the caller's reference keeps it
  certstore::release(record);
  return error == ERROR_SUCCESS ? TRUE : fail(error);
}
