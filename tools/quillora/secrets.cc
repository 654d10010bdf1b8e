// secrets.cc - reads passwords from files and standard input, and through the platform's terminal prompt.
#include "tools/quillora/secrets.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/ui/passphrase_prompt.h"
#include "tools/quillora/bounded_input.h"

namespace quillora {

namespace {

bool has_terminal() {
  const int fd = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace

SecretStatus read_secret(const SecretSource &source, const std::string &what, int attempt, std::string *secret,
                         std::string *error) {
  using Kind = SecretSource::Kind;
  switch (source.kind) {
    case Kind::none:
      secret->clear();
      return SecretStatus::ok;
    case Kind::file:
    case Kind::stdin_line:
      return read_first_line(source.kind == Kind::file ? source.path : "-", kMaxSecretNbytes, secret, error)
                 ? SecretStatus::ok
                 : SecretStatus::failed;
    case Kind::terminal:
      if (!has_terminal()) return SecretStatus::no_terminal;
      return platform_ui::ask_passphrase(what, attempt, secret) ? SecretStatus::ok : SecretStatus::declined;
  }
  return SecretStatus::failed;
}

}  // namespace quillora
