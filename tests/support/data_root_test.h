// data_root_test.h - what every test of the user's stored data shares: a fresh platform data root per test, and one RSA key for all certificates.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/ui/passphrase_prompt.h"
#include "tools/quillora/certs/cert_factory.h"

namespace testsupport {

// A test whose platform data root (QUILLORA_DATA_HOME) is a fresh folder, removed afterwards
// together with any passphrase asker the test installed.
class DataRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillora_data_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    setenv("QUILLORA_DATA_HOME", root_.c_str(), 1);
  }
  void TearDown() override {
    platform_ui::set_passphrase_asker(nullptr);
    unsetenv("QUILLORA_DATA_HOME");
    std::filesystem::remove_all(root_);
  }

  std::string my_folder() const { return root_ + "/certificates/MY"; }

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
