// afx_string_test.cc - CString: code page 1252 upper-casing, buffer hand-out and release, removal and formatting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/framework/afx_string.h"

namespace {

TEST(CStringTest, MakeUpperFollowsCodePage1252) {
  const std::pair<const char *, const char *> cases[] = {
      {"00a1ff", "00A1FF"},
      {"abc xyz 019", "ABC XYZ 019"},
      {"\340\351\357\363\374\347\361", "\300\311\317\323\334\307\321"},  // à é ï ó ü ç ñ
      {"\232\234\236\377", "\212\214\216\237"},                          // š œ ž ÿ
      {"\337\367\265", "\337\367\265"},                                  // ß ÷ µ have no capital here
      {"ABC\300", "ABC\300"},
  };
  for (const auto &[text, upper] : cases) {
    CString s(text);
    s.MakeUpper();
    EXPECT_STREQ(s, upper) << text;
  }
}

TEST(CStringTest, BufferKeepsTextAndReleaseFixesLength) {
  CString s("abc");
  char *buffer = s.GetBuffer(16);
  EXPECT_STREQ(buffer, "abc");
  strcpy(buffer, "longer text");
  s.ReleaseBuffer();
  EXPECT_EQ(s.GetLength(), 11);
  EXPECT_STREQ(s, "longer text");
  s.GetBuffer(2);  // never shrinks what is there
  s.ReleaseBuffer(4);
  EXPECT_STREQ(s, "long");
}

TEST(CStringTest, RemoveFormatAndEmbeddedLengths) {
  CString s("CN=\"a, b\", O=\"c\"");
  EXPECT_EQ(s.Remove('"'), 4);
  EXPECT_STREQ(s, "CN=a, b, O=c");
  s.Format("\nC\363digo de error: 0x%08X", 0x80092004u);
  EXPECT_STREQ(s, "\nC\363digo de error: 0x80092004");
  const CString counted("ab\0cd", 5);
  EXPECT_EQ(counted.GetLength(), 5);
  EXPECT_TRUE(CString().IsEmpty());
  EXPECT_TRUE(CString(static_cast<const char *>(nullptr)).IsEmpty());
}

}  // namespace
