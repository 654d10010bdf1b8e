// utf8.cc - UTF-8 decoding (strict or replacing) and encoding.
#include "platform/codepage/utf8.h"

namespace codepage {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes the sequence at utf8[0..] and returns its length, or the length of its maximal
// ill-formed subpart (at least 1) with *code unset and *valid false. The bounds on the second
// byte are those that exclude overlongs, surrogates and values past U+10FFFF, so a bad second
// byte ends the subpart at once, as Unicode's "maximal subpart" rule wants.
size_t decode_one(const uint8_t *utf8, size_t nbytes, uint32_t *code, bool *valid) {
  const uint8_t lead = utf8[0];
  *valid = false;
  if (lead < 0x80) {
    *code = lead;
    *valid = true;
    return 1;
  }
  size_t extra;
  uint8_t low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 1;
  }
  uint32_t value = lead & (0x3F >> extra);
  for (size_t k = 1; k <= extra; ++k) {
    if (k >= nbytes) return k;
    const uint8_t byte = utf8[k];
    if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) return k;
    value = value << 6 | (byte & 0x3F);
  }
  *code = value;
  *valid = true;
  return extra + 1;
}

}  // namespace

size_t decode_utf8(const uint8_t *utf8, size_t nbytes, uint32_t *code) {
  bool valid;
  const size_t length = decode_one(utf8, nbytes, code, &valid);
  if (!valid) *code = kReplacement;
  return length;
}

void append_utf16(std::u16string *out, uint32_t code) {
  if (code < 0x10000) {
    out->push_back(static_cast<char16_t>(code));
  } else {
    code -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  }
}

bool utf16_from_utf8(const uint8_t *utf8, size_t utf8_nbytes, std::u16string *out) {
  out->clear();
  for (size_t i = 0; i < utf8_nbytes;) {
    uint32_t code;
    bool valid;
    i += decode_one(utf8 + i, utf8_nbytes - i, &code, &valid);
    if (!valid) return false;
    append_utf16(out, code);
  }
  return true;
}

size_t well_formed_utf8_nbytes(const uint8_t *utf8, size_t utf8_nbytes) {
  for (size_t i = 0; i < utf8_nbytes;) {
    uint32_t code;
    bool valid;
    const size_t n = decode_one(utf8 + i, utf8_nbytes - i, &code, &valid);
    if (!valid) return i;
    i += n;
  }
  return utf8_nbytes;
}

std::u16string utf16_from_utf8_replacing(const uint8_t *utf8, size_t utf8_nbytes) {
  std::u16string out;
  for (size_t i = 0; i < utf8_nbytes;) {
    uint32_t code;
    i += decode_utf8(utf8 + i, utf8_nbytes - i, &code);
    append_utf16(&out, code);
  }
  return out;
}

std::string utf8_from_utf16(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (code >= 0xD800 && code < 0xE000) {
      code = kReplacement;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | code >> 6));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | code >> 12));
      out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | code >> 18));
      out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

}  // namespace codepage
