// origin_policy.h - which web origins may ask for a signature: secure ones, the local machine's for development, and the user's allow-list.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// An origin is allowed when it is "https://" and a host, or "http://localhost" or
// "http://127.0.0.1", each with an optional port, exactly as a browser serializes it (no path,
// no user, no trailing slash); and, when an allow-list is in force, when the list names it.
// Anything else is refused: opaque origins ("null"), file pages, plain http to other hosts.
class OriginPolicy {
 public:
  // No allow-list: every origin of the rule above.
  OriginPolicy() = default;
  // An allow-list in force: only the origins given (each checked against the rule, too).
  explicit OriginPolicy(std::vector<std::string> allowed) : allowed_(std::move(allowed)) {}

  // Reads the allow-list file: one origin a line, '#' starts a comment, blank lines and one
  // trailing '/' ignored, scheme and host compared without case. No file: no allow-list. A line
  // that is no origin is reported in *warnings and ignored; a file that names none allows none.
  // An empty path (no data folder) cannot be read.
  static std::optional<OriginPolicy> load(const std::string &path, std::vector<std::string> *warnings,
                                          std::string *error);

  // "" when `origin` may ask, else why not (in a sentence for the page's error).
  std::string refusal(std::string_view origin) const;

 private:
  std::optional<std::vector<std::string>> allowed_;
};

// Where the allow-list lives: the data root's bridge/allowed-origins; "" without a data root.
std::string allow_list_path();

}  // namespace bridge
