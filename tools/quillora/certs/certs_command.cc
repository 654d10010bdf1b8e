// certs_command.cc - the certs subcommands: their table, their help, and parsing before the work.
#include "tools/quillora/certs/certs_command.h"

#include <stdio.h>

#include <string_view>

#include "tools/quillora/certs/certs_actions.h"
#include "tools/quillora/certs/certs_options.h"
#include "tools/quillora/data_folder.h"
#include "tools/quillora/messages.h"

namespace certs {

namespace {

using quillora::kExitUsage;
using quillora::ParsedOptions;

int usage_error(const std::string &text) {
  quillora::report_usage_error(text, "certs");
  return kExitUsage;
}

// Runs the command once its command line is good and the data folder can be used.
template <typename Command>
int run_checked(const std::string &usage, Command command) {
  if (!usage.empty()) return usage_error(usage);
  return quillora::data_folder_usable() ? command() : quillora::kExitFailed;
}

int run_import(const ParsedOptions &parsed) {
  ImportOptions options;
  const std::string error = check_import(parsed, &options);
  return run_checked(error, [&] { return import_command(options); });
}

int run_list(const ParsedOptions &parsed) {
  ListOptions options;
  const std::string error = check_list(parsed, &options);
  return run_checked(error, [&] { return list_command(options); });
}

int run_sources(const ParsedOptions &parsed) {
  SourcesOptions options;
  const std::string error = check_sources(parsed, &options);
  return run_checked(error, [&] { return sources_command(options); });
}

int run_remove(const ParsedOptions &parsed) {
  RemoveOptions options;
  const std::string error = check_remove(parsed, &options);
  return run_checked(error, [&] { return remove_command(options); });
}

int run_new(const ParsedOptions &parsed) {
  NewOptions options;
  const std::string error = check_new(parsed, &options);
  return run_checked(error, [&] { return new_command(options); });
}

int run_check(const ParsedOptions &parsed) {
  return run_checked(check_check(parsed), [&] { return check_command(parsed.has("--repair")); });
}

struct Subcommand {
  std::string_view name;
  const std::span<const quillora::OptionSpec> &options;
  int (*run)(const ParsedOptions &parsed);
};

const Subcommand kSubcommands[] = {{"import", kImportOptionSpecs, run_import},
                                   {"list", kListOptionSpecs, run_list},
                                   {"remove", kRemoveOptionSpecs, run_remove},
                                   {"new", kNewOptionSpecs, run_new},
                                   {"check", kCheckOptionSpecs, run_check},
                                   {"sources", kSourcesOptionSpecs, run_sources}};

void print_certs_help() {
  fputs(
      "Usage: quillora certs import FILE.p12 [--password-file F | --password-stdin]\n"
      "                             [--key-passphrase-file F | --no-key-passphrase]\n"
      "       quillora certs list [--no-tokens]\n"
      "       quillora certs remove INDEX|THUMBPRINT\n"
      "       quillora certs new --subject NAME [OPTIONS]\n"
      "       quillora certs check [--repair]\n"
      "       quillora certs sources [--tokens on|off] [--nss on|off] [--module PATH | --no-module]\n"
      "Manages the certificates of the personal store (\"MY\") and their private keys, kept\n"
      "under $QUILLORA_DATA_HOME, else $XDG_DATA_HOME/quillora, else ~/.local/share/quillora.\n"
      "The store also offers, after its own, the certificates with keys on the user's PKCS #11\n"
      "tokens (smart cards, through the modules p11-kit registers) and in the NSS databases\n"
      "(~/.pki/nssdb, $XDG_DATA_HOME/pki/nssdb); their keys stay there and their PIN or\n"
      "password is asked when a signature needs it.\n"
      "\n"
      "Commands:\n"
      "  import FILE.p12  add the certificate of a PKCS #12 file (.p12, .pfx; AES, 3DES or\n"
      "                   RC2-40) with its private key, which goes into a new container of\n"
      "                   the software key provider\n"
      "  list             show each certificate: index, SHA-1 thumbprint, whether its private\n"
      "                   key is there, validity (UTC), subject, issuer, serial number and\n"
      "                   source (the store, a token, an NSS database); --no-tokens shows\n"
      "                   the store's own only\n"
      "  remove SELECTOR  remove one certificate and its private key; SELECTOR is the index\n"
      "                   that list shows, or a thumbprint or its first 6 or more hex digits\n"
      "  new              make a test certificate with a new 2048-bit RSA key and install it\n"
      "  check            list damaged certificate or property files and private keys that no\n"
      "                   certificate names (left by a crash or by hand); with --repair, remove\n"
      "                   them (exit 1 when problems remain)\n"
      "  sources          show, or change with its options, which sources the store gathers:\n"
      "                   --tokens and --nss switch the p11-kit tokens and the NSS databases\n"
      "                   on or off, --module names one more PKCS #11 module (an absolute\n"
      "                   path) and --no-module forgets it\n"
      "\n"
      "Options of import:\n"
      "  --password-file F        the file's password is the first line of F\n"
      "  --password-stdin         the file's password is the first line of standard input\n"
      "  --key-passphrase-file F  protect the key with the first line of F (empty: unprotected)\n"
      "  --no-key-passphrase      store the key unprotected\n"
      "  Without them, the password and a new passphrase are asked on the terminal.\n"
      "\n"
      "Options of new:\n"
      "  --subject NAME           X.500 name such as \"C=ES, O=Test Org, CN=Test\", encoded in\n"
      "                           the order written (required)\n"
      "  --issuer NAME            issuer name (default: the subject); the certificate is\n"
      "                           signed by its own key all the same\n"
      "  --version 1|3            default 3; a version 1 certificate has no extensions\n"
      "  --serial HEX             the serial number's content bytes, exactly: 00A1FF is\n"
      "                           positive, A1FF negative (default: 8 random bytes)\n"
      "  --not-before YYYY-MM-DD  first day of validity, from 00:00:00 UTC (default: yesterday)\n"
      "  --not-after YYYY-MM-DD   last day of validity, to 23:59:59 UTC (default: in a year)\n"
      "  --key-usage LIST         comma-separated, from:",
      stdout);
  for (size_t i = 0; i < kKeyUsageNames.size(); ++i) {
    const char *separator = i == 0 ? "\n" : i % 3 == 0 ? ",\n" : ", ";
    printf("%s%s%s", separator, i % 3 == 0 ? "                             " : "", kKeyUsageNames[i].name);
  }
  fputs(
      "\n"
      "  --key-usage-critical     mark the key usage critical (the default)\n"
      "  --key-usage-noncritical  mark it not critical\n"
      "  --no-key                 install the certificate without its private key\n"
      "  --key-passphrase-file F  protect the key with the first line of F (default: unprotected)\n"
      "  --export-cert FILE.cer   also write the certificate, DER-encoded, to FILE.cer\n"
      "\n"
      "Exit codes:\n",
      stdout);
  printf("  %2d  success\n  %2d  the operation failed (stderr says why)\n  %2d  usage error\n", quillora::kExitOk,
         quillora::kExitFailed, kExitUsage);
}

}  // namespace

int run_certs_command(std::span<const std::string> args) {
  if (args.empty()) return usage_error("missing certs command (import, list, remove, new, check or sources)");
  if (args[0] == "-h" || args[0] == "--help") {
    print_certs_help();
    return quillora::kExitOk;
  }
  for (const Subcommand &subcommand : kSubcommands) {
    if (subcommand.name != args[0]) continue;
    std::string error;
    std::optional<ParsedOptions> parsed = quillora::parse_options(args.subspan(1), subcommand.options, &error);
    if (!parsed) return usage_error(error);
    if (parsed->help) {
      print_certs_help();
      return quillora::kExitOk;
    }
    return subcommand.run(*parsed);
  }
  return usage_error("unknown certs command '" + args[0] + "'");
}

}  // namespace certs
