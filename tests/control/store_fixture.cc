// store_fixture.cc - the throw-away data root and the certificate helper of the control's tests.
#include "tests/control/store_fixture.h"

#include <stdlib.h>

#include <filesystem>

#include "tools/quillora/certs/store_admin.h"

void StoreTest::SetUp() {
  std::string pattern = (std::filesystem::temp_directory_path() / "quillora_store_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
  setenv("QUILLORA_DATA_HOME", root_.c_str(), 1);
}

void StoreTest::TearDown() {
  unsetenv("QUILLORA_DATA_HOME");
  std::filesystem::remove_all(root_);
}

EVP_PKEY *StoreTest::shared_key() {
  static certs::Pkey key = [] {
    std::string error;
    certs::CertificateRequest request;
    auto made = certs::make_certificate(request, &error);
    EXPECT_TRUE(made.has_value()) << error;
    return made ? std::move(made->key) : certs::Pkey();
  }();
  return key.get();
}

std::vector<uint8_t> StoreTest::add_certificate(const certs::CertificateRequest &request, bool with_key,
                                                const std::string &passphrase) {
  std::string error;
  auto made = certs::make_certificate(request, &error, shared_key());
  EXPECT_TRUE(made.has_value()) << error;
  if (!made) return {};
  EXPECT_EQ(certs::install_certificate(made->der, with_key ? made->key.get() : nullptr, passphrase, &error), 0u)
      << error;
  return made->der;
}

certs::CertificateRequest request_for(const std::string &subject, std::vector<uint8_t> serial) {
  certs::CertificateRequest request;
  request.subject = subject;
  request.serial = std::move(serial);
  return request;
}
