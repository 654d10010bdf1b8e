// secrets.cc - reads passwords from files and standard input, and through the platform's terminal prompt.
#include "tools/quillora/secrets.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

#include "platform/ui/passphrase_prompt.h"

namespace quillora {

namespace {

// The first line, whether it ends in LF, CRLF or nothing; an empty stream is an empty secret.
bool first_line(std::istream &in, std::string *line) {
  line->clear();
  std::getline(in, *line);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return !in.bad();
}

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
    case Kind::file: {
      std::ifstream in(source.path, std::ios::binary);
      if (!in || !first_line(in, secret)) {
        *error = std::string("cannot read the file: ") + strerror(errno);
        return SecretStatus::failed;
      }
      return SecretStatus::ok;
    }
    case Kind::stdin_line:
      if (!first_line(std::cin, secret)) {
        *error = "cannot read standard input";
        return SecretStatus::failed;
      }
      return SecretStatus::ok;
    case Kind::terminal:
      if (!has_terminal()) return SecretStatus::no_terminal;
      return platform_ui::ask_passphrase(what, attempt, secret) ? SecretStatus::ok : SecretStatus::declined;
  }
  return SecretStatus::failed;
}

}  // namespace quillora
