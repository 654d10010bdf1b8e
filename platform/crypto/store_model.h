// store_model.h - the in-memory certificate stores and reference-counted contexts behind the store and context functions (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/crypto/cert_properties.h"
#include "platform/crypto/wincrypt_types.h"

namespace p11 {
class ModuleSet;
}

namespace certstore {

struct Record;
struct Store;

// The CERT_CONTEXT a caller holds comes first, so a PCCERT_CONTEXT converts back to its header
// (both are standard layout) and the header leads to its record.
struct ContextHeader {
  CERT_CONTEXT context;
  Record *record;
};

constexpr size_t kSha1Nbytes = 20;

// One certificate. `references` counts the callers' references; a store lists its certificates
// without holding one, so a listed record lives while its store is open and a record that no
// open store lists dies with its last reference. CertCloseStore with the force flag ends every
// record of the store at once.
struct Record {
  ContextHeader header;
  std::vector<BYTE> der;
  std::unique_ptr<BYTE[]> info_block;  // the self-contained CERT_INFO
  BYTE sha1[kSha1Nbytes];
  certprops::Properties properties;
  int references = 0;
  uint32_t sequence = 0;  // the number of its files in the store's folder
  bool listed = false;
  Store *store = nullptr;
  // A certificate of one of the user's tokens, not of the store's folder: listed after the
  // folder's, never written or deleted (see pkcs11/token_store.h).
  bool on_token = false;
  std::u16string source;  // on a token: where it comes from, as QUILLORA_SOURCE_PROP_ID gives it
};

// An opened store. Every record it made is in `listed` (enumerated by ascending sequence: the
// order of addition, then the tokens' certificates) or, once deleted or replaced but still
// referenced, in `unlisted`. The folder's certificates are decoded when first enumerated, so that
// opening a store to add to it costs no more than a check of its folder, and so are the tokens'
// certificates; until then `listed` holds only what this store added or looked up. A store closed without the force flag lives on,
// closed, until its last record dies.
struct Store {
  std::string folder;
  bool read_only = false;
  bool open = true;
  bool complete = false;          // every certificate the folder held when enumerated is listed
  bool tokens_pending = false;    // "MY" gathers its tokens' certificates at its first enumeration
  uint32_t highest_sequence = 0;  // the highest number seen, so none is given out twice
  std::vector<Record *> listed;
  std::vector<Record *> unlisted;
  std::shared_ptr<p11::ModuleSet> token_modules;  // loaded while the tokens' records may sign
};

// Guards every store and record; store and context calls hold it throughout, file writes included.
std::mutex &model_mutex();

inline Record *record_of(PCCERT_CONTEXT context) {
  return reinterpret_cast<const ContextHeader *>(context)->record;
}

// A record for the DER certificate, in no store and without references; NULL when the bytes
// are not one certificate.
std::unique_ptr<Record> make_record(const BYTE *der, size_t der_nbytes);

// Drops one reference and ends the record (and its closed store) when nothing keeps it.
void release(Record *record);

// Ends the record if nothing keeps it any more: no references, and no open store lists it.
void end_if_unused(Record *record);

// Ends every record of the store, whatever its references, and the store itself.
void destroy_store(Store *store);

}  // namespace certstore
