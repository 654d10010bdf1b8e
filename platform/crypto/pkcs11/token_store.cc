// token_store.cc - token certificates as records of the "MY" store, with the PKCS #11 provider's key-provider property.
#include "platform/crypto/pkcs11/token_store.h"

#include "platform/codepage/utf8.h"
#include "platform/crypto/key_provider.h"
#include "platform/crypto/pkcs11/module_set.h"
#include "platform/crypto/pkcs11/token_certificates.h"

namespace certstore {
namespace {

// Key URIs and provider names are ASCII.
std::u16string widen(const std::string &text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

TokenRecords gather_token_records() {
  TokenRecords gathered;
  gathered.modules = p11::acquire_modules();
  if (!gathered.modules) return gathered;
  for (p11::TokenCertificate &certificate : p11::token_certificates(*gathered.modules)) {
    std::unique_ptr<Record> record = make_record(certificate.der.data(), certificate.der.size());
    if (!record) continue;
    certprops::KeyProvInfo &key = record->properties.key_prov.emplace();
    key.container = widen(certificate.key_uri);
    key.provider = widen(QUILLORA_PKCS11_PROVIDER_A);
    key.prov_type = certificate.ec_key ? PROV_EC_ECDSA_FULL : PROV_RSA_FULL;
    key.key_spec = AT_SIGNATURE;
    record->on_token = true;
    record->source = codepage::utf16_from_utf8_replacing(reinterpret_cast<const uint8_t *>(certificate.source.data()),
                                                         certificate.source.size());
    gathered.records.push_back(std::move(record));
  }
  return gathered;
}

void attach_token_records(Store *store, TokenRecords gathered) {
  uint32_t sequence = kFirstTokenSequence;
  for (std::unique_ptr<Record> &record : gathered.records) {
    record->sequence = sequence++;
    record->listed = true;
    record->store = store;
    record->header.context.hCertStore = store;
    store->listed.push_back(record.release());
  }
  store->token_modules = std::move(gathered.modules);
}

}  // namespace certstore
