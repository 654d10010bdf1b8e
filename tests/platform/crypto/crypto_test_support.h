// crypto_test_support.h - what the store, key and signature tests share: a fresh data root per test, certificates from the factory, a scripted passphrase asker.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/crypto/cert_store.h"
#include "platform/ui/passphrase_prompt.h"
#include "tests/support/data_root_test.h"
#include "tools/cert_factory/cert_factory.h"

namespace crypto_test {

using Bytes = std::vector<uint8_t>;

using testsupport::DataRootTest;
using testsupport::shared_key;

// A certificate of the shared key; distinct serials give distinct certificates.
inline Bytes make_cert(certs::CertificateRequest request, EVP_PKEY *key = shared_key()) {
  std::string error;
  std::optional<certs::MadeCertificate> made = certs::make_certificate(request, &error, key);
  if (!made) {
    ADD_FAILURE() << error;
    return {};
  }
  return made->der;
}

inline Bytes cert_with_serial(uint8_t serial) {
  certs::CertificateRequest request;
  request.serial = {serial};
  return make_cert(request);
}

inline std::optional<Bytes> read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  const std::string s = content.str();
  return Bytes(s.begin(), s.end());
}

inline void write_file(const std::string &path, const Bytes &content) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(content.data()), content.size());
}

inline mode_t mode_of(const std::string &path) {
  struct stat st = {};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

inline HCERTSTORE open_my(DWORD extra_flags = 0) {
  return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                       CERT_SYSTEM_STORE_CURRENT_USER | extra_flags, u"MY");
}

// The DER of every certificate, in enumeration order.
inline std::vector<Bytes> enumerate(HCERTSTORE store) {
  std::vector<Bytes> out;
  PCCERT_CONTEXT context = nullptr;
  while ((context = CertEnumCertificatesInStore(store, context)) != nullptr)
    out.emplace_back(context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded);
  return out;
}

// Installs an asker that answers from a script and records every call; the fixture restores
// the default asker.
class ScriptedAsker {
 public:
  // Each answer is a passphrase, or nothing to decline.
  explicit ScriptedAsker(std::vector<std::optional<std::string>> answers) : answers_(std::move(answers)) {
    platform_ui::set_passphrase_asker([this](const std::string &what, int attempt, std::string *passphrase) {
      attempts_.push_back(attempt);
      subjects_.push_back(what);
      if (attempts_.size() > answers_.size() || !answers_[attempts_.size() - 1]) return false;
      *passphrase = *answers_[attempts_.size() - 1];
      return true;
    });
  }
  ~ScriptedAsker() { platform_ui::set_passphrase_asker(nullptr); }

  // The attempt numbers the provider passed, one per question asked.
  const std::vector<int> &attempts() const { return attempts_; }
  // What each question named.
  const std::vector<std::string> &subjects() const { return subjects_; }

 private:
  std::vector<std::optional<std::string>> answers_;
  std::vector<int> attempts_;
  std::vector<std::string> subjects_;
};

}  // namespace crypto_test
