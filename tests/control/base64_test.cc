// base64_test.cc - Base64Encode: the RFC 4648 vectors, padding by length, every byte value against OpenSSL's encoder, and SerialToHex's byte order.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "control/crypto/crypto_manager.h"

namespace {

std::string encode(const std::string &bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '#');
  Base64Encode(text.data(), reinterpret_cast<const BYTE *>(bytes.data()), static_cast<DWORD>(bytes.size()));
  EXPECT_EQ(text.back(), '\0');
  text.pop_back();
  return text;
}

TEST(Base64EncodeTest, RfcVectors) {
  const std::pair<const char *, const char *> cases[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto &[bytes, text] : cases) EXPECT_EQ(encode(bytes), text) << bytes;
}

TEST(Base64EncodeTest, AgreesWithOpenSslOnEveryByteAndLength) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(255 - i);
  bytes += bytes;
  for (size_t length = 0; length <= bytes.size(); length += 1 + length / 7) {
    SCOPED_TRACE(length);
    const std::string input = bytes.substr(0, length);
    std::vector<unsigned char> expected(4 * ((length + 2) / 3) + 1);
    const int n = EVP_EncodeBlock(expected.data(), reinterpret_cast<const unsigned char *>(input.data()),
                                  static_cast<int>(length));
    const std::string text = encode(input);
    EXPECT_EQ(text, std::string(reinterpret_cast<char *>(expected.data()), n));
    EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
  }
}

TEST(SerialToHexTest, MostSignificantByteFirstWithEveryByteKept) {
  BYTE little_endian[] = {0xFF, 0xA1, 0x00, 0x00};
  CRYPT_INTEGER_BLOB serial = {sizeof little_endian, little_endian};
  EXPECT_STREQ(SerialToHex(serial), "0000A1FF");
  CRYPT_INTEGER_BLOB empty = {0, nullptr};
  EXPECT_STREQ(SerialToHex(empty), "");
}

}  // namespace
