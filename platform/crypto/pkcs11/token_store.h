// token_store.h - how the current user's "MY" store gathers the certificates of the user's tokens after its own (internal).
#pragma once

#include <memory>
#include <vector>

#include "platform/crypto/store_folder.h"
#include "platform/crypto/store_model.h"

namespace certstore {

// Token records are numbered after every number a folder can give, so they enumerate last.
constexpr uint32_t kFirstTokenSequence = kMaxSequence + 1;

struct TokenRecords {
  std::shared_ptr<p11::ModuleSet> modules;
  std::vector<std::unique_ptr<Record>> records;
};

// The records of every token certificate with its key (see pkcs11/token_certificates.h), each
// with a key-provider property naming the PKCS #11 provider and its key's URI. Slow: called
// without the model's lock.
TokenRecords gather_token_records();

// Lists the records in `store` after its own, in their order, and keeps the modules loaded for
// as long as the store lives. Called with the model's lock held.
void attach_token_records(Store *store, TokenRecords gathered);

}  // namespace certstore
