// name_codec.cc - DER decoding and encoding of X.500 names into the decoded attribute model.
#include "platform/crypto/name_codec.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>

#include <cstring>
#include <memory>

#include "platform/codepage/utf8.h"
#include "platform/crypto/der.h"
#include "platform/crypto/openssl_ptr.h"

namespace x500 {
namespace {

// The string types whose decoded form is the content bytes unchanged, with their tags.
struct NarrowType {
  BYTE tag;
  DWORD value_type;
};
constexpr NarrowType kNarrowTypes[] = {
    {0x12, CERT_RDN_NUMERIC_STRING}, {0x13, CERT_RDN_PRINTABLE_STRING},
    {0x14, CERT_RDN_T61_STRING},     {0x15, CERT_RDN_VIDEOTEX_STRING},
    {0x16, CERT_RDN_IA5_STRING},     {0x19, CERT_RDN_GRAPHIC_STRING},
    {0x1A, CERT_RDN_VISIBLE_STRING}, {0x1B, CERT_RDN_GENERAL_STRING},
};

using AsnObject = platform::Asn1ObjectPtr;

void put_u16_host(std::vector<BYTE> *out, char16_t unit) {
  BYTE bytes[sizeof unit];
  std::memcpy(bytes, &unit, sizeof unit);
  out->insert(out->end(), bytes, bytes + sizeof unit);
}

// The decoded form of one value TLV (see CERT_RDN_ATTR); nothing if its content is malformed.
std::optional<Attribute> decode_value(const der::Tlv &tlv) {
  Attribute attr;
  for (const NarrowType &narrow : kNarrowTypes) {
    if (tlv.tag == narrow.tag) {
      attr.value_type = narrow.value_type;
      attr.value.assign(tlv.content, tlv.end);
      return attr;
    }
  }
  switch (tlv.tag) {
    case der::kTagOctetString:
      attr.value_type = CERT_RDN_OCTET_STRING;
      attr.value.assign(tlv.content, tlv.end);
      return attr;
    case der::kTagBmp:
      if (tlv.content_nbytes % 2 != 0) return std::nullopt;
      attr.value_type = CERT_RDN_BMP_STRING;
      for (size_t i = 0; i < tlv.content_nbytes; i += 2)
        put_u16_host(&attr.value, static_cast<char16_t>(tlv.content[i] << 8 | tlv.content[i + 1]));
      return attr;
    case der::kTagUtf8: {
      std::u16string units;
      if (!codepage::utf16_from_utf8(tlv.content, tlv.content_nbytes, &units)) return std::nullopt;
      attr.value_type = CERT_RDN_UTF8_STRING;
      for (char16_t unit : units) put_u16_host(&attr.value, unit);
      return attr;
    }
    case der::kTagUniversal:
      if (tlv.content_nbytes % 4 != 0) return std::nullopt;
      attr.value_type = CERT_RDN_UNIVERSAL_STRING;
      for (size_t i = 0; i < tlv.content_nbytes; i += 4) {
        const uint32_t code = uint32_t{tlv.content[i]} << 24 | uint32_t{tlv.content[i + 1]} << 16 |
                              uint32_t{tlv.content[i + 2]} << 8 | tlv.content[i + 3];
        BYTE bytes[sizeof code];
        std::memcpy(bytes, &code, sizeof code);
        attr.value.insert(attr.value.end(), bytes, bytes + sizeof code);
      }
      return attr;
    default:
      attr.value_type = CERT_RDN_ENCODED_BLOB;
      attr.value.assign(tlv.start, tlv.end);
      return attr;
  }
}

std::u16string host_units(const std::vector<BYTE> &value) {
  std::u16string units(value.size() / 2, u'\0');
  std::memcpy(units.data(), value.data(), units.size() * 2);
  return units;
}

// The value TLV for a decoded value; the inverse of decode_value.
std::vector<BYTE> encode_value(const Attribute &attr) {
  std::vector<BYTE> out;
  for (const NarrowType &narrow : kNarrowTypes) {
    if (attr.value_type == narrow.value_type) {
      der::put_tlv(&out, narrow.tag, attr.value);
      return out;
    }
  }
  std::vector<BYTE> content;
  switch (attr.value_type) {
    case CERT_RDN_OCTET_STRING:
      der::put_tlv(&out, der::kTagOctetString, attr.value);
      break;
    case CERT_RDN_BMP_STRING:
      for (char16_t unit : host_units(attr.value)) {
        content.push_back(static_cast<BYTE>(unit >> 8));
        content.push_back(static_cast<BYTE>(unit));
      }
      der::put_tlv(&out, der::kTagBmp, content);
      break;
    case CERT_RDN_UTF8_STRING: {
      const std::string utf8 = codepage::utf8_from_utf16(host_units(attr.value));
      der::put_tlv(&out, der::kTagUtf8, std::vector<BYTE>(utf8.begin(), utf8.end()));
      break;
    }
    case CERT_RDN_UNIVERSAL_STRING:
      for (size_t i = 0; i + 4 <= attr.value.size(); i += 4) {
        uint32_t code;
        std::memcpy(&code, attr.value.data() + i, sizeof code);
        for (int shift = 24; shift >= 0; shift -= 8) content.push_back(static_cast<BYTE>(code >> shift));
      }
      der::put_tlv(&out, der::kTagUniversal, content);
      break;
    default:  // CERT_RDN_ENCODED_BLOB: already a TLV
      out = attr.value;
      break;
  }
  return out;
}

}  // namespace

std::optional<Name> decode_name(const BYTE *der, size_t der_nbytes) {
  const BYTE *limit = der + der_nbytes;
  const std::optional<der::Tlv> outer = der::read_tlv(der, limit);
  if (!outer || outer->tag != der::kTagSequence || outer->end != limit) return std::nullopt;
  Name name;
  for (const BYTE *p = outer->content; p < outer->end;) {
    const std::optional<der::Tlv> set = der::read_tlv(p, outer->end);
    if (!set || set->tag != der::kTagSet) return std::nullopt;
    Rdn rdn;
    for (const BYTE *q = set->content; q < set->end;) {
      const std::optional<der::Tlv> seq = der::read_tlv(q, set->end);
      if (!seq || seq->tag != der::kTagSequence) return std::nullopt;
      const std::optional<der::Tlv> oid = der::read_tlv(seq->content, seq->end);
      if (!oid || oid->tag != der::kTagOid) return std::nullopt;
      const std::optional<der::Tlv> value = der::read_tlv(oid->end, seq->end);
      if (!value || value->end != seq->end) return std::nullopt;
      std::optional<std::string> oid_text = der::oid_text(*oid);
      std::optional<Attribute> attr = decode_value(*value);
      if (!oid_text || !attr) return std::nullopt;
      attr->oid = std::move(*oid_text);
      rdn.push_back(std::move(*attr));
      q = seq->end;
    }
    name.push_back(std::move(rdn));
    p = set->end;
  }
  return name;
}

std::optional<std::vector<BYTE>> oid_to_der(const std::string &dotted) {
  AsnObject obj(OBJ_txt2obj(dotted.c_str(), 1));
  if (!obj) return std::nullopt;
  const int n = i2d_ASN1_OBJECT(obj.get(), nullptr);
  if (n <= 0) return std::nullopt;
  std::vector<BYTE> der(n);
  unsigned char *p = der.data();
  i2d_ASN1_OBJECT(obj.get(), &p);
  return der;
}

std::optional<std::vector<BYTE>> encode_name(const Name &name) {
  std::vector<BYTE> rdns;
  for (const Rdn &rdn : name) {
    std::vector<BYTE> attrs;
    for (const Attribute &attr : rdn) {
      std::optional<std::vector<BYTE>> oid = oid_to_der(attr.oid);
      if (!oid) return std::nullopt;
      const std::vector<BYTE> value = encode_value(attr);
      oid->insert(oid->end(), value.begin(), value.end());
      der::put_tlv(&attrs, der::kTagSequence, *oid);
    }
    der::put_tlv(&rdns, der::kTagSet, attrs);
  }
  std::vector<BYTE> out;
  der::put_tlv(&out, der::kTagSequence, rdns);
  return out;
}

bool is_hex_value(DWORD value_type) {
  return value_type == CERT_RDN_OCTET_STRING || value_type == CERT_RDN_ENCODED_BLOB;
}

}  // namespace x500
