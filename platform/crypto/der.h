// der.h - the bounded DER reader and the TLV writer the crypt32 functions share (internal).
#pragma once

#include <openssl/asn1.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/win_types.h"

namespace der {

constexpr BYTE kTagInteger = 0x02;
constexpr BYTE kTagBitString = 0x03;
constexpr BYTE kTagOctetString = 0x04;
constexpr BYTE kTagOid = 0x06;
constexpr BYTE kTagUtf8 = 0x0C;
constexpr BYTE kTagUtcTime = 0x17;
constexpr BYTE kTagGeneralizedTime = 0x18;
constexpr BYTE kTagUniversal = 0x1C;
constexpr BYTE kTagBmp = 0x1E;
constexpr BYTE kTagSequence = 0x30;
constexpr BYTE kTagSet = 0x31;
constexpr BYTE kTagContext0 = 0xA0;

// One TLV read from a bounded range; `end` is one past the whole TLV.
struct Tlv {
  const BYTE *start;
  BYTE tag;  // the first identifier byte; high tag numbers are skipped over, not interpreted
  const BYTE *content;
  size_t content_nbytes;
  const BYTE *end;
};

// Definite lengths only, as DER requires; nothing if the TLV runs past `limit`.
std::optional<Tlv> read_tlv(const BYTE *p, const BYTE *limit);

// The TLV at p that must fill [p, limit) exactly and carry `tag`; nothing otherwise.
std::optional<Tlv> read_whole(const BYTE *p, const BYTE *limit, BYTE tag);

// Appends tag, the shortest definite length and the content.
void put_tlv(std::vector<BYTE> *out, BYTE tag, const BYTE *content, size_t content_nbytes);
inline void put_tlv(std::vector<BYTE> *out, BYTE tag, const std::vector<BYTE> &content) {
  put_tlv(out, tag, content.data(), content.size());
}

// The dotted text of an OID object (never its short name); nothing for an empty object.
std::optional<std::string> oid_text(const ASN1_OBJECT *obj);

// The dotted text of the OID TLV; nothing if it is not a valid OID.
std::optional<std::string> oid_text(const Tlv &tlv);

}  // namespace der
