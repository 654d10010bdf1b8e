// der.cc - bounded TLV reading and writing, and OIDs as dotted text.
#include "platform/crypto/der.h"

#include <openssl/objects.h>

#include <memory>

#include "platform/crypto/openssl_ptr.h"

namespace der {

std::optional<Tlv> read_tlv(const BYTE *p, const BYTE *limit) {
  Tlv tlv{p, 0, nullptr, 0, nullptr};
  if (p >= limit) return std::nullopt;
  tlv.tag = *p++;
  if ((tlv.tag & 0x1F) == 0x1F) {
    while (p < limit && (*p & 0x80)) ++p;
    if (p++ >= limit) return std::nullopt;
  }
  if (p >= limit) return std::nullopt;
  size_t length = *p++;
  if (length & 0x80) {
    const size_t length_nbytes = length & 0x7F;
    if (length_nbytes == 0 || length_nbytes > 4 || static_cast<size_t>(limit - p) < length_nbytes)
      return std::nullopt;
    length = 0;
    for (size_t i = 0; i < length_nbytes; ++i) length = (length << 8) | *p++;
  }
  if (static_cast<size_t>(limit - p) < length) return std::nullopt;
  tlv.content = p;
  tlv.content_nbytes = length;
  tlv.end = p + length;
  return tlv;
}

std::optional<Tlv> read_whole(const BYTE *p, const BYTE *limit, BYTE tag) {
  std::optional<Tlv> tlv = read_tlv(p, limit);
  if (!tlv || tlv->tag != tag || tlv->end != limit) return std::nullopt;
  return tlv;
}

void put_tlv(std::vector<BYTE> *out, BYTE tag, const BYTE *content, size_t content_nbytes) {
  out->push_back(tag);
  if (content_nbytes < 0x80) {
    out->push_back(static_cast<BYTE>(content_nbytes));
  } else {
    int length_nbytes = 0;
    for (size_t rest = content_nbytes; rest != 0; rest >>= 8) ++length_nbytes;
    out->push_back(static_cast<BYTE>(0x80 | length_nbytes));
    for (int i = length_nbytes - 1; i >= 0; --i)
      out->push_back(static_cast<BYTE>(content_nbytes >> (8 * i)));
  }
  out->insert(out->end(), content, content + content_nbytes);
}

std::optional<std::string> oid_text(const ASN1_OBJECT *obj) {
  char small[128];
  const int needed = OBJ_obj2txt(small, sizeof small, obj, 1);
  if (needed <= 0) return std::nullopt;
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small);
  std::string text(needed + 1, '\0');
  OBJ_obj2txt(text.data(), needed + 1, obj, 1);
  text.resize(needed);
  return text;
}

std::optional<std::string> oid_text(const Tlv &tlv) {
  const unsigned char *p = tlv.start;
  platform::Asn1ObjectPtr obj(d2i_ASN1_OBJECT(nullptr, &p, tlv.end - tlv.start));
  if (!obj) return std::nullopt;
  return oid_text(obj.get());
}

}  // namespace der
