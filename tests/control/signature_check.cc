// signature_check.cc - Base64 decoding and detached-signature verification with OpenSSL.
#include "tests/control/signature_check.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

namespace signature_check {

std::vector<uint8_t> base64_decode(const std::string &text) {
  std::vector<uint8_t> bytes(text.size() / 4 * 3);
  const int n = EVP_DecodeBlock(bytes.data(), reinterpret_cast<const unsigned char *>(text.data()),
                                static_cast<int>(text.size()));
  if (n < 0) return {};
  size_t padding = 0;
  for (size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) ++padding;
  bytes.resize(static_cast<size_t>(n) - padding);
  return bytes;
}

std::vector<uint8_t> verified_signer(const std::string &base64, const std::string &content) {
  const std::vector<uint8_t> der = base64_decode(base64);
  const unsigned char *p = der.data();
  PKCS7 *p7 = d2i_PKCS7(nullptr, &p, static_cast<long>(der.size()));
  if (p7 == nullptr) return {};
  BIO *data = BIO_new_mem_buf(content.data(), static_cast<int>(content.size()));
  std::vector<uint8_t> signer;
  if (PKCS7_verify(p7, nullptr, nullptr, data, nullptr, PKCS7_NOVERIFY | PKCS7_BINARY) == 1) {
    STACK_OF(X509) *signers = PKCS7_get0_signers(p7, nullptr, 0);
    if (signers != nullptr && sk_X509_num(signers) == 1) {
      unsigned char *out = nullptr;
      const int n = i2d_X509(sk_X509_value(signers, 0), &out);
      if (n > 0) signer.assign(out, out + n);
      OPENSSL_free(out);
    }
    sk_X509_free(signers);
  }
  BIO_free(data);
  PKCS7_free(p7);
  return signer;
}

}  // namespace signature_check
