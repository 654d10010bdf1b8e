// error_text.cc - error codes to words through FormatMessageA, the platform's one table of texts.
#include "tools/quillora/error_text.h"

#include <cstdio>

#include "platform/errors/format_message.h"

namespace quillora {

std::string error_text(uint32_t code, const std::string &insert) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  if (length == 0) {
    char fallback[32];
    snprintf(fallback, sizeof fallback, "error 0x%08X", static_cast<unsigned>(code));
    return fallback;
  }
  std::string words(text, length);
  if (const size_t at = words.find("%1"); at != std::string::npos) words.replace(at, 2, insert);
  return words;
}

}  // namespace quillora
