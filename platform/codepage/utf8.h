// utf8.h - UTF-8 to and from UTF-16, the one converter the platform layer uses for both directions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace codepage {

// Strict UTF-8 to UTF-16: false (with *out unspecified) at the first ill-formed sequence
// (overlong forms, surrogates, code points past U+10FFFF, truncated sequences).
bool utf16_from_utf8(const uint8_t *utf8, size_t utf8_nbytes, std::u16string *out);

// The number of bytes before the first ill-formed sequence: utf8_nbytes when all are well formed.
size_t well_formed_utf8_nbytes(const uint8_t *utf8, size_t utf8_nbytes);

// The same, but each maximal ill-formed subpart becomes U+FFFD, as Windows converts.
std::u16string utf16_from_utf8_replacing(const uint8_t *utf8, size_t utf8_nbytes);

// Decodes the character at utf8[0..nbytes) (nbytes > 0) into *code and returns its length; an
// ill-formed sequence gives U+FFFD and the length of its maximal ill-formed subpart.
size_t decode_utf8(const uint8_t *utf8, size_t nbytes, uint32_t *code);

// Appends one code point (at most U+10FFFF) as one or two UTF-16 code units.
void append_utf16(std::u16string *out, uint32_t code);

// UTF-16 to UTF-8; an unpaired surrogate, which has no UTF-8 form, becomes U+FFFD.
std::string utf8_from_utf16(std::u16string_view text);

}  // namespace codepage
