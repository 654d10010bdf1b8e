// code_page_1252.h - the ANSI code page (Windows-1252) to and from UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace codepage {

// Bytes of code page 1252 to UTF-16; the five bytes 1252 leaves undefined map to the C1 controls
// of the same value, as Windows does, so every byte round-trips.
std::u16string utf16_from_ansi(std::string_view ansi);

// UTF-16 to code page 1252: a character 1252 cannot represent exactly becomes its best fit
// (unless best_fit is false) or else default_char (a surrogate pair counts as one character),
// and *used_default, when not null, tells whether a default_char was put.
std::string ansi_from_utf16(std::u16string_view text, char default_char, bool *used_default, bool best_fit = true);

// 1252 text as UTF-8, as user-interface back ends and tools show the platform's texts.
std::string utf8_from_ansi(std::string_view ansi);

// Whether a 1252 byte stands for a control character: C0, DEL, and the five undefined bytes,
// which map to the C1 controls of the same value.
bool is_control_1252(char c);

// Upper case of one 1252 byte: ASCII letters, the accented Latin-1 letters (not the division
// sign 0xF7 nor sharp s 0xDF, whose capital 1252 lacks), and the four pairs that 1252 places in
// 0x80-0x9F. Other bytes come back unchanged.
char upper_1252(char c);

// The same with best fit and '?' as the default character, as WideCharToMultiByte(CP_ACP, 0).
inline std::string ansi_from_utf16(std::u16string_view text) { return ansi_from_utf16(text, '?', nullptr); }

}  // namespace codepage
