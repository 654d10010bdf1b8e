// name_builder.h - a test-only DER writer for X.500 names, independent of the code under test.
#pragma once

#include <openssl/asn1.h>
#include <openssl/objects.h>

#include <cstdint>
#include <string>
#include <vector>

namespace name_builder {

using Bytes = std::vector<uint8_t>;

inline Bytes tlv(uint8_t tag, const Bytes &content) {
  Bytes out{tag};
  if (content.size() < 0x80) {
    out.push_back(static_cast<uint8_t>(content.size()));
  } else {
    out.push_back(0x82);
    out.push_back(static_cast<uint8_t>(content.size() >> 8));
    out.push_back(static_cast<uint8_t>(content.size()));
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

inline Bytes bytes(const std::string &s) { return Bytes(s.begin(), s.end()); }

// Big-endian UTF-16.
inline Bytes bmp16(const std::u16string &s) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c >> 8));
    out.push_back(static_cast<uint8_t>(c));
  }
  return out;
}

// The OID TLV, encoded by OpenSSL.
inline Bytes oid(const char *dotted) {
  ASN1_OBJECT *obj = OBJ_txt2obj(dotted, 1);
  Bytes out(i2d_ASN1_OBJECT(obj, nullptr));
  unsigned char *p = out.data();
  i2d_ASN1_OBJECT(obj, &p);
  ASN1_OBJECT_free(obj);
  return out;
}

// One AttributeTypeAndValue with an already encoded value TLV.
inline Bytes attr(const char *dotted, const Bytes &value_tlv) {
  Bytes content = oid(dotted);
  content.insert(content.end(), value_tlv.begin(), value_tlv.end());
  return tlv(0x30, content);
}

inline Bytes attr(const char *dotted, uint8_t tag, const Bytes &content) {
  return attr(dotted, tlv(tag, content));
}

inline Bytes attr(const char *dotted, uint8_t tag, const std::string &text) {
  std::u16string latin1;
  for (char c : text) latin1.push_back(static_cast<unsigned char>(c));
  return attr(dotted, tlv(tag, tag == 0x1E ? bmp16(latin1) : bytes(text)));
}

// A set of attributes in the order given (deliberately unsorted).
inline Bytes rdn(const std::vector<Bytes> &attrs) {
  Bytes content;
  for (const Bytes &a : attrs) content.insert(content.end(), a.begin(), a.end());
  return tlv(0x31, content);
}

inline Bytes name(const std::vector<Bytes> &rdns) {
  Bytes content;
  for (const Bytes &r : rdns) content.insert(content.end(), r.begin(), r.end());
  return tlv(0x30, content);
}

inline std::string hex(const Bytes &b) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t x : b) {
    out.push_back(kHex[x >> 4]);
    out.push_back(kHex[x & 15]);
  }
  return out;
}

constexpr const char *kCN = "2.5.4.3";
constexpr const char *kO = "2.5.4.10";
constexpr const char *kOU = "2.5.4.11";
constexpr const char *kC = "2.5.4.6";
constexpr const char *kS = "2.5.4.8";
constexpr const char *kL = "2.5.4.7";
constexpr const char *kE = "1.2.840.113549.1.9.1";
constexpr uint8_t kPrintable = 0x13, kT61 = 0x14, kIA5 = 0x16, kBMP = 0x1E, kUTF8 = 0x0C, kOctet = 0x04;

}  // namespace name_builder
