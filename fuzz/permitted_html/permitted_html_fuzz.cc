// permitted_html_fuzz.cc - fuzzes IsPermittedHtml against a plain step-by-step reading of the vetting rule.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "control/requests/permitted_html.h"

/*
 * Input: any bytes, taken as the request's text (cut at the first NUL, as an 8-bit string is).
 * The reference below walks the rule literally, with whole-string copies and no shortcuts; the
 * fast scan must agree with it on every input.
 */
namespace {

bool reference_vetting(const std::string &text) {
  std::string rest = text;
  for (;;) {
    if (rest.empty()) return true;
    const size_t open = rest.find('<');
    if (open == std::string::npos) return true;
    size_t start = open + 1;
    if (start < rest.size() && rest[start] == '/') ++start;
    const std::string tail = rest.substr(start);
    if (tail.empty()) return false;
    const size_t close = tail.find('>');
    if (close == std::string::npos) return false;
    rest = tail.substr(close + 1);
    std::string candidate = tail.substr(0, close);
    const size_t space = candidate.find_first_of(" \r\n\t");
    if (space != std::string::npos && space != 0) candidate.resize(space);
    for (char &c : candidate) {
      if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    }
    bool found = false;
    for (const char *const *tag = g_permittedTags; **tag != '\0' && !found; ++tag) found = candidate == *tag;
    if (!found) return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), strnlen(reinterpret_cast<const char *>(data), size));
  // An exact-size heap copy, so that any read past the terminator is caught.
  char *copy = static_cast<char *>(malloc(text.size() + 1));
  memcpy(copy, text.c_str(), text.size() + 1);
  const bool fast = IsPermittedHtml(copy) != FALSE;
  free(copy);
  if (fast != reference_vetting(text)) abort();
  return 0;
}
