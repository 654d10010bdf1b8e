// token_lab.cc - SoftHSM2 tokens and NSS databases built with softhsm2-util, p11tool, certutil and pk12util.
#include "tests/support/token_lab.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/child_process.h"

namespace testsupport {
namespace {

constexpr char kSoPin[] = "87654321";
constexpr char kPkcs12Password[] = "lab";
// The token flag CKF_USER_PIN_LOCKED, and the attribute SoftHSM keeps a token's flags in.
constexpr uint64_t kUserPinLocked = 0x00040000;
constexpr uint8_t kTokenFlagsAttribute[16] = {0, 0, 0, 0, 0x80, 0, 0x53, 0x4B, 0, 0, 0, 0, 0, 0, 0, 2};
constexpr size_t kLabelNbytes = 32;

template <typename Write>
void write_pem(const std::string &path, Write write) {
  FILE *out = fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr) << path;
  EXPECT_EQ(write(out), 1) << path;
  fclose(out);
}

std::unique_ptr<X509, void (*)(X509 *)> decode(const std::vector<uint8_t> &der) {
  const unsigned char *p = der.data();
  return {d2i_X509(nullptr, &p, static_cast<long>(der.size())), X509_free};
}

// A token's label as a PKCS #11 URI writes it.
std::string uri_text(const std::string &text) {
  std::string out;
  for (unsigned char c : text) {
    char escaped[4];
    snprintf(escaped, sizeof escaped, "%%%02X", c);
    out += isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(escaped);
  }
  return out;
}

std::vector<uint8_t> read_all(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TokenLab::TokenLab() : folder_("quillora_tokens") {
  std::filesystem::create_directories(file("softhsm"));
  std::filesystem::create_directories(xdg_data_home());
  std::ofstream(file("softhsm2.conf")) << "directories.tokendir = " << file("softhsm")
                                       << "\nobjectstore.backend = file\nlog.level = ERROR\n";
  setenv("SOFTHSM2_CONF", file("softhsm2.conf").c_str(), 1);
  setenv("HOME", home().c_str(), 1);
  setenv("XDG_DATA_HOME", xdg_data_home().c_str(), 1);
}

TokenLab::~TokenLab() {
  for (const char *name : {"SOFTHSM2_CONF", "HOME", "XDG_DATA_HOME", "GNUTLS_PIN"}) unsetenv(name);
}

std::string TokenLab::softhsm_module() { return "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so"; }

void TokenLab::run(const std::vector<std::string> &args) const {
  int out_pipe[2], err_pipe[2];
  ASSERT_EQ(pipe(out_pipe), 0);
  ASSERT_EQ(pipe(err_pipe), 0);
  std::vector<std::string> storage;
  std::vector<char *> argv = make_argv(args[0], std::vector<std::string>(args.begin() + 1, args.end()), storage);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    close(out_pipe[0]);
    close(err_pipe[0]);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  std::string out, err;
  exchange(-1, "", out_pipe[0], err_pipe[0], out, err);
  std::string line;
  for (const std::string &arg : args) line += arg + " ";
  EXPECT_EQ(exit_code_of(pid), 0) << line << "\n" << out << err;
}

void TokenLab::init_token(const std::string &label, const std::string &pin) {
  run({"softhsm2-util", "--init-token", "--free", "--label", label, "--so-pin", kSoPin, "--pin", pin});
}

void TokenLab::delete_token(const std::string &label) { run({"softhsm2-util", "--delete-token", "--token", label}); }

void TokenLab::write(const std::string &label, const std::string &pin, const std::string &id, const Objects &objects) {
  const std::string stem = file("object" + std::to_string(++files_));
  std::vector<std::string> visible, hidden;
  if (objects.certificate != nullptr) {
    auto cert = decode(*objects.certificate);
    write_pem(stem + ".crt", [&](FILE *out) { return PEM_write_X509(out, cert.get()); });
    visible.insert(visible.end(), {"--load-certificate", stem + ".crt"});
  }
  if (objects.private_key != nullptr) {
    write_pem(stem + ".key", [&](FILE *out) {
      return PEM_write_PrivateKey(out, objects.private_key, nullptr, nullptr, 0, nullptr, nullptr);
    });
    std::vector<std::string> &loads = objects.hide_private_key ? hidden : visible;
    loads.insert(loads.end(), {"--load-privkey", stem + ".key"});
  }
  if (objects.public_key != nullptr) {
    write_pem(stem + ".pub", [&](FILE *out) { return PEM_write_PUBKEY(out, objects.public_key); });
    visible.insert(visible.end(), {"--load-pubkey", stem + ".pub"});
  }
  setenv("GNUTLS_PIN", pin.c_str(), 1);
  for (const auto &[loads, marking] : {std::pair{visible, "--no-mark-private"}, std::pair{hidden, "--mark-private"}}) {
    if (loads.empty()) continue;
    std::vector<std::string> args = {"p11tool", "--provider", softhsm_module(), "--login", marking,
                                     "--label", "lab " + id, "--id", id, "--write", "pkcs11:token=" + uri_text(label)};
    args.insert(args.end(), loads.begin(), loads.end());
    run(args);
  }
}

void TokenLab::lock_user_pin(const std::string &label) {
  std::string padded = label;
  padded.resize(kLabelNbytes, ' ');
  for (const auto &token : std::filesystem::directory_iterator(file("softhsm"))) {
    const std::filesystem::path path = token.path() / "token.object";
    std::vector<uint8_t> bytes = read_all(path);
    if (std::search(bytes.begin(), bytes.end(), padded.begin(), padded.end()) == bytes.end()) continue;
    // The attribute's type and kind (8 bytes each, big-endian), then its 8-byte value.
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin(kTokenFlagsAttribute), std::end(kTokenFlagsAttribute));
    ASSERT_LE(at + sizeof kTokenFlagsAttribute + 8, bytes.end()) << path;
    uint8_t *value = &*(at + sizeof kTokenFlagsAttribute);
    for (int i = 0; i < 8; ++i) value[7 - i] |= static_cast<uint8_t>(kUserPinLocked >> (8 * i));
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char *>(bytes.data()),
                                                                   static_cast<std::streamsize>(bytes.size()));
    return;
  }
  ADD_FAILURE() << "no token labelled " << label;
}

void TokenLab::make_nss_database(const std::string &folder, const std::string &password,
                                 const std::vector<uint8_t> &certificate, EVP_PKEY *key) {
  std::filesystem::create_directories(folder);
  const std::string password_file = file("nss" + std::to_string(++files_) + ".pw");
  std::ofstream(password_file) << password << "\n";
  if (password.empty())
    run({"certutil", "-N", "-d", "sql:" + folder, "--empty-password"});
  else
    run({"certutil", "-N", "-d", "sql:" + folder, "-f", password_file});
  auto cert = decode(certificate);
  std::unique_ptr<PKCS12, void (*)(PKCS12 *)> p12(
      PKCS12_create(kPkcs12Password, "lab", key, cert.get(), nullptr, 0, 0, 0, 0, 0), PKCS12_free);
  ASSERT_TRUE(p12);
  const std::string p12_file = password_file + ".p12";
  write_pem(p12_file, [&](FILE *out) { return i2d_PKCS12_fp(out, p12.get()); });
  run({"pk12util", "-i", p12_file, "-d", "sql:" + folder, "-W", kPkcs12Password, "-k", password_file});
}

}  // namespace testsupport
