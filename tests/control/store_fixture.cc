// store_fixture.cc - the certificate helper of the control's tests.
#include "tests/control/store_fixture.h"

#include "tools/quillora/certs/store_admin.h"

std::vector<uint8_t> StoreTest::add_certificate(const certs::CertificateRequest &request, bool with_key,
                                                const std::string &passphrase) {
  std::string error;
  auto made = certs::make_certificate(request, &error, testsupport::shared_key());
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
