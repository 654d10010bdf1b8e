// crypt_object.cc - CryptDecodeObject (names, key usage) and CryptEncodeObject (times) into self-contained buffers.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include "platform/base/last_error.h"
#include "platform/crypto/der.h"
#include "platform/crypto/flat_buffer.h"
#include "platform/crypto/name_codec.h"
#include "platform/files/file_time.h"
// Last: its X509_NAME macro would break OpenSSL's X509_NAME type in any OpenSSL header after it.
#include "platform/crypto/crypt_object.h"

namespace {

enum class StructType { kName, kKeyUsage, kTime, kUnknown };

// A type is a small integer cast to a pointer or an OID string.
StructType struct_type(LPCSTR type) {
  const auto number = reinterpret_cast<uintptr_t>(type);
  if (number <= 0xFFFF) {
    if (type == X509_NAME) return StructType::kName;
    if (type == X509_KEY_USAGE) return StructType::kKeyUsage;
    if (type == PKCS_UTC_TIME || type == X509_CHOICE_OF_TIME) return StructType::kTime;
    return StructType::kUnknown;
  }
  if (std::strcmp(type, szOID_KEY_USAGE) == 0) return StructType::kKeyUsage;
  if (std::strcmp(type, szOID_RSA_signingTime) == 0) return StructType::kTime;
  return StructType::kUnknown;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// CERT_NAME_INFO, then the RDN array, then the attribute array, then each attribute's OID and
// value. Every value is followed by four zero bytes, so that any string type reads as terminated.
std::optional<flat::Builder> decode_name(const BYTE *der, size_t der_nbytes) {
  const std::optional<x500::Name> name = x500::decode_name(der, der_nbytes);
  if (!name) return std::nullopt;
  flat::Builder out;
  const size_t info = out.reserve(sizeof(CERT_NAME_INFO), alignof(CERT_NAME_INFO));
  out.put(info + offsetof(CERT_NAME_INFO, cRDN), static_cast<DWORD>(name->size()));
  if (name->empty()) return out;
  const size_t rdns = out.reserve(sizeof(CERT_RDN) * name->size(), alignof(CERT_RDN));
  out.link(info + offsetof(CERT_NAME_INFO, rgRDN), rdns);
  size_t attr_count = 0;
  for (const x500::Rdn &rdn : *name) attr_count += rdn.size();
  const size_t attrs = out.reserve(sizeof(CERT_RDN_ATTR) * attr_count, alignof(CERT_RDN_ATTR));
  size_t next_attr = attrs;
  for (size_t i = 0; i < name->size(); ++i) {
    const x500::Rdn &rdn = (*name)[i];
    const size_t rdn_at = rdns + sizeof(CERT_RDN) * i;
    out.put(rdn_at + offsetof(CERT_RDN, cRDNAttr), static_cast<DWORD>(rdn.size()));
    if (!rdn.empty()) out.link(rdn_at + offsetof(CERT_RDN, rgRDNAttr), next_attr);
    for (const x500::Attribute &attr : rdn) {
      out.link(next_attr + offsetof(CERT_RDN_ATTR, pszObjId), out.add(attr.oid.c_str(), attr.oid.size() + 1, 1));
      out.put(next_attr + offsetof(CERT_RDN_ATTR, dwValueType), attr.value_type);
      const size_t value_field = next_attr + offsetof(CERT_RDN_ATTR, Value);
      out.put(value_field + offsetof(CERT_RDN_VALUE_BLOB, cbData), static_cast<DWORD>(attr.value.size()));
      const size_t value = out.reserve(attr.value.size() + 4, 4);
      out.write(value, attr.value.data(), attr.value.size());
      out.link(value_field + offsetof(CERT_RDN_VALUE_BLOB, pbData), value);
      next_attr += sizeof(CERT_RDN_ATTR);
    }
  }
  return out;
}

// BIT STRING: the unused-bit count (below 8, and 0 for no content bytes), then the bytes.
std::optional<flat::Builder> decode_bits(const BYTE *der, size_t der_nbytes) {
  const std::optional<der::Tlv> tlv = der::read_whole(der, der + der_nbytes, der::kTagBitString);
  if (!tlv || tlv->content_nbytes == 0) return std::nullopt;
  const BYTE unused = tlv->content[0];
  const size_t nbytes = tlv->content_nbytes - 1;
  if (unused > 7 || (nbytes == 0 && unused != 0)) return std::nullopt;
  flat::Builder out;
  const size_t blob = out.reserve(sizeof(CRYPT_BIT_BLOB), alignof(CRYPT_BIT_BLOB));
  out.put(blob + offsetof(CRYPT_BIT_BLOB, cbData), static_cast<DWORD>(nbytes));
  out.put(blob + offsetof(CRYPT_BIT_BLOB, cUnusedBits), DWORD{unused});
  if (nbytes != 0) out.link(blob + offsetof(CRYPT_BIT_BLOB, pbData), out.add(tlv->content + 1, nbytes, 1));
  return out;
}

// UTCTime (YYMMDDHHMMSSZ) for 1950 to 2049, GeneralizedTime (YYYYMMDDHHMMSSZ) otherwise; the
// fraction of a second is cut. Nothing past year 9999, which neither form can hold.
std::optional<std::vector<BYTE>> encode_time(const FILETIME &file_time) {
  struct timespec instant;
  struct tm fields;
  if (!platform::timespec_from_filetime(file_time, &instant) || gmtime_r(&instant.tv_sec, &fields) == nullptr)
    return std::nullopt;
  const int year = fields.tm_year + 1900;
  if (year > 9999) return std::nullopt;
  const bool utc = year >= 1950 && year <= 2049;
  char text[16];
  const int n = utc ? std::snprintf(text, sizeof text, "%02d%02d%02d%02d%02d%02dZ", year % 100, fields.tm_mon + 1,
                                    fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec)
                    : std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02dZ", year, fields.tm_mon + 1,
                                    fields.tm_mday, fields.tm_hour, fields.tm_min, fields.tm_sec);
  std::vector<BYTE> out;
  der::put_tlv(&out, utc ? der::kTagUtcTime : der::kTagGeneralizedTime, reinterpret_cast<const BYTE *>(text), n);
  return out;
}

}  // namespace

BOOL CryptDecodeObject(DWORD dwCertEncodingType, LPCSTR lpszStructType, const BYTE *pbEncoded, DWORD cbEncoded,
                       DWORD, void *pvStructInfo, DWORD *pcbStructInfo) {
  if (pcbStructInfo == nullptr) return fail(E_INVALIDARG);
  const StructType type = struct_type(lpszStructType);
  if (!(dwCertEncodingType & X509_ASN_ENCODING) || type == StructType::kUnknown || type == StructType::kTime)
    return fail(ERROR_FILE_NOT_FOUND);
  if (pbEncoded == nullptr && cbEncoded != 0) return fail(E_INVALIDARG);
  const std::optional<flat::Builder> out =
      type == StructType::kName ? decode_name(pbEncoded, cbEncoded) : decode_bits(pbEncoded, cbEncoded);
  if (!out) return fail(CRYPT_E_ASN1_CORRUPT);
  return out->deliver(pvStructInfo, pcbStructInfo);
}

BOOL CryptEncodeObject(DWORD dwCertEncodingType, LPCSTR lpszStructType, const void *pvStructInfo, BYTE *pbEncoded,
                       DWORD *pcbEncoded) {
  if (pcbEncoded == nullptr) return fail(E_INVALIDARG);
  if (!(dwCertEncodingType & X509_ASN_ENCODING) || struct_type(lpszStructType) != StructType::kTime)
    return fail(ERROR_FILE_NOT_FOUND);
  if (pvStructInfo == nullptr) return fail(E_INVALIDARG);
  const std::optional<std::vector<BYTE>> encoded = encode_time(*static_cast<const FILETIME *>(pvStructInfo));
  if (!encoded) return fail(CRYPT_E_BAD_ENCODE);
  flat::Builder out;
  out.add(encoded->data(), encoded->size(), 1);
  return out.deliver(pbEncoded, pcbEncoded);
}
