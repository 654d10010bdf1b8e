// format_message_test.cc - catches wrong or unterminated texts, a broken HRESULT mapping, buffer overruns and leaks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/base/last_error.h"
#include "platform/errors/format_message.h"

namespace {

constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
// What the system's crypto error reporting passes.
constexpr DWORD kAllocateFromSystem = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER;

struct TextCase {
  DWORD code;
  const char *text;
};

class SystemTexts : public testing::TestWithParam<TextCase> {};

TEST_P(SystemTexts, CopiedExactlyIntoACallerBuffer) {
  char buffer[256];
  std::memset(buffer, 'x', sizeof buffer);
  const DWORD n = FormatMessageA(kFromSystem, nullptr, GetParam().code, 0, buffer, sizeof buffer, nullptr);
  EXPECT_EQ(std::string(buffer, strnlen(buffer, sizeof buffer)), GetParam().text);
  EXPECT_EQ(n, std::strlen(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Win32AndCrypto, SystemTexts,
    testing::Values(
        TextCase{2, "The system cannot find the file specified.\r\n"},
        TextCase{5, "Access is denied.\r\n"},
        TextCase{87, "The parameter is incorrect.\r\n"},
        TextCase{122, "The data area passed to a system call is too small.\r\n"},
        TextCase{127, "The specified procedure could not be found.\r\n"},
        TextCase{0x80090016, "Keyset does not exist\r\n"},
        TextCase{0x80092004, "Cannot find object or property.\r\n"},
        TextCase{0x80092022, "The string contains a character not in the 7 bit ASCII character set.\r\n"},
        TextCase{0x80092023,
                 "The string contains an invalid X500 name attribute key, oid, value or delimiter.\r\n"},
        TextCase{0x800B0109,
                 "A certificate chain processed, but terminated in a root certificate which is not "
                 "trusted by the trust provider.\r\n"}));

// Facility-Win32 HRESULTs read the Win32 table; other facilities with the same low word do not.
INSTANTIATE_TEST_SUITE_P(
    HresultOfWin32, SystemTexts,
    testing::Values(TextCase{0x80070005, "Access is denied.\r\n"},
                    TextCase{0x80070002, "The system cannot find the file specified.\r\n"},
                    TextCase{0x80070057, "The parameter is incorrect.\r\n"},
                    TextCase{0x800704C7, "The operation was canceled by the user.\r\n"}));

// The codes the certificate store, the key provider and the signer report.
INSTANTIATE_TEST_SUITE_P(
    StoreKeysAndSignatures, SystemTexts,
    testing::Values(TextCase{1223, "The operation was canceled by the user.\r\n"},
                    TextCase{0x80090003, "Bad Key.\r\n"},
                    TextCase{0x80090010, "Access denied.\r\n"},
                    TextCase{0x80090019, "The keyset is not defined.\r\n"},
                    TextCase{0x8009001B, "Provider type does not match registered value.\r\n"},
                    TextCase{0x80091002, "Unknown cryptographic algorithm.\r\n"},
                    TextCase{0x80092002, "An error occurred during encode or decode operation.\r\n"},
                    TextCase{0x80092005, "The object or property already exists.\r\n"},
                    TextCase{0x80092009, "Cannot find the requested object.\r\n"},
                    TextCase{0x8009200B,
                             "The certificate does not have a property that references a private key.\r\n"}));

struct FailureCase {
  const char *what;
  DWORD flags;
  DWORD code;
  DWORD language;
  DWORD error;
};

class Failures : public testing::TestWithParam<FailureCase> {};

TEST_P(Failures, ReturnZeroWithTheError) {
  const FailureCase &c = GetParam();
  char buffer[256] = "untouched";
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(FormatMessageA(c.flags, nullptr, c.code, c.language, buffer, sizeof buffer, nullptr), 0u)
      << c.what;
  EXPECT_EQ(GetLastError(), c.error) << c.what;
  EXPECT_STREQ(buffer, "untouched") << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Failures,
    testing::Values(
        FailureCase{"unknown Win32 code", kFromSystem, 0x1234, 0, ERROR_MR_MID_NOT_FOUND},
        FailureCase{"unknown crypto code", kFromSystem, 0x80092FFF, 0, ERROR_MR_MID_NOT_FOUND},
        FailureCase{"HRESULT of an unknown Win32 code", kFromSystem, 0x80071234, 0, ERROR_MR_MID_NOT_FOUND},
        FailureCase{"facility other than Win32", kFromSystem, 0x80080005, 0, ERROR_MR_MID_NOT_FOUND},
        FailureCase{"French", kFromSystem, 5, 0x040C, ERROR_RESOURCE_LANG_NOT_FOUND},
        FailureCase{"message string as source", FORMAT_MESSAGE_IGNORE_INSERTS | 0x400, 5, 0,
                    ERROR_INVALID_PARAMETER}));

TEST(FormatMessageLanguages, NeutralUserDefaultAndEnglishGiveTheSameText) {
  for (DWORD language : {0x0000u, 0x0400u, 0x0800u, 0x0409u, 0x0809u}) {
    char buffer[64] = "";
    EXPECT_EQ(FormatMessageA(kFromSystem, nullptr, 5, language, buffer, sizeof buffer, nullptr), 19u)
        << language;
    EXPECT_STREQ(buffer, "Access is denied.\r\n") << language;
  }
}

TEST(FormatMessageBuffer, NeedsRoomForTheNul) {
  const std::string text = "Access is denied.\r\n";
  const DWORD fits = static_cast<DWORD>(text.size()) + 1;
  for (DWORD size : {fits - 1, fits, fits + 1}) {
    std::string buffer(size, 'x');
    SetLastError(ERROR_SUCCESS);
    const DWORD n = FormatMessageA(kFromSystem, nullptr, 0x80070005, 0, buffer.data(), size, nullptr);
    if (size < fits) {
      EXPECT_EQ(n, 0u);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
      EXPECT_EQ(buffer, std::string(size, 'x'));
    } else {
      EXPECT_EQ(n, text.size());
      EXPECT_EQ(std::string(buffer.c_str()), text);
    }
  }
}

TEST(FormatMessageAllocate, HandsOutABufferForLocalFree) {
  // nSize is a minimum in this mode; a larger one must still give the text alone.
  for (DWORD minimum : {0u, 1u, 4096u}) {
    LPSTR text = nullptr;
    const DWORD n = FormatMessageA(kAllocateFromSystem, nullptr, 0x80092023, 0x400,
                                   reinterpret_cast<LPSTR>(&text), minimum, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(n, std::strlen(text));
    EXPECT_STREQ(text,
                 "The string contains an invalid X500 name attribute key, oid, value or delimiter.\r\n");
    EXPECT_EQ(LocalFree(text), nullptr);
  }
  LPSTR text = reinterpret_cast<LPSTR>(&text);
  EXPECT_EQ(FormatMessageA(kAllocateFromSystem, nullptr, 0x1234, 0x400, reinterpret_cast<LPSTR>(&text), 0,
                           nullptr),
            0u);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

}  // namespace
