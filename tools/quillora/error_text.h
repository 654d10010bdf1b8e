// error_text.h - the words for a Windows error code in the tool's messages.
#pragma once

#include <cstdint>
#include <string>

namespace quillora {

// The platform's English system text for `code` without its line end, its "%1" (as in "%1 is not
// a valid Win32 application.") replaced by `insert`; "error 0x........" when the platform has none.
std::string error_text(uint32_t code, const std::string &insert = "");

}  // namespace quillora
