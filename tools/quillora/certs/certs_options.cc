// certs_options.cc - checks the options of import, list, remove and new, and converts their values.
#include "tools/quillora/certs/certs_options.h"

#include <time.h>

#include <cctype>
#include <utility>

#include "tools/quillora/text_edges.h"

namespace certs {

namespace {

using quillora::OptionSpec;
using quillora::ParsedOptions;
using quillora::SecretSource;

constexpr OptionSpec kImport[] = {{"--password-file", true},
                                  {"--password-stdin", false},
                                  {"--key-passphrase-file", true},
                                  {"--no-key-passphrase", false}};
constexpr OptionSpec kNew[] = {{"--subject", true},
                               {"--issuer", true},
                               {"--version", true},
                               {"--serial", true},
                               {"--not-before", true},
                               {"--not-after", true},
                               {"--key-usage", true},
                               {"--key-usage-critical", false},
                               {"--key-usage-noncritical", false},
                               {"--no-key", false},
                               {"--key-passphrase-file", true},
                               {"--export-cert", true}};

constexpr OptionSpec kCheck[] = {{"--repair", false}};
constexpr OptionSpec kList[] = {{"--no-tokens", false}};
constexpr OptionSpec kSources[] = {{"--tokens", true}, {"--nss", true}, {"--module", true}, {"--no-module", false}};

constexpr KeyUsageName kKeyUsages[] = {{"digitalSignature", 0x80}, {"nonRepudiation", 0x40}, {"keyEncipherment", 0x20},
                                       {"dataEncipherment", 0x10}, {"keyAgreement", 0x08},   {"keyCertSign", 0x04}};

constexpr int64_t kLastSecondOfDay = 24 * 60 * 60 - 1;
constexpr size_t kMaxSerialNbytes = 32;
// Indexes have at most this many digits; longer hex strings are thumbprints.
constexpr size_t kMaxIndexDigits = 5;
constexpr size_t kMinPrefixDigits = 6;
constexpr size_t kThumbprintDigits = 40;

// "" when the command takes exactly `count` operands (named by `what` when one is missing).
std::string check_operands(const ParsedOptions &parsed, size_t count, const char *what) {
  if (parsed.operands.size() > count) return "unexpected argument '" + parsed.operands[count] + "'";
  if (parsed.operands.size() < count) return std::string("missing ") + what;
  return "";
}

// "" when every given option among `names` has a non-empty value.
std::string check_values(const ParsedOptions &parsed, std::initializer_list<const char *> names) {
  for (const char *name : names) {
    if (parsed.has(name) && parsed.value(name).empty()) return std::string("option ") + name + " needs a value";
  }
  return "";
}

bool all_of(const std::string &text, int (*is)(int)) {
  for (unsigned char c : text) {
    if (!is(c)) return false;
  }
  return true;
}

// A day as YYYY-MM-DD, from 1950 (the earliest a certificate's UTCTime can say) on, at midnight UTC.
std::optional<int64_t> parse_day(const std::string &text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
  }
  tm day{};
  day.tm_year = std::stoi(text.substr(0, 4)) - 1900;
  day.tm_mon = std::stoi(text.substr(5, 2)) - 1;
  day.tm_mday = std::stoi(text.substr(8, 2));
  const tm asked = day;
  const time_t seconds = timegm(&day);
  // timegm normalises 02-30 into March; a day that moved did not exist.
  if (asked.tm_year < 50 || day.tm_year != asked.tm_year || day.tm_mon != asked.tm_mon || day.tm_mday != asked.tm_mday)
    return std::nullopt;
  return static_cast<int64_t>(seconds);
}

// The serial's content bytes from hex digits; an odd count gets a leading 0 digit.
std::vector<uint8_t> parse_serial(std::string digits) {
  if (digits.size() % 2 != 0) digits.insert(digits.begin(), '0');
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string parse_key_usage(const std::string &list, uint8_t *bits) {
  *bits = 0;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string name = list.substr(start, end - start);
    name.erase(0, name.find_first_not_of(' '));
    name.erase(name.find_last_not_of(' ') + 1);
    const KeyUsageName *found = nullptr;
    for (const KeyUsageName &usage : kKeyUsages) {
      if (name == usage.name) found = &usage;
    }
    if (found == nullptr) {
      std::string known;
      for (const KeyUsageName &usage : kKeyUsages) known += (known.empty() ? "" : ", ") + std::string(usage.name);
      return "unknown key usage '" + name + "' (known: " + known + ")";
    }
    *bits |= found->bit;
    start = end + 1;
  }
  return "";
}

std::string check_validity(const ParsedOptions &parsed, CertificateRequest *request) {
  for (const char *name : {"--not-before", "--not-after"}) {
    if (!parsed.has(name)) continue;
    std::optional<int64_t> day = parse_day(parsed.value(name));
    if (!day)
      return std::string("option ") + name + " needs a date YYYY-MM-DD from 1950 on, not '" + parsed.value(name) + "'";
    if (name == std::string_view("--not-before"))
      request->not_before = *day;
    else
      request->not_after = *day + kLastSecondOfDay;
  }
  if (request->not_before && request->not_after && *request->not_after < *request->not_before)
    return "the validity ends (--not-after) before it begins (--not-before)";
  return "";
}

std::string check_key_usage(const ParsedOptions &parsed, CertificateRequest *request) {
  if (std::string error = quillora::exclusive(parsed, {"--key-usage-critical", "--key-usage-noncritical"});
      !error.empty())
    return error;
  if (!parsed.has("--key-usage")) {
    for (const char *name : {"--key-usage-critical", "--key-usage-noncritical"}) {
      if (parsed.has(name)) return std::string("option ") + name + " needs --key-usage";
    }
    return "";
  }
  if (request->version != 3) return "a version 1 certificate has no key usage";
  uint8_t bits = 0;
  if (std::string error = parse_key_usage(parsed.value("--key-usage"), &bits); !error.empty()) return error;
  request->key_usage = bits;
  request->key_usage_critical = !parsed.has("--key-usage-noncritical");
  return "";
}

}  // namespace

const std::span<const OptionSpec> kImportOptionSpecs = kImport;
const std::span<const OptionSpec> kListOptionSpecs = kList;
const std::span<const OptionSpec> kRemoveOptionSpecs = {};
const std::span<const OptionSpec> kNewOptionSpecs = kNew;
const std::span<const OptionSpec> kCheckOptionSpecs = kCheck;
const std::span<const OptionSpec> kSourcesOptionSpecs = kSources;
const std::span<const KeyUsageName> kKeyUsageNames = kKeyUsages;

std::string check_import(const ParsedOptions &parsed, ImportOptions *options) {
  for (std::string error : {check_operands(parsed, 1, "FILE (the PKCS #12 file to import)"),
                            check_values(parsed, {"--password-file", "--key-passphrase-file"}),
                            quillora::exclusive(parsed, {"--password-file", "--password-stdin"}),
                            quillora::exclusive(parsed, {"--key-passphrase-file", "--no-key-passphrase"})}) {
    if (!error.empty()) return error;
  }
  options->file = parsed.operands[0];
  if (parsed.has("--password-file"))
    options->password = {SecretSource::Kind::file, parsed.value("--password-file")};
  else if (parsed.has("--password-stdin"))
    options->password = {SecretSource::Kind::stdin_line};
  else
    options->password = {SecretSource::Kind::terminal};
  if (parsed.has("--key-passphrase-file"))
    options->key_passphrase = {SecretSource::Kind::file, parsed.value("--key-passphrase-file")};
  else if (parsed.has("--no-key-passphrase"))
    options->key_passphrase = {SecretSource::Kind::none};
  else
    options->key_passphrase = {SecretSource::Kind::terminal};
  return "";
}

std::string check_list(const ParsedOptions &parsed, ListOptions *options) {
  options->tokens = !parsed.has("--no-tokens");
  return check_operands(parsed, 0, "");
}

std::string check_sources(const ParsedOptions &parsed, SourcesOptions *options) {
  for (std::string error : {check_operands(parsed, 0, ""), check_values(parsed, {"--module"}),
                            quillora::exclusive(parsed, {"--module", "--no-module"})}) {
    if (!error.empty()) return error;
  }
  for (const auto &[name, field] : {std::pair{"--tokens", &options->tokens}, std::pair{"--nss", &options->nss}}) {
    if (!parsed.has(name)) continue;
    const std::string &value = parsed.value(name);
    if (value != "on" && value != "off") return std::string("option ") + name + " needs on or off, not '" + value + "'";
    *field = value == "on";
  }
  if (parsed.has("--module")) {
    const std::string &path = parsed.value("--module");
    // The setting is read wherever the store is opened, from whatever folder: a relative path
    // would name another file there.
    if (path[0] != '/') return "option --module needs an absolute path, not '" + path + "'";
    options->module = path;
  }
  if (parsed.has("--no-module")) options->module = "";
  return "";
}

std::string check_check(const ParsedOptions &parsed) { return check_operands(parsed, 0, ""); }

std::string check_remove(const ParsedOptions &parsed, RemoveOptions *options) {
  if (std::string error = check_operands(parsed, 1, "INDEX or THUMBPRINT"); !error.empty()) return error;
  const std::string &selector = parsed.operands[0];
  if (!selector.empty() && selector.size() <= kMaxIndexDigits && all_of(selector, isdigit)) {
    options->index = std::stoi(selector);
    if (options->index == 0) return "indexes count from 1";
    return "";
  }
  if (selector.size() >= kMinPrefixDigits && selector.size() <= kThumbprintDigits && all_of(selector, isxdigit)) {
    for (char c : selector) options->thumbprint_prefix += static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return "";
  }
  return "'" + selector + "' is neither an index nor a thumbprint (or its first 6 or more hex digits)";
}

std::string check_new(const ParsedOptions &parsed, NewOptions *options) {
  for (std::string error :
       {check_operands(parsed, 0, ""),
        check_values(parsed, {"--subject", "--issuer", "--version", "--serial", "--not-before", "--not-after",
                              "--key-usage", "--key-passphrase-file", "--export-cert"}),
        quillora::exclusive(parsed, {"--no-key", "--key-passphrase-file"})}) {
    if (!error.empty()) return error;
  }
  CertificateRequest &request = options->request;
  if (!parsed.has("--subject")) return "missing --subject";
  // The names come as UTF-8 and the platform takes Windows-1252.
  for (const auto &[name, field] : {std::pair{"--subject", &request.subject}, std::pair{"--issuer", &request.issuer}}) {
    std::string error;
    const std::optional<std::string> ansi = quillora::ansi_from_utf8(parsed.value(name), &error);
    if (!ansi) return std::string("option ") + name + " " + error;
    *field = *ansi;
  }
  if (parsed.has("--version")) {
    const std::string &version = parsed.value("--version");
    if (version != "1" && version != "3") return "option --version needs 1 or 3, not '" + version + "'";
    request.version = version[0] - '0';
  }
  request.serial.clear();
  if (parsed.has("--serial")) {
    const std::string &digits = parsed.value("--serial");
    if (!all_of(digits, isxdigit) || digits.size() > 2 * kMaxSerialNbytes)
      return "option --serial needs 1 to " + std::to_string(2 * kMaxSerialNbytes) + " hex digits, not '" + digits + "'";
    request.serial = parse_serial(digits);
    // DER wants the shortest form, and OpenSSL, like the store, cannot read a certificate without it.
    const std::vector<uint8_t> &b = request.serial;
    if (b.size() >= 2 && ((b[0] == 0x00 && b[1] < 0x80) || (b[0] == 0xFF && b[1] >= 0x80)))
      return "option --serial needs the shortest form of its number, not '" + digits + "'";
  }
  if (std::string error = check_validity(parsed, &request); !error.empty()) return error;
  if (std::string error = check_key_usage(parsed, &request); !error.empty()) return error;
  options->with_key = !parsed.has("--no-key");
  if (parsed.has("--key-passphrase-file"))
    options->key_passphrase = {SecretSource::Kind::file, parsed.value("--key-passphrase-file")};
  options->export_path = parsed.value("--export-cert");
  return "";
}

}  // namespace certs
