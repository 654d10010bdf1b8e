// passphrase_prompt.cc - the process-wide passphrase asker and its default, the controlling terminal.
#include "platform/ui/passphrase_prompt.h"

#include <fcntl.h>
#include <unistd.h>

#include <mutex>

#include "platform/terminal/output.h"
#include "platform/terminal/secret_line.h"

namespace platform_ui {
namespace {

std::mutex g_asker_mutex;
PassphraseAsker g_asker;
// Set while ask_keeper_secret's question runs; the asker runs on the asking thread.
thread_local const KeeperSecret *t_keeper_secret = nullptr;

bool ask_terminal(const std::string &what, int attempt, std::string *passphrase) {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  terminal::write_all(fd, secret_prompt(what, attempt) + " ");
  const terminal::LineEnd end = terminal::read_secret_line(fd, passphrase, nullptr);
  terminal::write_all(fd, "\r\n");  // the Enter typed was not echoed
  close(fd);
  return end == terminal::LineEnd::kEntered;
}

}  // namespace

PassphraseAsker set_passphrase_asker(PassphraseAsker asker) {
  std::lock_guard<std::mutex> lock(g_asker_mutex);
  std::swap(g_asker, asker);
  return asker;
}

bool ask_passphrase(const std::string &what, int attempt, std::string *passphrase) {
  PassphraseAsker asker;
  {
    std::lock_guard<std::mutex> lock(g_asker_mutex);
    asker = g_asker;
  }
  // Called outside the lock: an asker may run a dialog that takes a while or installs another.
  return asker ? asker(what, attempt, passphrase) : ask_terminal(what, attempt, passphrase);
}

bool ask_keeper_secret(const KeeperSecret &asked, int attempt, std::string *answer) {
  const KeeperSecret *outer = t_keeper_secret;
  t_keeper_secret = &asked;
  const bool answered = ask_passphrase(asked.keeper + " (" + asked.secret + ")", attempt, answer);
  t_keeper_secret = outer;
  return answered;
}

const KeeperSecret *keeper_secret_asked() { return t_keeper_secret; }

std::string capitalized(const std::string &noun) {
  std::string text = noun;
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

std::string secret_asked() {
  const KeeperSecret *keeper = keeper_secret_asked();
  return keeper != nullptr ? keeper->secret : "passphrase";
}

std::string secret_prompt(const std::string &what, int attempt) {
  const KeeperSecret *keeper = keeper_secret_asked();
  const std::string secret = secret_asked();
  return (attempt > 1 ? "Wrong " + secret + ". " : "") + capitalized(secret) + " for " +
         (keeper != nullptr ? keeper->keeper : what) + ":";
}

}  // namespace platform_ui
