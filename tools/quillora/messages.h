// messages.h - every diagnostic quillora writes goes through here, to stderr, naming the file or thing concerned.
#pragma once

#include <string_view>

namespace quillora {

// "quillora: <subject>: <text>".
void report(std::string_view subject, std::string_view text);

// "quillora: <text>".
void report(std::string_view text);

// A command line that cannot be understood, with a pointer to the help of `help_command` ("" for
// the program's own help).
void report_usage_error(std::string_view text, std::string_view help_command);

}  // namespace quillora
