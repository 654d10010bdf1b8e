// origin_policy.cc - the origin rule and the allow-list file.
#include "tools/bridge/origin_policy.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/base/data_root.h"

namespace bridge {

namespace {

bool is_host_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

// A host as browsers serialize it: lower-case DNS labels (IDNs arrive in their ASCII form) or a
// bracketed IPv6 address; then an optional port of 1 to 5 digits.
bool is_host_and_port(std::string_view rest) {
  size_t end;
  if (!rest.empty() && rest.front() == '[') {
    end = rest.find(']');
    if (end == std::string_view::npos || end == 1) return false;
    if (!std::all_of(rest.begin() + 1, rest.begin() + static_cast<long>(end),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == ':' || c == '.'; }))
      return false;
    ++end;
  } else {
    end = std::min(rest.find(':'), rest.size());
    if (end == 0 || !std::all_of(rest.begin(), rest.begin() + static_cast<long>(end), is_host_char)) return false;
  }
  const std::string_view port = rest.substr(end);
  if (port.empty()) return true;
  return port.front() == ':' && port.size() >= 2 && port.size() <= 6 &&
         std::all_of(port.begin() + 1, port.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The host of a "http://" origin without its port.
std::string_view host_of(std::string_view rest) { return rest.substr(0, std::min(rest.find(':'), rest.size())); }

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char &c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

bool fits_rule(std::string_view origin) {
  constexpr std::string_view kSecure = "https://", kPlain = "http://";
  if (origin.starts_with(kSecure)) return is_host_and_port(origin.substr(kSecure.size()));
  if (!origin.starts_with(kPlain)) return false;
  const std::string_view rest = origin.substr(kPlain.size());
  return is_host_and_port(rest) && (host_of(rest) == "localhost" || host_of(rest) == "127.0.0.1");
}

}  // namespace

std::optional<OriginPolicy> OriginPolicy::load(const std::string &path, std::vector<std::string> *warnings,
                                               std::string *error) {
  if (path.empty()) {
    *error = "no data folder to read the list of allowed sites from (QUILLORA_DATA_HOME empty, or no HOME)";
    return std::nullopt;
  }
  std::error_code status;
  if (!std::filesystem::exists(path, status) && !status) return OriginPolicy();
  std::ifstream in(path);
  if (status || !std::filesystem::is_regular_file(path, status) || !in) {
    *error = path + ": cannot be read";
    return std::nullopt;
  }
  std::vector<std::string> allowed;
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = line.substr(0, line.find('#'));
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    std::string entry = lowered(line.substr(first, line.find_last_not_of(" \t\r") + 1 - first));
    if (entry.ends_with('/')) entry.pop_back();
    if (!fits_rule(entry)) {
      warnings->push_back(path + ":" + std::to_string(number) + ": '" + entry +
                          "' is not an https origin nor http://localhost or http://127.0.0.1; ignored");
      continue;
    }
    allowed.push_back(std::move(entry));
  }
  if (in.bad()) {
    *error = path + ": read failed";
    return std::nullopt;
  }
  return OriginPolicy(std::move(allowed));
}

std::string OriginPolicy::refusal(std::string_view origin) const {
  if (!fits_rule(origin)) return "only secure (https) sites may ask for a signature";
  if (allowed_ && std::find(allowed_->begin(), allowed_->end(), origin) == allowed_->end())
    return "this site is not in the list of sites allowed to ask for a signature";
  return "";
}

std::string allow_list_path() {
  std::string root;
  if (platform::user_data_root(&root) != 0) return "";
  return root + "/bridge/allowed-origins";
}

}  // namespace bridge
