// cert_properties.h - the stored properties of a certificate: their model, their file format and their CRYPT_KEY_PROV_INFO form (internal).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/crypto/flat_buffer.h"
#include "platform/crypto/wincrypt_types.h"

namespace certprops {

struct KeyProvParam {
  DWORD param = 0;
  DWORD flags = 0;
  std::vector<BYTE> data;

  bool operator==(const KeyProvParam &) const = default;
};

// CRYPT_KEY_PROV_INFO with owned strings; a string the caller left NULL stays absent.
struct KeyProvInfo {
  std::optional<std::u16string> container;
  std::optional<std::u16string> provider;
  DWORD prov_type = 0;
  DWORD flags = 0;
  DWORD key_spec = 0;
  std::vector<KeyProvParam> params;

  bool operator==(const KeyProvInfo &) const = default;
};

// The properties a store keeps on disk. The SHA-1 hash is not among them: it is computed.
struct Properties {
  std::optional<KeyProvInfo> key_prov;

  bool operator==(const Properties &) const = default;
};

// A property file is never larger than this; a bigger one is damaged.
constexpr size_t kMaxFileNbytes = 64 * 1024;

/*
 * Property file, version 1 (all integers little-endian u32):
 *
 *   "QPRP" version=1
 *   then records to the end of the file: id, nbytes, nbytes of data
 *
 * Record CERT_KEY_PROV_INFO_PROP_ID (2):
 *   string container, string provider, prov_type, flags, key_spec,
 *   param count (at most kMaxParams), then per param: param, flags, nbytes, nbytes of data
 *   string = count of UTF-16 code units (0xFFFFFFFF: absent, i.e. NULL; at most 1024), then the
 *            units (u16 each, none of them 0)
 *
 * Records with ids this version does not know are skipped, so a later version may add some; a
 * known id twice, a record or string running past its end, a record with bytes left over, another
 * version or a file over kMaxFileNbytes make the file damaged.
 */
constexpr size_t kMaxParams = 64;

std::vector<BYTE> serialize(const Properties &properties);

// False when the file is damaged; *properties is then unspecified.
bool parse(const BYTE *bytes, size_t nbytes, Properties *properties);

// Copies the caller's structure; false when it is malformed (a NULL array with a count, too many
// params or too large a whole).
bool key_prov_from_struct(const CRYPT_KEY_PROV_INFO &info, KeyProvInfo *out);

// Lays out a self-contained CRYPT_KEY_PROV_INFO, the structure first.
flat::Builder flatten(const KeyProvInfo &info);

}  // namespace certprops
