// cert_store_fuzz.cc - fuzzes the parsers behind a store folder's files: the property file reader, the folder's index and certificate context creation.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/crypto/cert_properties.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/crypt_object.h"
#include "platform/crypto/store_index.h"

/*
 * Every input is read both ways:
 *   - as a property file: one that parses must serialize to at most its own size (unknown
 *     records are dropped) and parse back to the same properties; its key-provider property
 *     must flatten into a buffer of exactly the size it asks for, read back equal, and refuse a
 *     buffer one byte short;
 *   - as a folder's index: one that parses has no line numbered above its highest number, and
 *     its last line's thumbprint finds that line's number;
 *   - as a DER certificate: a context that is created has every byte it points to read (so the
 *     sanitizer sees any pointer out of bounds), its names and key usage decoded, and its
 *     references counted up and down.
 * Output buffers are heap blocks of exactly the size passed.
 */
namespace {

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "cert_store_fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char *what) {
  if (!ok) fail(what);
}

volatile BYTE g_sink;

void touch(const BYTE *data, size_t nbytes) {
  BYTE sum = 0;
  for (size_t i = 0; i < nbytes; ++i) sum = static_cast<BYTE>(sum + data[i]);
  g_sink = sum;
}

void touch(const CRYPTOAPI_BLOB &blob) { touch(blob.pbData, blob.cbData); }
void touch(const char *text) { touch(reinterpret_cast<const BYTE *>(text), std::strlen(text)); }

void check_key_prov(const certprops::KeyProvInfo &model) {
  const flat::Builder flat = certprops::flatten(model);
  DWORD size = 0;
  check(flat.deliver(nullptr, &size) && size == flat.size(), "the size query disagrees with the layout");
  std::unique_ptr<BYTE[]> exact(new BYTE[size]);
  DWORD given = size;
  check(flat.deliver(exact.get(), &given) && given == size, "the exact buffer was refused");
  const auto *info = reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(exact.get());
  certprops::KeyProvInfo read_back;
  check(certprops::key_prov_from_struct(*info, &read_back) && read_back == model,
        "the flat structure does not read back as the model");
  std::unique_ptr<BYTE[]> small(new BYTE[size - 1]);
  given = size - 1;
  check(!flat.deliver(small.get(), &given) && GetLastError() == ERROR_MORE_DATA && given == size,
        "a buffer one byte short was accepted");
}

void check_properties(const BYTE *data, size_t nbytes) {
  certprops::Properties properties;
  if (!certprops::parse(data, nbytes, &properties)) return;
  const std::vector<BYTE> written = certprops::serialize(properties);
  check(written.size() <= nbytes, "serializing grew the file");
  certprops::Properties reread;
  check(certprops::parse(written.data(), written.size(), &reread) && reread == properties,
        "serialized properties do not parse back the same");
  if (properties.key_prov) check_key_prov(*properties.key_prov);
}

void check_index(const BYTE *data, size_t nbytes) {
  using certstore::kIndexLineNbytes;
  const std::string_view text(reinterpret_cast<const char *>(data), nbytes);
  certstore::FolderIndex index;
  if (!index.parse(text) || text.size() < kIndexLineNbytes + 1 || text[text.size() - kIndexLineNbytes - 1] != '\n')
    return;
  const std::string_view last = text.substr(text.size() - kIndexLineNbytes);
  const std::optional<uint32_t> number = certstore::number_of(last.substr(0, certstore::kNumberDigits));
  check(number.has_value(), "a parsed index ends in a line without a number");
  check(*number <= index.highest(), "a line is numbered above the highest number");
  const std::vector<uint32_t> found =
      index.numbers_of(std::string(last.substr(certstore::kNumberDigits + 1, certstore::kThumbprintDigits)));
  check(std::find(found.begin(), found.end(), *number) != found.end(), "the last line's thumbprint misses its number");
}

void decode(LPCSTR type, const CRYPTOAPI_BLOB &blob) {
  DWORD size = 0;
  if (!CryptDecodeObject(X509_ASN_ENCODING, type, blob.pbData, blob.cbData, 0, nullptr, &size)) return;
  std::unique_ptr<BYTE[]> out(new BYTE[size]);
  check(CryptDecodeObject(X509_ASN_ENCODING, type, blob.pbData, blob.cbData, 0, out.get(), &size),
        "decoding failed after its size query succeeded");
}

void check_certificate(const BYTE *data, size_t nbytes) {
  PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING, data, static_cast<DWORD>(nbytes));
  if (context == nullptr) return;
  check(context->cbCertEncoded == nbytes && std::memcmp(context->pbCertEncoded, data, nbytes) == 0,
        "the context does not hold the bytes given");
  const CERT_INFO &info = *context->pCertInfo;
  touch(info.SerialNumber);
  touch(info.SignatureAlgorithm.pszObjId);
  touch(info.SignatureAlgorithm.Parameters);
  touch(info.Issuer);
  touch(info.Subject);
  touch(info.SubjectPublicKeyInfo.Algorithm.pszObjId);
  touch(info.SubjectPublicKeyInfo.Algorithm.Parameters);
  touch(info.SubjectPublicKeyInfo.PublicKey.pbData, info.SubjectPublicKeyInfo.PublicKey.cbData);
  touch(info.IssuerUniqueId.pbData, info.IssuerUniqueId.cbData);
  touch(info.SubjectUniqueId.pbData, info.SubjectUniqueId.cbData);
  for (DWORD i = 0; i < info.cExtension; ++i) {
    touch(info.rgExtension[i].pszObjId);
    touch(info.rgExtension[i].Value);
  }
  decode(X509_NAME, info.Issuer);
  decode(X509_NAME, info.Subject);
  if (PCERT_EXTENSION usage = CertFindExtension(szOID_KEY_USAGE, info.cExtension, info.rgExtension))
    decode(X509_KEY_USAGE, usage->Value);
  BYTE hash[20];
  DWORD hash_nbytes = sizeof hash;
  check(CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash, &hash_nbytes) && hash_nbytes == 20,
        "no SHA-1 hash");
  check(CertDuplicateCertificateContext(context) == context, "a duplicate is another context");
  CertFreeCertificateContext(context);
  CertFreeCertificateContext(context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  check_properties(data, size);
  check_index(data, size);
  check_certificate(data, size);
  return 0;
}
