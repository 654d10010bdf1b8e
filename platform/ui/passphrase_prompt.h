// passphrase_prompt.h - how the platform asks its user for a key's passphrase: a replaceable asker with a terminal default.
#pragma once

#include <functional>
#include <string>

namespace platform_ui {

// Asks for the passphrase of the key described by `what`; `attempt` counts from 1 and is above 1
// after a wrong answer. Returns false when the user declines.
using PassphraseAsker = std::function<bool(const std::string &what, int attempt, std::string *passphrase)>;

// Replaces the asker for the whole process (user-interface back ends and tests install theirs)
// and returns the one it replaces, for putting back. An empty function restores the default,
// which reads a line from the controlling terminal without echo (Enter ends it; Escape, the end
// of input, Ctrl-C, SIGTERM and SIGHUP decline, the terminal's mode restored) and declines when
// there is no terminal.
PassphraseAsker set_passphrase_asker(PassphraseAsker asker);

bool ask_passphrase(const std::string &what, int attempt, std::string *passphrase);

// The secret that opens a whole token rather than one key: a smart card's PIN, an NSS database's
// password.
struct KeeperSecret {
  std::string keeper;  // as the user knows it: token "Demo Card", NSS database /home/u/.pki/nssdb
  std::string secret;  // "PIN", "password"
};

// Asks for it through the same asker, with `what` "KEEPER (SECRET)"; while the asker runs,
// keeper_secret_asked() lets an asker that names the key by its certificate name the keeper and
// the secret as well, since they are the keeper's.
bool ask_keeper_secret(const KeeperSecret &asked, int attempt, std::string *answer);

// The keeper's secret being asked on this thread, or NULL while a key's passphrase is.
const KeeperSecret *keeper_secret_asked();

// "PIN" stays, "password" becomes "Password": a secret's name where a sentence starts.
std::string capitalized(const std::string &noun);

// The name of the secret an asker asks for now: the keeper's ("PIN", "password"), else
// "passphrase".
std::string secret_asked();
// A one-line question for it: "Passphrase for <what>:", or "PIN for <keeper>:" while a keeper's
// secret is asked, after "Wrong <secret>. " when `attempt` is above 1.
std::string secret_prompt(const std::string &what, int attempt);

}  // namespace platform_ui
