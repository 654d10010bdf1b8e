// token_lab.h - real tokens for the tests: SoftHSM2 with a configuration and token folder of its own, and NSS databases, made with the tokens' own tools in a scratch folder.
#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace testsupport {

// Points SOFTHSM2_CONF, HOME and XDG_DATA_HOME at its folder for as long as it lives (they are
// unset afterwards), so it must exist before the first module is loaded and the process's
// home holds no NSS database but the lab's.
class TokenLab {
 public:
  TokenLab();
  ~TokenLab();
  TokenLab(const TokenLab &) = delete;
  TokenLab &operator=(const TokenLab &) = delete;

  static std::string softhsm_module();
  std::string home() const { return folder_.path() + "/home"; }
  std::string xdg_data_home() const { return home() + "/.local/share"; }

  void init_token(const std::string &label, const std::string &pin);
  void delete_token(const std::string &label);

  // What p11tool writes onto a token under one CKA_ID (hex digits): each object readable
  // without the PIN, but for the private key when `hide_private_key`.
  struct Objects {
    const std::vector<uint8_t> *certificate = nullptr;
    EVP_PKEY *private_key = nullptr;
    EVP_PKEY *public_key = nullptr;
    bool hide_private_key = false;
  };
  void write(const std::string &label, const std::string &pin, const std::string &id, const Objects &objects);

  // Sets the token's "user PIN locked" flag, as a card does after too many wrong PINs; SoftHSM
  // keeps the flag in its token file but never sets it itself.
  void lock_user_pin(const std::string &label);

  // A new NSS database in `folder` (certutil; an empty password for none) holding the
  // certificate and its key (pk12util).
  void make_nss_database(const std::string &folder, const std::string &password, const std::vector<uint8_t> &certificate,
                         EVP_PKEY *key);

 private:
  // Runs the program; a failure is a test failure showing its output.
  void run(const std::vector<std::string> &args) const;
  std::string file(const std::string &name) const { return folder_.path() + "/" + name; }

  ScratchFolder folder_;
  int files_ = 0;
};

// A test program's lab, made before its first test and destroyed after its last, since making
// tokens is what takes time: register it with
//   testing::AddGlobalTestEnvironment(new testsupport::LabEnvironment<Lab>)
// and reach it with LabEnvironment<Lab>::lab().
template <typename Lab>
class LabEnvironment : public testing::Environment {
 public:
  static Lab &lab() { return *lab_; }
  void SetUp() override { lab_ = new Lab; }
  void TearDown() override {
    delete lab_;
    lab_ = nullptr;
  }

 private:
  static inline Lab *lab_ = nullptr;
};

}  // namespace testsupport
