// store_fixture.h - what the control's certificate tests share: a throw-away data root with a "MY" store, and certificates made to order in it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/quillora/certs/cert_factory.h"

// Each test gets its own empty data root (QUILLORA_DATA_HOME), removed afterwards.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes the certificate and adds it to the store; with_key also stores its private key (under
  // `passphrase` when not empty) and sets the key-provider property. Returns the DER.
  std::vector<uint8_t> add_certificate(const certs::CertificateRequest &request, bool with_key = true,
                                       const std::string &passphrase = "");

  // One RSA key all certificates share, so that tests do not wait for key generation.
  static EVP_PKEY *shared_key();

  std::string root_;
};

// A request for a version 3 certificate with the given subject and serial, self-signed.
certs::CertificateRequest request_for(const std::string &subject, std::vector<uint8_t> serial = {0x01});
