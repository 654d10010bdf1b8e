// store_fixture.h - what the control's certificate tests share: certificates made to order in a throw-away "MY" store.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/data_root_test.h"
#include "tools/cert_factory/cert_factory.h"

// Each test gets its own empty data root with an empty "MY" store.
class StoreTest : public testsupport::DataRootTest {
 protected:
  // Makes the certificate and adds it to the store; with_key also stores its private key (under
  // `passphrase` when not empty) and sets the key-provider property. Returns the DER.
  std::vector<uint8_t> add_certificate(const certs::CertificateRequest &request, bool with_key = true,
                                       const std::string &passphrase = "");
};

// A request for a version 3 certificate with the given subject and serial, self-signed.
certs::CertificateRequest request_for(const std::string &subject, std::vector<uint8_t> serial = {0x01});
