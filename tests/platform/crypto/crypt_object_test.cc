// crypt_object_test.cc - catches wrong time forms at the 1950 and 2050 edges, rounded fractions, misread bit strings, names with pointers outside their buffer, broken size contracts, and crashes on truncated input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/last_error.h"
#include "tests/platform/crypto/name_builder.h"
// Last: its X509_NAME macro clashes with OpenSSL's type in OpenSSL headers included after it.
#include "platform/crypto/crypt_object.h"

namespace {

using namespace name_builder;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

FILETIME filetime(uint64_t ticks) { return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)}; }

// Ticks of a UTC time given as seconds since 1970, plus extra ticks.
uint64_t ticks_at(int64_t unix_seconds, uint64_t extra = 0) {
  return static_cast<uint64_t>(unix_seconds + 11644473600) * 10'000'000 + extra;
}

Bytes encode_time(LPCSTR type, const FILETIME &time, bool *ok) {
  DWORD size = 0;
  *ok = CryptEncodeObject(kEncoding, type, &time, nullptr, &size);
  if (!*ok) return {};
  Bytes out(size);
  EXPECT_TRUE(CryptEncodeObject(kEncoding, type, &time, out.data(), &size));
  EXPECT_EQ(size, out.size());
  return out;
}

Bytes text_tlv(uint8_t tag, const std::string &text) { return tlv(tag, bytes(text)); }

struct TimeCase {
  const char *what;
  uint64_t ticks;
  Bytes expected;
};

class TimeVectors : public testing::TestWithParam<TimeCase> {};

// Every time type gives the same encoding: UTCTime for 1950 to 2049, GeneralizedTime otherwise.
TEST_P(TimeVectors, EncodeAsWindowsDoes) {
  for (LPCSTR type : {PKCS_UTC_TIME, X509_CHOICE_OF_TIME, static_cast<LPCSTR>(szOID_RSA_signingTime)}) {
    bool ok = false;
    EXPECT_EQ(encode_time(type, filetime(GetParam().ticks), &ok), GetParam().expected) << GetParam().what;
    EXPECT_TRUE(ok) << GetParam().what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Times, TimeVectors,
    testing::Values(TimeCase{"2024-01-15 12:34:56", 0x01DA47AF3ED75800, text_tlv(0x17, "240115123456Z")},
                    TimeCase{"2049-12-31 23:59:59", 0x01F7630BE304E980, text_tlv(0x17, "491231235959Z")},
                    TimeCase{"2050-01-01 00:00:00", 0x01F7630BE39D8000, text_tlv(0x18, "20500101000000Z")},
                    TimeCase{"1950-01-01 00:00:00", ticks_at(-631152000), text_tlv(0x17, "500101000000Z")},
                    TimeCase{"1949-12-31 23:59:59", ticks_at(-631152001), text_tlv(0x18, "19491231235959Z")},
                    TimeCase{"fraction cut, not rounded", ticks_at(1705322096, 9'999'999),
                             text_tlv(0x17, "240115123456Z")},
                    TimeCase{"1601-01-01, FILETIME zero", 0, text_tlv(0x18, "16010101000000Z")},
                    TimeCase{"9999-12-31 23:59:59", ticks_at(253402300799), text_tlv(0x18, "99991231235959Z")}));

TEST(CryptEncodeObject, RefusesWhatItCannotEncode) {
  const FILETIME year_10000 = filetime(ticks_at(253402300800));
  DWORD size = 100;
  SetLastError(0);
  EXPECT_FALSE(CryptEncodeObject(kEncoding, PKCS_UTC_TIME, &year_10000, nullptr, &size));
  EXPECT_EQ(GetLastError(), CRYPT_E_BAD_ENCODE);
  const FILETIME top_bit = filetime(0x8000000000000000u);
  EXPECT_FALSE(CryptEncodeObject(kEncoding, PKCS_UTC_TIME, &top_bit, nullptr, &size));
  EXPECT_EQ(GetLastError(), CRYPT_E_BAD_ENCODE);

  const FILETIME now = filetime(0x01DA47AF3ED75800);
  EXPECT_FALSE(CryptEncodeObject(kEncoding, X509_KEY_USAGE, &now, nullptr, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(CryptEncodeObject(kEncoding, "1.2.3.4", &now, nullptr, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  // One byte short: ERROR_MORE_DATA with the size, the buffer untouched.
  BYTE buffer[15];
  std::memset(buffer, 0xEE, sizeof buffer);
  size = 14;
  EXPECT_FALSE(CryptEncodeObject(kEncoding, PKCS_UTC_TIME, &now, buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(size, 15u);
  EXPECT_EQ(buffer[0], 0xEE);
}

// Decodes through the size query into a buffer of exactly that size; nothing on failure.
std::optional<std::vector<uint64_t>> decode(LPCSTR type, const Bytes &der, DWORD *size_out = nullptr) {
  DWORD size = 0;
  if (!CryptDecodeObject(kEncoding, type, der.data(), static_cast<DWORD>(der.size()), 0, nullptr, &size))
    return std::nullopt;
  std::vector<uint64_t> buffer((size + 7) / 8);
  DWORD given = size;
  EXPECT_TRUE(CryptDecodeObject(kEncoding, type, der.data(), static_cast<DWORD>(der.size()), 0, buffer.data(), &given));
  EXPECT_EQ(given, size);
  if (size_out != nullptr) *size_out = size;
  return buffer;
}

struct BitsCase {
  const char *what;
  Bytes der;
  Bytes bits;
  DWORD unused;
};

class KeyUsageBits : public testing::TestWithParam<BitsCase> {};

TEST_P(KeyUsageBits, DecodeByNumberAndByOid) {
  for (LPCSTR type : {X509_KEY_USAGE, static_cast<LPCSTR>(szOID_KEY_USAGE)}) {
    DWORD size = 0;
    std::optional<std::vector<uint64_t>> buffer = decode(type, GetParam().der, &size);
    ASSERT_TRUE(buffer) << GetParam().what;
    const auto &blob = *reinterpret_cast<const CRYPT_BIT_BLOB *>(buffer->data());
    EXPECT_EQ(Bytes(blob.pbData, blob.pbData + blob.cbData), GetParam().bits) << GetParam().what;
    EXPECT_EQ(blob.cUnusedBits, GetParam().unused) << GetParam().what;
    if (blob.cbData != 0) {
      const auto *start = reinterpret_cast<const BYTE *>(buffer->data());
      EXPECT_GE(blob.pbData, start + sizeof blob);
      EXPECT_LE(blob.pbData + blob.cbData, start + size);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    BitStrings, KeyUsageBits,
    testing::Values(BitsCase{"empty", {0x03, 0x01, 0x00}, {}, 0},
                    BitsCase{"digitalSignature", {0x03, 0x02, 0x07, 0x80}, {0x80}, 7},
                    BitsCase{"one whole byte", {0x03, 0x02, 0x00, 0xA5}, {0xA5}, 0},
                    BitsCase{"decipherOnly in a second byte", {0x03, 0x03, 0x07, 0x80, 0x80}, {0x80, 0x80}, 7},
                    BitsCase{"two bytes, no unused bits", {0x03, 0x03, 0x00, 0x86, 0x01}, {0x86, 0x01}, 0}));

TEST(CryptDecodeObject, MalformedBitStringsAreCorrupt) {
  const std::vector<Bytes> bad = {
      {},                        // nothing
      {0x03, 0x00},              // no unused-bits byte
      {0x03, 0x01, 0x01},        // unused bits without content
      {0x03, 0x02, 0x08, 0xFF},  // eight unused bits
      {0x04, 0x02, 0x07, 0x80},  // an OCTET STRING
      {0x03, 0x02, 0x07},        // content cut short
      {0x03, 0x02, 0x07, 0x80, 0x00},  // a trailing byte
      {0x03, 0x81},                    // length cut short
  };
  for (const Bytes &der : bad) {
    SetLastError(0);
    EXPECT_FALSE(decode(X509_KEY_USAGE, der)) << hex(der);
    EXPECT_EQ(GetLastError(), CRYPT_E_ASN1_CORRUPT) << hex(der);
  }
}

TEST(CryptDecodeObject, NameIntoOneSelfContainedBuffer) {
  const Bytes der = name({rdn({attr(kC, kPrintable, "US")}),
                          rdn({attr(kO, kUTF8, "Org"), attr(kOU, tlv(kBMP, bmp16(u"\u00c9t\u00e9")))}),
                          rdn({attr("1.2.3.4", tlv(0x30, {0x01, 0x01, 0xFF}))})});
  DWORD size = 0;
  std::optional<std::vector<uint64_t>> buffer = decode(X509_NAME, der, &size);
  ASSERT_TRUE(buffer);
  // Moving the bytes elsewhere would break it if any pointer pointed outside the buffer.
  const auto *start = reinterpret_cast<const BYTE *>(buffer->data());
  auto inside = [&](const void *p, size_t n) {
    const auto *b = static_cast<const BYTE *>(p);
    return b >= start && b + n <= start + size;
  };
  const auto &info = *reinterpret_cast<const CERT_NAME_INFO *>(buffer->data());
  ASSERT_EQ(info.cRDN, 3u);
  ASSERT_TRUE(inside(info.rgRDN, 3 * sizeof(CERT_RDN)));
  ASSERT_EQ(info.rgRDN[0].cRDNAttr, 1u);
  ASSERT_EQ(info.rgRDN[1].cRDNAttr, 2u);
  ASSERT_EQ(info.rgRDN[2].cRDNAttr, 1u);

  const CERT_RDN_ATTR &c = info.rgRDN[0].rgRDNAttr[0];
  EXPECT_STREQ(c.pszObjId, kC);
  EXPECT_EQ(c.dwValueType, static_cast<DWORD>(CERT_RDN_PRINTABLE_STRING));
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(c.Value.pbData), c.Value.cbData), "US");
  EXPECT_EQ(c.Value.pbData[c.Value.cbData], 0);  // terminated, though the count excludes it
  const CERT_RDN_ATTR &o = info.rgRDN[1].rgRDNAttr[0];
  EXPECT_STREQ(o.pszObjId, kO);
  EXPECT_EQ(o.dwValueType, static_cast<DWORD>(CERT_RDN_UTF8_STRING));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(o.Value.pbData), o.Value.cbData / 2), u"Org");
  const CERT_RDN_ATTR &ou = info.rgRDN[1].rgRDNAttr[1];
  EXPECT_EQ(ou.dwValueType, static_cast<DWORD>(CERT_RDN_BMP_STRING));
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t *>(ou.Value.pbData), ou.Value.cbData / 2),
            u"\u00c9t\u00e9");
  const CERT_RDN_ATTR &blob = info.rgRDN[2].rgRDNAttr[0];
  EXPECT_STREQ(blob.pszObjId, "1.2.3.4");
  EXPECT_EQ(blob.dwValueType, static_cast<DWORD>(CERT_RDN_ENCODED_BLOB));
  EXPECT_EQ(Bytes(blob.Value.pbData, blob.Value.pbData + blob.Value.cbData), (Bytes{0x30, 0x03, 0x01, 0x01, 0xFF}));
  for (DWORD i = 0; i < info.cRDN; ++i) {
    for (DWORD k = 0; k < info.rgRDN[i].cRDNAttr; ++k) {
      const CERT_RDN_ATTR &a = info.rgRDN[i].rgRDNAttr[k];
      EXPECT_TRUE(inside(a.pszObjId, std::strlen(a.pszObjId) + 1));
      EXPECT_TRUE(inside(a.Value.pbData, a.Value.cbData));
    }
  }

  // The size contract: one byte short fails with the size and leaves the buffer alone.
  std::vector<uint64_t> small((size + 7) / 8, 0);
  DWORD short_size = size - 1;
  EXPECT_FALSE(CryptDecodeObject(kEncoding, X509_NAME, der.data(), static_cast<DWORD>(der.size()), 0, small.data(),
                                 &short_size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(short_size, size);
  EXPECT_EQ(small[0], 0u);
}

TEST(CryptDecodeObject, EmptyNameHasNoRdns) {
  std::optional<std::vector<uint64_t>> buffer = decode(X509_NAME, {0x30, 0x00});
  ASSERT_TRUE(buffer);
  EXPECT_EQ(reinterpret_cast<const CERT_NAME_INFO *>(buffer->data())->cRDN, 0u);
}

TEST(CryptDecodeObject, EveryTruncationFailsCleanly) {
  const Bytes names = name({rdn({attr(kCN, kPrintable, "Somebody")}), rdn({attr(kO, kBMP, "Org")})});
  const Bytes bits = {0x03, 0x03, 0x07, 0x80, 0x80};
  for (const auto &[type, der] : {std::pair{X509_NAME, names}, std::pair{X509_KEY_USAGE, bits}}) {
    for (size_t n = 0; n < der.size(); ++n) {
      // A heap copy of exactly n bytes, so the sanitizer sees any read past them.
      std::unique_ptr<BYTE[]> prefix(new BYTE[n + 1]);
      std::memcpy(prefix.get(), der.data(), n);
      DWORD size = 0;
      SetLastError(0);
      EXPECT_FALSE(CryptDecodeObject(kEncoding, type, prefix.get(), static_cast<DWORD>(n), 0, nullptr, &size)) << n;
      EXPECT_EQ(GetLastError(), CRYPT_E_ASN1_CORRUPT) << n;
    }
  }
}

TEST(CryptDecodeObject, UnknownTypesAndEncodingsHaveNoDecoder) {
  const Bytes der = {0x03, 0x01, 0x00};
  DWORD size = 0;
  for (LPCSTR type : {PKCS_UTC_TIME, reinterpret_cast<LPCSTR>(99), static_cast<LPCSTR>("2.5.29.19")}) {
    SetLastError(0);
    EXPECT_FALSE(CryptDecodeObject(kEncoding, type, der.data(), 3, 0, nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  }
  EXPECT_FALSE(CryptDecodeObject(PKCS_7_ASN_ENCODING, X509_KEY_USAGE, der.data(), 3, 0, nullptr, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

}  // namespace
