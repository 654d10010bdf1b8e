// best_fit_1252.h - the platform's best-fit mappings into code page 1252, for characters 1252 lacks.
#pragma once

namespace codepage {

// The byte WideCharToMultiByte(1252) puts for a UTF-16 code unit 1252 has no exact byte for:
// a letter without its diacritic, the ASCII form of a fullwidth character, a look-alike
// symbol (infinity as 8). False when the platform has no best fit either.
bool best_fit_1252(char16_t unit, char *byte);

}  // namespace codepage
