// quillora_harness.cc - runs quillora and openssl as child processes, on pipes or a pseudo-terminal, in a sandbox.
#include "tests/tools/quillora/quillora_harness.h"

#include <fcntl.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/support/child_process.h"

namespace quillora_test {

namespace {

using testsupport::exit_code_of;
using testsupport::make_argv;

// Forks `program` in a new session (no controlling terminal, so it cannot reach the terminal the
// tests run on) with stdin, stdout and stderr on pipes, in `cwd`, with QUILLORA_DATA_HOME and
// `env` set; the parent's ends come back in *in_fd, *out_fd, *err_fd.
pid_t spawn(const std::string &program, const std::vector<std::string> &args, const std::filesystem::path &cwd,
            const std::filesystem::path &data_root, const std::vector<std::string> &env, int *in_fd, int *out_fd,
            int *err_fd) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0 || pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  std::vector<std::string> storage;
  std::vector<char *> argv = make_argv(program, args, storage);
  std::vector<std::string> names, values;
  for (const std::string &setting : env) {
    names.push_back(setting.substr(0, setting.find('=')));
    values.push_back(setting.substr(setting.find('=') + 1));
  }
  const std::string root = data_root.string();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // Only async-signal-safe calls from here to the exec, but for the environment's.
    bool ready = setsid() >= 0 && dup2(in_pipe[0], STDIN_FILENO) >= 0 && dup2(out_pipe[1], STDOUT_FILENO) >= 0 &&
                 dup2(err_pipe[1], STDERR_FILENO) >= 0 && chdir(cwd.c_str()) == 0 &&
                 setenv("QUILLORA_DATA_HOME", root.c_str(), 1) == 0;
    for (size_t i = 0; ready && i < names.size(); ++i) ready = setenv(names[i].c_str(), values[i].c_str(), 1) == 0;
    if (ready) execvp(argv[0], argv.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  *in_fd = in_pipe[1];
  *out_fd = out_pipe[0];
  *err_fd = err_pipe[0];
  return pid;
}

RunResult run_program(const std::string &program, const std::vector<std::string> &args, const std::string &input,
                      const std::filesystem::path &cwd, const std::filesystem::path &data_root) {
  int in_fd, out_fd, err_fd;
  const pid_t pid = spawn(program, args, cwd, data_root, {}, &in_fd, &out_fd, &err_fd);
  RunResult result;
  testsupport::exchange(in_fd, input, out_fd, err_fd, result.out, result.err);
  result.exit_code = exit_code_of(pid);
  return result;
}

bool echo_is_off(int terminal) {
  termios settings{};
  return tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) == 0;
}

}  // namespace

ScopedEnv::ScopedEnv(const char *name, const char *value) : name_(name) {
  const char *old = getenv(name);
  if (old != nullptr) old_ = old;
  had_ = old != nullptr;
  setenv(name, value, 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_, old_.c_str(), 1);
  else
    unsetenv(name_);
}

std::string joined(const std::vector<std::string> &args) {
  std::string line;
  for (const std::string &arg : args) line += (line.empty() ? "" : " ") + arg;
  return line;
}

Background::~Background() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  wait();
}

RunResult Background::wait() {
  RunResult result;
  if (pid_ <= 0) return result;
  testsupport::exchange(-1, "", out_fd_, err_fd_, result.out, result.err);
  result.exit_code = exit_code_of(pid_);
  pid_ = 0;
  return result;
}

Sandbox::Sandbox() {
  // The machine's tokens and NSS databases stay out of the sandbox's store.
  std::filesystem::create_directories(data_root());
  write_text("data/certificate-sources", "tokens = off\nnss = off\n");
}

RunResult Sandbox::run(const std::vector<std::string> &args, const std::string &input) const {
  return quillora_test::run_program(QUILLORA_PATH, args, input, path_, data_root());
}

RunResult Sandbox::run_program(const std::string &program, const std::vector<std::string> &args) const {
  return quillora_test::run_program(program, args, "", path_, data_root());
}

std::unique_ptr<Background> Sandbox::start(const std::string &program, const std::vector<std::string> &args,
                                          const std::vector<std::string> &env) const {
  int in_fd, out_fd, err_fd;
  const pid_t pid = spawn(program, args, path_, data_root(), env, &in_fd, &out_fd, &err_fd);
  close(in_fd);
  return std::make_unique<Background>(pid, out_fd, err_fd);
}

RunResult Sandbox::run_traced(const std::vector<std::string> &strace_args, const std::vector<std::string> &args,
                               const std::string &input) const {
  // LeakSanitizer cannot work under ptrace; the untraced runs keep checking for leaks.
  std::vector<std::string> all = {"-E", "ASAN_OPTIONS=detect_leaks=0"};
  all.insert(all.end(), strace_args.begin(), strace_args.end());
  all.push_back("--");
  all.push_back(QUILLORA_PATH);
  all.insert(all.end(), args.begin(), args.end());
  return quillora_test::run_program("strace", all, input, path_, data_root());
}

RunResult Sandbox::run_on_terminal(const std::vector<std::string> &args, const std::vector<std::string> &typed) const {
  std::vector<std::string> storage;
  std::vector<char *> argv = make_argv(QUILLORA_PATH, args, storage);
  const std::string root = data_root().string();
  int terminal;
  pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) throw std::runtime_error("forkpty failed");
  if (pid == 0) {
    if (chdir(path_.c_str()) == 0 && setenv("QUILLORA_DATA_HOME", root.c_str(), 1) == 0)
      execv(QUILLORA_PATH, argv.data());
    _exit(127);
  }
  RunResult result;
  size_t next_line = 0;
  long prompts_seen = 0;
  for (;;) {
    pollfd fd{terminal, POLLIN, 0};
    // A prompt is answered once its ':' has shown and the program has turned echo off: input
    // typed before that would be flushed when the program changes the terminal's settings.
    // What it printed before that is read first, so that every ':' shown so far counts as
    // answered: a question still unread would otherwise take the next answer too early.
    const bool prompt_pending =
        next_line < typed.size() && std::count(result.out.begin(), result.out.end(), ':') > prompts_seen;
    if (prompt_pending && echo_is_off(terminal) && poll(&fd, 1, 0) == 0) {
      const std::string line = typed[next_line++] + "\n";
      if (write(terminal, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("cannot type on the terminal");
      prompts_seen = std::count(result.out.begin(), result.out.end(), ':');
      continue;
    }
    const int ready = poll(&fd, 1, prompt_pending ? 10 : 5000);
    if (ready < 0) throw std::runtime_error("poll failed");
    if (ready == 0) {
      if (prompt_pending) continue;
      // Silent for five seconds: the program waits for input nobody will type. Killed, it
      // exits abnormally, which the exit code of -1 tells.
      kill(pid, SIGKILL);
      break;
    }
    char buffer[4096];
    // Once the program has ended, reading the terminal's master side fails with EIO.
    const ssize_t n = read(terminal, buffer, sizeof buffer);
    if (n <= 0) break;
    result.out.append(buffer, static_cast<size_t>(n));
  }
  close(terminal);
  result.exit_code = exit_code_of(pid);
  return result;
}

void Sandbox::openssl(const std::vector<std::string> &args) const {
  RunResult r = run_program("openssl", args);
  if (r.exit_code != 0) throw std::runtime_error("openssl " + joined(args) + " failed: " + r.err);
}

bool Sandbox::verifies(const std::string &base64_line, const std::string &signed_bytes, std::string *signer) const {
  write_text("signature.b64", base64_line);
  write_text("content", signed_bytes);
  try {
    openssl({"base64", "-d", "-A", "-in", "signature.b64", "-out", "signature.p7s"});
    openssl({"smime", "-verify", "-binary", "-inform", "DER", "-in", "signature.p7s", "-content", "content",
             "-noverify", "-out", "/dev/null"});
  } catch (const std::exception &) {
    return false;
  }
  if (signer != nullptr) {
    const RunResult printed = run_program("openssl", {"pkcs7", "-inform", "DER", "-in", "signature.p7s", "-print_certs",
                                                      "-noout"});
    *signer = printed.out.substr(0, printed.out.find('\n'));
  }
  return true;
}

std::vector<std::string> Sandbox::key_files() const {
  std::vector<std::string> names;
  std::error_code missing;
  for (const auto &item : std::filesystem::directory_iterator(data_root() / "keys", missing)) {
    if (item.path().extension() == ".p8") names.push_back(item.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::filesystem::path Sandbox::write_text(const std::string &name, const std::string &text) const {
  const std::filesystem::path file = path_ / name;
  std::ofstream out(file, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + file.string());
  return file;
}

std::vector<uint8_t> read_file(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

X509Ptr read_der_certificate(const std::filesystem::path &path) {
  const std::vector<uint8_t> der = read_file(path);
  const unsigned char *p = der.data();
  return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

PkeyPtr read_key_file(const std::filesystem::path &path, const std::string &passphrase) {
  const std::vector<uint8_t> der = read_file(path);
  const unsigned char *p = der.data();
  if (passphrase.empty()) return PkeyPtr(d2i_AutoPrivateKey(nullptr, &p, static_cast<long>(der.size())));
  X509_SIG *sealed = d2i_X509_SIG(nullptr, &p, static_cast<long>(der.size()));
  if (sealed == nullptr) return nullptr;
  PKCS8_PRIV_KEY_INFO *info = PKCS8_decrypt(sealed, passphrase.c_str(), static_cast<int>(passphrase.size()));
  X509_SIG_free(sealed);
  if (info == nullptr) return nullptr;
  PkeyPtr key(EVP_PKCS82PKEY(info));
  PKCS8_PRIV_KEY_INFO_free(info);
  return key;
}

std::string sha1_thumbprint(const X509 *cert) {
  unsigned char hash[20];
  unsigned int nbytes = sizeof hash;
  X509_digest(cert, EVP_sha1(), hash, &nbytes);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned i = 0; i < nbytes; ++i) {
    text += kDigits[hash[i] >> 4];
    text += kDigits[hash[i] & 0x0F];
  }
  return text;
}

}  // namespace quillora_test
