// quillora_harness.h - running the built quillora against a scratch data root, and the files its tests give it.
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/crypto/openssl_ptr.h"
#include "tests/support/scratch_folder.h"

namespace quillora_test {

struct RunResult {
  int exit_code = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

std::string joined(const std::vector<std::string> &args);

// A program left running while a test acts on it; its output is collected when it is waited
// for. Destroying it kills the program if it still runs.
class Background {
 public:
  Background(pid_t pid, int out_fd, int err_fd) : pid_(pid), out_fd_(out_fd), err_fd_(err_fd) {}
  ~Background();
  Background(const Background &) = delete;
  Background &operator=(const Background &) = delete;
  // Reads the output to its end and waits for the program to exit.
  RunResult wait();

 private:
  pid_t pid_;
  int out_fd_, err_fd_;
};

// Sets an environment variable for the programs a test runs, and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char *name, const char *value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv &) = delete;
  ScopedEnv &operator=(const ScopedEnv &) = delete;

 private:
  const char *name_;
  std::string old_;
  bool had_ = false;
};

// A scratch folder with the data root (QUILLORA_DATA_HOME) under it, removed with everything in it.
// The data root starts with a setting that keeps the machine's tokens and NSS databases out.
class Sandbox {
 public:
  Sandbox();

  const std::filesystem::path &path() const { return path_; }
  std::filesystem::path data_root() const { return path_ / "data"; }

  // Runs quillora with `args` in a new session (no controlling terminal), `input` on stdin,
  // stdout and stderr captured, QUILLORA_DATA_HOME pointing at data_root().
  RunResult run(const std::vector<std::string> &args, const std::string &input = "") const;
  // The same for another program (an installed uninstaller, openssl, xdotool).
  RunResult run_program(const std::string &program, const std::vector<std::string> &args) const;

  // Starts `program` as run() starts quillora, with `env` ("NAME=VALUE") added to its
  // environment, and returns while it runs.
  std::unique_ptr<Background> start(const std::string &program, const std::vector<std::string> &args,
                                    const std::vector<std::string> &env) const;

  // Runs quillora on a pseudo-terminal that types `typed` (each line is sent when the program
  // prints ':' and waits), and returns everything the terminal showed together with the exit code.
  RunResult run_on_terminal(const std::vector<std::string> &args, const std::vector<std::string> &typed) const;

  // Runs quillora with `args` under `strace STRACE_ARGS...`, otherwise as run() does.
  RunResult run_traced(const std::vector<std::string> &strace_args, const std::vector<std::string> &args,
                       const std::string &input = "") const;

  // Runs `openssl ARGS...` in path(); throws when it fails.
  void openssl(const std::vector<std::string> &args) const;
  // Whether openssl verifies the Base64 signature (one line) as a detached signature over the
  // bytes; both are written into path() for it. *signer, when given, gets the signing
  // certificate's subject as openssl prints it.
  bool verifies(const std::string &base64_line, const std::string &signed_bytes, std::string *signer = nullptr) const;

  // The key containers' files (*.p8) under the data root, by file name, sorted.
  std::vector<std::string> key_files() const;

  // Writes `text` into a file in path() and returns its path.
  std::filesystem::path write_text(const std::string &name, const std::string &text) const;

 private:
  testsupport::ScratchFolder folder_{"quillora_test"};
  std::filesystem::path path_ = folder_.path();
};

using platform::X509Ptr;
using PkeyPtr = platform::EvpPkeyPtr;

std::vector<uint8_t> read_file(const std::filesystem::path &path);
X509Ptr read_der_certificate(const std::filesystem::path &path);
// The key of a container file: plain PKCS #8, or encrypted under `passphrase`; null when it
// does not open.
PkeyPtr read_key_file(const std::filesystem::path &path, const std::string &passphrase = "");
// 40 uppercase hex digits of the certificate's SHA-1.
std::string sha1_thumbprint(const X509 *cert);

}  // namespace quillora_test
