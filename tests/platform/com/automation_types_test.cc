// automation_types_test.cc - catches BSTRs with a wrong prefix or terminator, VARIANT conversions that accept, overflow or mismatch wrongly, and GUID text that does not round-trip or accepts malformed forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/guid_text.h"
#include "platform/com/variant.h"

namespace {

uint32_t prefix_of(BSTR bstr) {
  uint32_t length;
  memcpy(&length, reinterpret_cast<const char *>(bstr) - 4, 4);
  return length;
}

TEST(BstrTest, PrefixCountsBytesAndTextEndsInWideNul) {
  const OLECHAR text[] = u"a\0bc";
  BSTR counted = SysAllocStringLen(text, 4);  // keeps its embedded NUL
  ASSERT_NE(counted, nullptr);
  EXPECT_EQ(prefix_of(counted), 8u);
  EXPECT_EQ(SysStringLen(counted), 4u);
  EXPECT_EQ(SysStringByteLen(counted), 8u);
  EXPECT_EQ(memcmp(counted, text, 8), 0);
  EXPECT_EQ(counted[4], 0);
  SysFreeString(counted);

  BSTR up_to_nul = SysAllocString(u"hello");
  EXPECT_EQ(SysStringLen(up_to_nul), 5u);
  EXPECT_EQ(prefix_of(up_to_nul), 10u);
  EXPECT_EQ(up_to_nul[5], 0);
  SysFreeString(up_to_nul);

  // An odd byte length keeps its count and is still followed by a whole 16-bit NUL.
  BSTR odd = SysAllocStringByteLen("abc", 3);
  EXPECT_EQ(SysStringByteLen(odd), 3u);
  EXPECT_EQ(SysStringLen(odd), 1u);
  EXPECT_EQ(memcmp(odd, "abc\0\0", 5), 0);
  SysFreeString(odd);
}

TEST(BstrTest, NullAndEmptyAreDistinctButBothEmpty) {
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(SysStringByteLen(nullptr), 0u);
  SysFreeString(nullptr);

  BSTR empty = SysAllocStringLen(nullptr, 0);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(prefix_of(empty), 0u);
  EXPECT_EQ(empty[0], 0);
  SysFreeString(empty);

  BSTR zeroed = SysAllocStringLen(nullptr, 3);
  EXPECT_EQ(SysStringLen(zeroed), 3u);
  EXPECT_EQ(zeroed[0] | zeroed[1] | zeroed[2] | zeroed[3], 0);
  SysFreeString(zeroed);

  EXPECT_EQ(SysAllocStringLen(u"x", 0x80000000u), nullptr);  // byte count past the prefix
}

VARIANT make(VARTYPE vt) {
  VARIANT v;
  VariantInit(&v);
  v.vt = vt;
  return v;
}

TEST(VariantTest, ChangeToI4) {
  struct Case {
    const char *what;
    VARIANT source;
    HRESULT expected;
    LONG value;
  };
  auto i2 = [](SHORT x) { VARIANT v = make(VT_I2); v.iVal = x; return v; };
  auto i4 = [](LONG x) { VARIANT v = make(VT_I4); v.lVal = x; return v; };
  auto ui4 = [](ULONG x) { VARIANT v = make(VT_UI4); v.ulVal = x; return v; };
  auto int_ = [](int x) { VARIANT v = make(VT_INT); v.intVal = x; return v; };
  auto boolean = [](VARIANT_BOOL x) { VARIANT v = make(VT_BOOL); v.boolVal = x; return v; };
  const Case cases[] = {
      {"I2", i2(-7), S_OK, -7},
      {"I4", i4(INT32_MIN), S_OK, INT32_MIN},
      {"UI4 max that fits", ui4(0x7FFFFFFF), S_OK, 0x7FFFFFFF},
      {"UI4 too big", ui4(0x80000000u), DISP_E_OVERFLOW, 0},
      {"INT", int_(12345), S_OK, 12345},
      {"BOOL true", boolean(VARIANT_TRUE), S_OK, -1},
      {"BOOL false", boolean(VARIANT_FALSE), S_OK, 0},
      {"EMPTY", make(VT_EMPTY), DISP_E_TYPEMISMATCH, 0},
      {"NULL", make(VT_NULL), DISP_E_TYPEMISMATCH, 0},
      {"DISPATCH", make(VT_DISPATCH), DISP_E_TYPEMISMATCH, 0},
  };
  for (const Case &c : cases) {
    VARIANT out = make(VT_EMPTY);
    EXPECT_EQ(VariantChangeType(&out, &c.source, 0, VT_I4), c.expected) << c.what;
    if (c.expected == S_OK) {
      EXPECT_EQ(out.vt, VT_I4) << c.what;
      EXPECT_EQ(out.lVal, c.value) << c.what;
    } else {
      EXPECT_EQ(out.vt, VT_EMPTY) << c.what << ": a failed change leaves the destination";
    }
  }
}

TEST(VariantTest, ChangeTextToI4) {
  const struct {
    const char16_t *text;
    HRESULT expected;
    LONG value;
  } cases[] = {
      {u"42", S_OK, 42},           {u"  -17 ", S_OK, -17},        {u"+8", S_OK, 8},
      {u"2147483647", S_OK, INT32_MAX}, {u"-2147483648", S_OK, INT32_MIN},
      {u"2147483648", DISP_E_OVERFLOW, 0}, {u"-99999999999999999999", DISP_E_OVERFLOW, 0},
      {u"", DISP_E_TYPEMISMATCH, 0}, {u"  ", DISP_E_TYPEMISMATCH, 0}, {u"-", DISP_E_TYPEMISMATCH, 0},
      {u"12a", DISP_E_TYPEMISMATCH, 0}, {u"1 2", DISP_E_TYPEMISMATCH, 0}, {u"0x10", DISP_E_TYPEMISMATCH, 0},
      {u"99999999999x", DISP_E_TYPEMISMATCH, 0},
  };
  for (const auto &c : cases) {
    VARIANT text = make(VT_BSTR);
    text.bstrVal = SysAllocString(c.text);
    VARIANT out = make(VT_EMPTY);
    const std::u16string shown(c.text);
    EXPECT_EQ(VariantChangeType(&out, &text, 0, VT_I4), c.expected) << std::string(shown.begin(), shown.end());
    if (c.expected == S_OK) {
      EXPECT_EQ(out.lVal, c.value);
    }
    VariantClear(&text);
  }
}

TEST(VariantTest, CopyOwnsItsTextAndChangeInPlaceReleasesIt) {
  VARIANT source = make(VT_BSTR);
  source.bstrVal = SysAllocString(u"31");
  VARIANT copy = make(VT_EMPTY);
  ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
  EXPECT_NE(copy.bstrVal, source.bstrVal);
  EXPECT_EQ(std::u16string(copy.bstrVal), u"31");
  // Converting in place frees the text it replaces (the sanitizer run sees a leak otherwise).
  ASSERT_EQ(VariantChangeType(&copy, &copy, 0, VT_I4), S_OK);
  EXPECT_EQ(copy.lVal, 31);
  VARIANT byref = make(VT_BYREF | VT_VARIANT);
  byref.pvarVal = &source;
  VARIANT out = make(VT_EMPTY);
  ASSERT_EQ(VariantChangeType(&out, &byref, 0, VT_I4), S_OK);
  EXPECT_EQ(out.lVal, 31);
  EXPECT_EQ(VariantChangeType(&out, &source, 0, VT_BOOL), DISP_E_TYPEMISMATCH);
  VariantClear(&source);
  VARIANT unknown_type = make(0x7F);
  EXPECT_EQ(VariantClear(&unknown_type), DISP_E_BADVARTYPE);
}

std::u16string text_of(REFGUID guid) {
  OLECHAR buffer[39];
  EXPECT_EQ(StringFromGUID2(guid, buffer, 39), 39);
  return buffer;
}

TEST(GuidTextTest, BracedUpperCaseFormRoundTrips) {
  const GUID guid = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
  EXPECT_EQ(text_of(guid), u"{0123ABCD-4567-89EF-FEDC-BA9876543210}");
  EXPECT_EQ(text_of(IID_IDispatch), u"{00020400-0000-0000-C000-000000000046}");
  GUID parsed;
  ASSERT_EQ(CLSIDFromString(text_of(guid).c_str(), &parsed), S_OK);
  EXPECT_EQ(parsed, guid);
  ASSERT_EQ(IIDFromString(u"{0123abcd-4567-89ef-fedc-ba9876543210}", &parsed), S_OK);  // either case reads
  EXPECT_EQ(parsed, guid);
  OLECHAR small[38];
  EXPECT_EQ(StringFromGUID2(guid, small, 38), 0);
}

TEST(GuidTextTest, MalformedTextIsRefusedAndLeavesTheOutput) {
  const char16_t *bad[] = {
      u"",
      u"0123ABCD-4567-89EF-FEDC-BA9876543210",     // no braces
      u"{0123ABCD-4567-89EF-FEDC-BA9876543210",    // unclosed
      u"{0123ABCD-4567-89EF-FEDC-BA9876543210}x",  // trailing text
      u"{0123ABCD-4567-89EF-FEDC-BA987654321}",    // short
      u"{0123ABCD-4567-89EF-FEDCBA9876543210-}",   // dash misplaced
      u"{0123ABCG-4567-89EF-FEDC-BA9876543210}",   // not hex
      u"{0123ABCD 4567-89EF-FEDC-BA9876543210}",
      u"{0123ABCD-4567-89EF-FEDC-BA98765432\u0130}",  // a wide character that narrows to nothing hex
      u"KESTRAVON.Quillora.1",
  };
  for (const char16_t *text : bad) {
    GUID out = IID_IUnknown;
    EXPECT_EQ(CLSIDFromString(text, &out), CO_E_CLASSSTRING);
    EXPECT_EQ(IIDFromString(text, &out), E_INVALIDARG);
    EXPECT_EQ(out, IID_IUnknown);
  }
  GUID out;
  EXPECT_EQ(CLSIDFromString(nullptr, &out), CO_E_CLASSSTRING);
  EXPECT_FALSE(com::guid_from_string("{0123ABCD-4567-89EF-FEDC-BA9876543210", &out));
}

}  // namespace
