// certs_options.h - the `quillora certs` command lines, checked and turned into what each command needs.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "tools/cert_factory/cert_factory.h"
#include "tools/quillora/command_line.h"
#include "tools/quillora/secrets.h"

namespace certs {

struct ImportOptions {
  std::string file;
  quillora::SecretSource password;        // file, stdin_line or terminal
  quillora::SecretSource key_passphrase;  // file, none or terminal
};

struct ListOptions {
  bool tokens = true;  // false: the store's own certificates only
};

// A change of the certificate-sources setting; what is not given stays.
struct SourcesOptions {
  std::optional<bool> tokens;
  std::optional<bool> nss;
  std::optional<std::string> module;  // empty: no extra module
};

struct RemoveOptions {
  int index = 0;                  // 1-based; used when thumbprint_prefix is empty
  std::string thumbprint_prefix;  // uppercase hex
};

struct NewOptions {
  CertificateRequest request;  // an empty serial asks for a random one
  bool with_key = true;
  quillora::SecretSource key_passphrase;  // file or none
  std::string export_path;                // empty: no export
};

extern const std::span<const quillora::OptionSpec> kImportOptionSpecs;
extern const std::span<const quillora::OptionSpec> kListOptionSpecs;
extern const std::span<const quillora::OptionSpec> kRemoveOptionSpecs;
extern const std::span<const quillora::OptionSpec> kNewOptionSpecs;
extern const std::span<const quillora::OptionSpec> kCheckOptionSpecs;
extern const std::span<const quillora::OptionSpec> kSourcesOptionSpecs;

// Each checks what parse_options could not and fills in the options; the usage error, or "" when
// the command line is good.
std::string check_import(const quillora::ParsedOptions &parsed, ImportOptions *options);
std::string check_list(const quillora::ParsedOptions &parsed, ListOptions *options);
std::string check_remove(const quillora::ParsedOptions &parsed, RemoveOptions *options);
std::string check_new(const quillora::ParsedOptions &parsed, NewOptions *options);
std::string check_check(const quillora::ParsedOptions &parsed);
std::string check_sources(const quillora::ParsedOptions &parsed, SourcesOptions *options);

// The key usage names and the bits they stand for in the first byte of the key usage.
struct KeyUsageName {
  const char *name;
  uint8_t bit;
};
extern const std::span<const KeyUsageName> kKeyUsageNames;

}  // namespace certs
