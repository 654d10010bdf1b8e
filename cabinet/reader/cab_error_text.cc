// cab_error_text.cc - the one table that turns a reader error code into words.
#include "cabinet/include/cab_error_text.h"

#include "cabinet/include/cab_reader.h"

namespace {

// Indexed by code; the codes are pinned, so the table only ever grows at its end.
constexpr const char *kTexts[] = {
    nullptr,
    "cannot open the cabinet",
    "not a cabinet",
    "unsupported cabinet format version",
    "damaged cabinet",
    "out of memory",
    "unknown compression method",
    "data cannot be decoded",
    "an output file cannot be written",
    "reserve sizes differ between the cabinets of the set",
    "wrong cabinet of the set",
    "aborted: an output file cannot be created or its name is refused",
};
static_assert(sizeof kTexts / sizeof kTexts[0] == ERR_ABORTED + 1, "one text per error code");

}  // namespace

const char *cab_error_text(int code) {
  if (code < ERR_OPEN_CABINET || code > ERR_ABORTED) return "unknown error";
  return kTexts[code];
}
