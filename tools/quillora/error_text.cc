// error_text.cc - error codes to words through FormatMessageA, the platform's one table of texts.
#include "tools/quillora/certs/error_text.h"

#include <cstdio>

#include "platform/errors/format_message.h"

namespace certs {

std::string error_text(uint32_t code) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  if (length > 0) return std::string(text, length);
  char fallback[32];
  snprintf(fallback, sizeof fallback, "error 0x%08X", static_cast<unsigned>(code));
  return fallback;
}

}  // namespace certs
