// text_edges.h - quillora's texts at its edges: UTF-8 from the command line and files, Windows-1252 inside the platform.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillora {

// The Windows-1252 form of a UTF-8 value, when it has an exact one: nothing otherwise, with the
// reason in *error (where the UTF-8 is ill-formed, or the first character 1252 lacks). A value is
// never changed silently: a best fit would store a name the user did not write.
std::optional<std::string> ansi_from_utf8(std::string_view utf8, std::string *error);

// "" when the text can be signed as the user gave it: well-formed UTF-8 without a NUL byte, after
// a leading UTF-8 byte-order mark has been dropped from *text. Else the reason, for the user.
std::string check_text_to_sign(std::string *text);

}  // namespace quillora
