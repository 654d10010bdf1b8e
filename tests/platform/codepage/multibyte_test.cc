// multibyte_test.cc - catches wrong 1252 mappings (the five undefined bytes), a best fit missed or applied against WC_NO_BEST_FIT_CHARS, a default character not reported, wrong UTF-8 replacement, NUL handling under -1, and broken size contracts.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "platform/base/last_error.h"
#include "platform/codepage/multibyte.h"

namespace {

// Converts through the size query into a buffer of exactly that size; the last error on failure.
std::u16string to_wide(UINT page, const std::string &bytes, int count) {
  const int needed = MultiByteToWideChar(page, 0, bytes.data(), count, nullptr, 0);
  if (needed == 0) return u"<error>";
  std::u16string out(needed, u'\0');
  EXPECT_EQ(MultiByteToWideChar(page, 0, bytes.data(), count, out.data(), needed), needed);
  return out;
}

std::string to_narrow(UINT page, const std::u16string &text, int count, const char *default_char = nullptr,
                      BOOL *used = nullptr, DWORD flags = 0) {
  const int needed = WideCharToMultiByte(page, flags, text.data(), count, nullptr, 0, default_char, nullptr);
  if (needed == 0) return "<error>";
  std::string out(needed, '\0');
  EXPECT_EQ(WideCharToMultiByte(page, flags, text.data(), count, out.data(), needed, default_char, used), needed);
  return out;
}

struct AnsiCase {
  std::string bytes;
  std::u16string text;
};

class AnsiRoundTrip : public testing::TestWithParam<AnsiCase> {};

TEST_P(AnsiRoundTrip, BothDirections) {
  const int n = static_cast<int>(GetParam().bytes.size());
  EXPECT_EQ(to_wide(CP_ACP, GetParam().bytes, n), GetParam().text);
  EXPECT_EQ(to_wide(1252, GetParam().bytes, n), GetParam().text);
  BOOL used = TRUE;
  EXPECT_EQ(to_narrow(CP_ACP, GetParam().text, static_cast<int>(GetParam().text.size()), nullptr, &used),
            GetParam().bytes);
  EXPECT_FALSE(used);
}

INSTANTIATE_TEST_SUITE_P(
    CodePage1252, AnsiRoundTrip,
    testing::Values(AnsiCase{"\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D"},
                    AnsiCase{"\x80\x9F\x8A", u"\u20AC\u0178\u0160"}, AnsiCase{"caf\xE9", u"caf\u00E9"},
                    AnsiCase{"\xA0\xFF", u"\u00A0\u00FF"}, AnsiCase{"?", u"?"}));

struct DefaultCase {
  const char *what;
  std::u16string text;
  const char *default_char;
  std::string expected;
};

class DefaultCharacter : public testing::TestWithParam<DefaultCase> {};

TEST_P(DefaultCharacter, StandsInAndIsReported) {
  BOOL used = FALSE;
  EXPECT_EQ(to_narrow(CP_ACP, GetParam().text, static_cast<int>(GetParam().text.size()), GetParam().default_char, &used),
            GetParam().expected)
      << GetParam().what;
  EXPECT_TRUE(used) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Unmappable, DefaultCharacter,
    testing::Values(DefaultCase{"CJK", u"a\u4E2Db", nullptr, "a?b"}, DefaultCase{"U+0080", u"\u0080", nullptr, "?"},
                    DefaultCase{"caller's default", u"\u4E2D", "#", "#"},
                    DefaultCase{"surrogate pair is one character", u"\U0001F600x", nullptr, "?x"},
                    DefaultCase{"lone surrogate", u"\xD800", nullptr, "?"}));

struct BestFitCase {
  const char *what;
  std::u16string text;
  DWORD flags;
  std::string expected;
  bool used_default;
};

std::ostream &operator<<(std::ostream &os, const BestFitCase &c) { return os << c.what; }

class BestFit : public testing::TestWithParam<BestFitCase> {};

TEST_P(BestFit, LookAlikeBeforeTheDefault) {
  BOOL used = !GetParam().used_default;
  EXPECT_EQ(to_narrow(CP_ACP, GetParam().text, static_cast<int>(GetParam().text.size()), nullptr, &used,
                      GetParam().flags),
            GetParam().expected)
      << GetParam().what;
  EXPECT_EQ(used != FALSE, GetParam().used_default) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    CodePage1252, BestFit,
    testing::Values(BestFitCase{"infinity", u"\u221E", 0, "8", false},
                    BestFitCase{"stroke and caron letters", u"\u0141\u00F3d\u017A \u0160", 0, "L\xF3" "dz \x8A", false},
                    BestFitCase{"fullwidth forms", u"\uFF41\uFF3A\uFF01", 0, "aZ!", false},
                    BestFitCase{"part of the mark kept", u"\u01D5", 0, "\xDC", false},
                    BestFitCase{"en space and almost-equal", u"1\u2002\u2248", 0, "1 \x98", false},
                    BestFitCase{"no best fit for CJK", u"\u4E2D", 0, "?", true},
                    BestFitCase{"WC_NO_BEST_FIT_CHARS", u"\u221E\u00E9", WC_NO_BEST_FIT_CHARS, "?\xE9", true}));

struct Utf8Case {
  const char *what;
  std::string bytes;
  std::u16string text;
};

class Utf8Decoding : public testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Decoding, IllFormedPartsBecomeReplacementCharacters) {
  EXPECT_EQ(to_wide(CP_UTF8, GetParam().bytes, static_cast<int>(GetParam().bytes.size())), GetParam().text)
      << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Decoding,
    testing::Values(Utf8Case{"two bytes", "\xC3\xA9", u"\u00E9"},
                    Utf8Case{"four bytes", "\xF0\x9F\x98\x80", u"\U0001F600"},
                    Utf8Case{"truncated three bytes", "\xE2\x82" "a", u"\uFFFDa"},
                    Utf8Case{"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
                    Utf8Case{"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                    Utf8Case{"lone continuation", "a\x80z", u"a\uFFFDz"}));

TEST(Utf8Encoding, PairsAndUnpairedSurrogates) {
  EXPECT_EQ(to_narrow(CP_UTF8, u"\u00E9\U0001F600", 3), "\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(to_narrow(CP_UTF8, u"a\xDC00z", 3), "a\xEF\xBF\xBDz");
  BOOL used = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 0, nullptr, &used), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, nullptr, 0, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(MultiByte, MinusOneIncludesTheNul) {
  EXPECT_EQ(to_wide(CP_ACP, std::string("ab\0cd", 5), -1), std::u16string(u"ab\0", 3));
  EXPECT_EQ(to_narrow(CP_UTF8, std::u16string(u"\u00E9\0x", 3), -1), std::string("\xC3\xA9\0", 3));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "", -1, nullptr, 0), 1);
}

TEST(MultiByte, SizeContract) {
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, buffer, 3), 3);
  EXPECT_EQ(std::u16string(buffer, 4), u"abc#");
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", 4, buffer, 3), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  char narrow[2] = {'#', '#'};
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", 1, narrow, 1, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(narrow[0], '#');
}

TEST(MultiByte, InvalidArguments) {
  char16_t wide[4];
  char narrow[4];
  const struct {
    const char *what;
    int result;
  } calls[] = {
      {"code page 437", MultiByteToWideChar(437, 0, "a", 1, wide, 4)},
      {"flags", MultiByteToWideChar(CP_ACP, 1, "a", 1, wide, 4)},
      {"no input", MultiByteToWideChar(CP_ACP, 0, nullptr, 1, wide, 4)},
      {"zero input count", MultiByteToWideChar(CP_ACP, 0, "a", 0, wide, 4)},
      {"count below -1", MultiByteToWideChar(CP_ACP, 0, "a", -2, wide, 4)},
      {"no output with a count", MultiByteToWideChar(CP_ACP, 0, "a", 1, nullptr, 4)},
      {"negative output count", MultiByteToWideChar(CP_ACP, 0, "a", 1, wide, -1)},
      {"wide: code page 437", WideCharToMultiByte(437, 0, u"a", 1, narrow, 4, nullptr, nullptr)},
      {"wide: zero input count", WideCharToMultiByte(CP_ACP, 0, u"a", 0, narrow, 4, nullptr, nullptr)},
      {"wide: other flags", WideCharToMultiByte(CP_ACP, 1, u"a", 1, narrow, 4, nullptr, nullptr)},
      {"wide: no best fit in UTF-8",
       WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"a", 1, narrow, 4, nullptr, nullptr)},
  };
  for (const auto &call : calls) EXPECT_EQ(call.result, 0) << call.what;
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 1, "a", 1, wide, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
