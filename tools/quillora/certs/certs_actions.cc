// certs_actions.cc - import, list, remove and new over the store administration and the certificate factory.
#include "tools/quillora/certs/certs_actions.h"

#include <openssl/rand.h>
#include <stdio.h>
#include <time.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/base/data_root.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/crypto/pkcs11/source_settings.h"
#include "platform/crypto/store_check.h"
#include "tools/quillora/certs/pkcs12_file.h"
#include "tools/quillora/certs/store_admin.h"
#include "tools/quillora/error_text.h"
#include "tools/quillora/messages.h"

namespace certs {

namespace {

using quillora::kExitFailed;
using quillora::kExitOk;
using quillora::report;
using quillora::SecretSource;
using quillora::SecretStatus;

// Wrong passwords typed at the terminal before the import gives up.
constexpr int kPasswordAttempts = 3;
constexpr size_t kRandomSerialNbytes = 8;

// The name a secret's source goes by in messages.
std::string source_name(const SecretSource &source) {
  return source.kind == SecretSource::Kind::file ? source.path : "standard input";
}

// What a secret is for, in the prompt and in the messages about it.
struct SecretPurpose {
  std::string prompt;   // "Passphrase for <prompt>: " on the terminal
  std::string subject;  // what the messages name, a file as a rule
  std::string noun;     // "password", ...
  std::string hint;     // the options that avoid the terminal
};

// Reads a secret, reporting why not when it cannot.
bool obtain_secret(const SecretSource &source, const SecretPurpose &purpose, int attempt, std::string *secret) {
  std::string error;
  switch (read_secret(source, purpose.prompt, attempt, secret, &error)) {
    case SecretStatus::ok:
      return true;
    case SecretStatus::no_terminal:
      report(purpose.subject, "no terminal to ask for the " + purpose.noun + " on; use " + purpose.hint);
      return false;
    case SecretStatus::declined:
      report(purpose.subject, "no " + purpose.noun + " given; nothing was changed");
      return false;
    case SecretStatus::failed:
      report(source_name(source), error + " (reading the " + purpose.noun + ")");
      return false;
  }
  return false;
}

// The passphrase for the imported key; at the terminal it is asked twice, and empty means none.
bool choose_key_passphrase(const SecretSource &source, const std::string &file, std::string *passphrase) {
  SecretPurpose purpose{"the key of " + file + " (new; empty: none)", file, "passphrase for its key",
                        "--key-passphrase-file or --no-key-passphrase"};
  if (!obtain_secret(source, purpose, 1, passphrase)) return false;
  if (source.kind != SecretSource::Kind::terminal || passphrase->empty()) return true;
  std::string again;
  purpose.prompt = "the key of " + file + " (again)";
  if (!obtain_secret(source, purpose, 1, &again)) return false;
  if (again != *passphrase) {
    report(file, "the two passphrases differ; nothing was changed");
    return false;
  }
  return true;
}

std::string day_of(int64_t seconds) {
  const time_t t = static_cast<time_t>(seconds);
  tm day{};
  char text[16] = "?";
  if (gmtime_r(&t, &day) != nullptr) strftime(text, sizeof text, "%Y-%m-%d", &day);
  return text;
}

const char *key_word(StoredCertificate::Key key) {
  switch (key) {
    case StoredCertificate::Key::present:
      return "yes";
    case StoredCertificate::Key::missing:
      return "missing";
    case StoredCertificate::Key::none:
      return "no";
  }
  return "?";
}

// The text in single quotes for a POSIX shell, so that it can be pasted into a command line.
std::string shell_quoted(const std::string &text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

void print_certificate(const StoredCertificate &c) {
  printf("%3d  %-40s  %-7s  %-10s  %s\n", c.index, c.thumbprint.c_str(), key_word(c.key), day_of(c.not_before).c_str(),
         day_of(c.not_after).c_str());
  printf("     Subject: %s\n     Issuer:  %s\n     Serial:  %s\n     Source:  %s\n"
         "     Filter:  --issuer %s --serial %s\n",
         c.subject.c_str(), c.issuer.c_str(), c.serial.c_str(), c.source.empty() ? "store" : c.source.c_str(),
         shell_quoted(c.issuer_filter).c_str(), c.serial.c_str());
}

const char *switch_word(bool on) { return on ? "on " : "off"; }

// Shows the certificate just installed. Its thumbprint names it to `certs remove`; the store is
// not listed again for an index, which would make every addition cost as much as the store is big.
void print_installed(const StoredCertificate &c, const char *verb) {
  printf("%s certificate %s\n     Subject: %s\n     Private key: %s\n", verb, c.thumbprint.c_str(), c.subject.c_str(),
         key_word(c.key));
}

bool write_der(const std::string &path, const std::vector<uint8_t> &der) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(reinterpret_cast<const char *>(der.data()), static_cast<std::streamsize>(der.size()));
  if (out) out.close();
  if (out) return true;
  report(path, std::string("cannot write the certificate: ") + strerror(errno));
  return false;
}

// Positive, minimal and different every time: the first byte is 01 to 7F. Empty when the
// random generator fails.
std::vector<uint8_t> random_serial() {
  std::vector<uint8_t> serial(kRandomSerialNbytes);
  if (RAND_bytes(serial.data(), static_cast<int>(serial.size())) != 1) return {};
  serial[0] = static_cast<uint8_t>(serial[0] % 0x7F + 1);
  return serial;
}

}  // namespace

int import_command(const ImportOptions &options) {
  Pkcs12Contents contents;
  for (int attempt = 1;; ++attempt) {
    std::string password;
    const SecretPurpose purpose{options.file, options.file, "password", "--password-file or --password-stdin"};
    if (!obtain_secret(options.password, purpose, attempt, &password)) return kExitFailed;
    std::string error;
    const Pkcs12Status status = read_pkcs12(options.file, password, &contents, &error);
    if (status == Pkcs12Status::ok) break;
    const bool ask_again = status == Pkcs12Status::wrong_password &&
                           options.password.kind == SecretSource::Kind::terminal && attempt < kPasswordAttempts;
    if (!ask_again) {
      report(options.file, error);
      return kExitFailed;
    }
  }
  std::string passphrase;
  if (!choose_key_passphrase(options.key_passphrase, options.file, &passphrase)) return kExitFailed;
  std::string error;
  StoredCertificate installed;
  if (install_certificate(contents.der, contents.key.get(), passphrase, &error, &installed) != 0) {
    report(options.file, error);
    return kExitFailed;
  }
  print_installed(installed, "Imported");
  if (contents.other_certificates > 0)
    printf("The file's %d other certificate(s) of the chain were not imported.\n", contents.other_certificates);
  return kExitOk;
}

int list_command(const ListOptions &options) {
  p11::set_tokens_off_in_process(!options.tokens);
  std::vector<StoredCertificate> stored;
  std::string error;
  if (list_certificates(&stored, &error) != 0) {
    report(error);
    return kExitFailed;
  }
  if (stored.empty()) {
    puts("The certificate store is empty.");
    return kExitOk;
  }
  printf("%3s  %-40s  %-7s  %-10s  %s\n", "#", "Thumbprint (SHA-1)", "Key", "Valid from", "Valid to");
  for (const StoredCertificate &c : stored) print_certificate(c);
  return kExitOk;
}

int remove_command(const RemoveOptions &options) {
  StoredCertificate removed;
  bool key_removed = false;
  std::string error;
  if (remove_certificate(options.index, options.thumbprint_prefix, &removed, &key_removed, &error) != 0) {
    report(error);
    return kExitFailed;
  }
  printf("Removed certificate %d: %s\n     Subject: %s\n", removed.index, removed.thumbprint.c_str(),
         removed.subject.c_str());
  if (key_removed) printf("Removed its private key (container %s).\n", removed.container.c_str());
  return kExitOk;
}

int new_command(const NewOptions &options) {
  CertificateRequest request = options.request;
  if (request.serial.empty()) request.serial = random_serial();
  if (request.serial.empty()) {
    report("cannot draw a random serial number");
    return kExitFailed;
  }
  std::string passphrase;
  const SecretPurpose purpose{"the new key", "new", "passphrase for the key", "--key-passphrase-file"};
  if (!obtain_secret(options.key_passphrase, purpose, 1, &passphrase)) return kExitFailed;
  std::string error;
  std::optional<MadeCertificate> made = make_certificate(request, &error);
  if (!made) {
    report("cannot make the certificate: " + codepage::utf8_from_ansi(error));  // it quotes the 1252 names
    return kExitFailed;
  }
  if (!options.export_path.empty() && !write_der(options.export_path, made->der)) return kExitFailed;
  StoredCertificate installed;
  if (install_certificate(made->der, options.with_key ? made->key.get() : nullptr, passphrase, &error, &installed) !=
      0) {
    report(error);
    // A failure leaves nothing behind, the exported copy included.
    std::error_code ignored;
    if (!options.export_path.empty()) std::filesystem::remove(options.export_path, ignored);
    return kExitFailed;
  }
  print_installed(installed, "Installed");
  if (!options.export_path.empty()) printf("Wrote the certificate to %s\n", options.export_path.c_str());
  return kExitOk;
}

int check_command(bool repair) {
  std::vector<certstore::Finding> findings;
  const DWORD code = certstore::check_store("MY", repair, &findings);
  for (const certstore::Finding &finding : findings) {
    switch (finding.kind) {
      case certstore::Finding::Kind::kDamagedCertificate:
        printf("Damaged certificate file (the store skips it): %s\n", finding.path.c_str());
        break;
      case certstore::Finding::Kind::kDamagedProperties:
        printf("Damaged property file (its certificate has lost the link to its key): %s\n", finding.path.c_str());
        break;
      case certstore::Finding::Kind::kOrphanedKey:
        printf("Private key that no certificate names: %s\n", finding.path.c_str());
        break;
    }
  }
  if (code != 0) {
    report("cannot check the certificate store: " + quillora::error_text(code));
    return kExitFailed;
  }
  if (findings.empty()) {
    puts("The certificate store and its private keys are sound.");
    return kExitOk;
  }
  if (repair) {
    printf("Removed %zu damaged or orphaned file(s).\n", findings.size());
    return kExitOk;
  }
  printf("%zu problem(s); 'quillora certs check --repair' removes the files named.\n", findings.size());
  return kExitFailed;
}

int sources_command(const SourcesOptions &options) {
  p11::SourceSettings settings = p11::read_settings();
  const p11::SourceSettings before = settings;
  if (options.tokens) settings.tokens = *options.tokens;
  if (options.nss) settings.nss = *options.nss;
  if (options.module) settings.module = *options.module;
  if (settings != before) {
    if (DWORD error = p11::write_settings(settings)) {
      report(p11::settings_path(), "cannot write the setting: " + quillora::error_text(error));
      return kExitFailed;
    }
  }
  std::string databases;
  for (const p11::NssDatabase &db : p11::nss_databases()) databases += (databases.empty() ? "" : ", ") + db.folder;
  printf("Sources of the personal store, in the order it lists them (setting: %s):\n", p11::settings_path().c_str());
  std::string root;
  platform::user_data_root(&root);  // usable: the command checked it first
  printf("  store   on   %s/certificates/MY\n", root.c_str());
  printf("  tokens  %s  the PKCS #11 tokens of the modules p11-kit registers\n", switch_word(settings.tokens));
  printf("  module  %s  %s\n", switch_word(!settings.module.empty()),
         settings.module.empty() ? "no extra PKCS #11 module" : settings.module.c_str());
  printf("  nss     %s  %s\n", switch_word(settings.nss),
         databases.empty() ? "no NSS database found (~/.pki/nssdb, $XDG_DATA_HOME/pki/nssdb)" : databases.c_str());
  return kExitOk;
}

}  // namespace certs
