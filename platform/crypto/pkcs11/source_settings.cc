// source_settings.cc - the certificate-sources file, the process's own switch, and where NSS keeps its databases.
#include "platform/crypto/pkcs11/source_settings.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/files/private_file.h"

namespace p11 {
namespace {

constexpr char kFileName[] = "certificate-sources";
constexpr size_t kMaxFileNbytes = 16 * 1024;

std::atomic<bool> g_tokens_off_in_process{false};

std::string trimmed(const std::string &text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "on" or "off" into *value; anything else leaves it.
void read_switch(const std::string &text, bool *value) {
  if (text == "on") *value = true;
  if (text == "off") *value = false;
}

bool is_file(const std::string &path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string env_or_empty(const char *name) {
  const char *value = getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

std::string settings_path() {
  std::string root;
  if (platform::user_data_root(&root) != ERROR_SUCCESS) return "";  // nothing to read: the defaults hold
  return root + "/" + kFileName;
}

SourceSettings read_settings() {
  SourceSettings settings;
  std::vector<BYTE> bytes;
  if (privfile::read_file(settings_path(), kMaxFileNbytes, &bytes) != ERROR_SUCCESS) return settings;
  const std::string text(bytes.begin(), bytes.end());
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = trimmed(text.substr(start, end - start));
    start = end + 1;
    const size_t equals = line.find('=');
    if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
    const std::string key = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (key == "tokens") read_switch(value, &settings.tokens);
    if (key == "nss") read_switch(value, &settings.nss);
    if (key == "module") settings.module = value;
  }
  return settings;
}

DWORD write_settings(const SourceSettings &settings) {
  std::string text =
      "# Where the personal certificate store (\"MY\") looks besides its own folder.\n"
      "# tokens: the PKCS #11 tokens of the modules p11-kit registers; nss: the NSS databases;\n"
      "# module: one more PKCS #11 module.\n";
  text += std::string("tokens = ") + (settings.tokens ? "on" : "off") + "\n";
  text += std::string("nss = ") + (settings.nss ? "on" : "off") + "\n";
  if (!settings.module.empty()) text += "module = " + settings.module + "\n";
  std::string root;
  if (DWORD error = platform::user_data_root(&root)) return error;
  if (DWORD error = platform::make_private_folders(root)) return error;
  return privfile::write_file(root, kFileName, std::vector<BYTE>(text.begin(), text.end()), 0600,
                              privfile::Placement::kReplace);
}

void set_tokens_off_in_process(bool off) { g_tokens_off_in_process = off; }

SourceSettings effective_settings() {
  if (g_tokens_off_in_process) return SourceSettings{false, false, ""};
  return read_settings();
}

std::vector<NssDatabase> nss_databases() {
  const std::string home = env_or_empty("HOME");
  std::string xdg = env_or_empty("XDG_DATA_HOME");
  if (xdg.empty() && !home.empty()) xdg = home + "/.local/share";
  std::vector<NssDatabase> found;
  std::vector<std::string> real_folders;
  for (const std::string &base : {home.empty() ? "" : home + "/.pki", xdg.empty() ? "" : xdg + "/pki"}) {
    if (base.empty()) continue;
    const std::string folder = base + "/nssdb";
    // A database is its certificate file: cert9.db (SQLite) or, from older NSS, cert8.db.
    const char *scheme = is_file(folder + "/cert9.db") ? "sql:" : is_file(folder + "/cert8.db") ? "dbm:" : nullptr;
    char real[PATH_MAX];
    if (scheme == nullptr || realpath(folder.c_str(), real) == nullptr) continue;
    bool seen = false;
    for (const std::string &other : real_folders) seen = seen || other == real;
    if (seen) continue;
    real_folders.push_back(real);
    found.push_back({folder, scheme + folder});
  }
  return found;
}

}  // namespace p11
