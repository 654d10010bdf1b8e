// name_codec.h - the decoded model of an X.500 name, its DER codec, and attribute values as text (internal).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto/wincrypt_types.h"

namespace x500 {

// One attribute: dotted OID, CERT_RDN_* type and the value in CERT_RDN_ATTR's decoded form.
struct Attribute {
  std::string oid;
  DWORD value_type = CERT_RDN_ANY_TYPE;
  std::vector<BYTE> value;
};
using Rdn = std::vector<Attribute>;
using Name = std::vector<Rdn>;

// Decodes Name ::= SEQUENCE OF SET OF SEQUENCE { OID, ANY }, keeping every order as encoded.
// Returns nothing if the bytes are not exactly one well-formed name.
std::optional<Name> decode_name(const BYTE *der, size_t der_nbytes);

// Encodes a name in the order given (sets are not re-sorted, so attributes keep the writer's
// order). Returns nothing if an OID is not a valid dotted OID.
std::optional<std::vector<BYTE>> encode_name(const Name &name);

// Dotted OID text to its DER TLV; nothing if the text is not a valid OID.
std::optional<std::vector<BYTE>> oid_to_der(const std::string &dotted);

// Octet strings and encoded blobs render as '#' and upper-case hex, never quoted.
bool is_hex_value(DWORD value_type);

// The text of a decoded value. T61 strings are read as UTF-8 when they are valid UTF-8 and
// t61_try_utf8 is set, otherwise as Latin-1.
std::u16string value_to_text(DWORD value_type, const BYTE *value, size_t value_nbytes,
                             bool t61_try_utf8);

// The key CertNameToStr writes for an OID, or nothing (the caller then writes "OID.<dotted>").
std::optional<std::string_view> key_for_oid(std::string_view oid);
// The OID for a key of the string form, matched case-insensitively, including the keys accepted
// only on input (Email, ST, Title, GivenName, Initials); nothing for an unknown key.
std::optional<std::string_view> oid_for_key(std::u16string_view key);

// Copies text into psz under the crypt32 string-size contract: with psz NULL or csz 0 returns
// the size needed including the NUL; otherwise writes at most csz-1 characters and a NUL and
// returns the characters written including the NUL.
DWORD copy_out(const std::string &text, LPSTR psz, DWORD csz);

}  // namespace x500
