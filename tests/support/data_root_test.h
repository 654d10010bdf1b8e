// data_root_test.h - what every test of the user's stored data shares: a fresh platform data root per test, and one RSA key for all certificates.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <optional>
#include <string>

#include "platform/crypto/pkcs11/source_settings.h"
#include "platform/ui/passphrase_prompt.h"
#include "tests/support/scratch_folder.h"
#include "tools/cert_factory/cert_factory.h"

namespace testsupport {

// A test whose platform data root (QUILLORA_DATA_HOME) is a fresh folder, removed afterwards
// together with any passphrase asker the test installed. The data root's setting keeps the
// machine's tokens and NSS databases out of the "MY" store.
class DataRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_.emplace("quillora_data", "QUILLORA_DATA_HOME");
    root_ = scratch_->path();
    ASSERT_EQ(p11::write_settings({.tokens = false, .nss = false}), 0u);
  }
  void TearDown() override {
    platform_ui::set_passphrase_asker(nullptr);
    scratch_.reset();
  }

  std::string my_folder() const { return root_ + "/certificates/MY"; }

  std::optional<ScratchFolder> scratch_;
  std::string root_;
};

// One RSA key for the whole test program: key generation is what makes certificates slow.
inline EVP_PKEY *shared_key() {
  static certs::Pkey key = [] {
    std::string error;
    certs::CertificateRequest request;
    std::optional<certs::MadeCertificate> made = certs::make_certificate(request, &error);
    if (!made) ADD_FAILURE() << error;
    return made ? std::move(made->key) : nullptr;
  }();
  return key.get();
}

}  // namespace testsupport
