// error_text.h - the words for a Windows error code in the tool's messages.
#pragma once

#include <cstdint>
#include <string>

namespace certs {

// The platform's English system text for `code` without its line end, or "error 0x........"
// when the platform has none.
std::string error_text(uint32_t code);

}  // namespace certs
