// cert_properties.cc - the property file's writer and its length-checked reader, and CRYPT_KEY_PROV_INFO in and out.
#include "platform/crypto/cert_properties.h"

#include <cstring>

#include "platform/crypto/cert_store.h"

namespace certprops {
namespace {

constexpr BYTE kMagic[4] = {'Q', 'P', 'R', 'P'};
constexpr DWORD kVersion = 1;
constexpr DWORD kAbsentString = 0xFFFFFFFF;
constexpr size_t kMaxStringUnits = 1024;

void put_u32(std::vector<BYTE> *out, DWORD value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<BYTE>(value >> shift));
}

void put_string(std::vector<BYTE> *out, const std::optional<std::u16string> &text) {
  if (!text) {
    put_u32(out, kAbsentString);
    return;
  }
  put_u32(out, static_cast<DWORD>(text->size()));
  for (char16_t unit : *text) {
    out->push_back(static_cast<BYTE>(unit));
    out->push_back(static_cast<BYTE>(unit >> 8));
  }
}

std::vector<BYTE> serialize_key_prov(const KeyProvInfo &info) {
  std::vector<BYTE> out;
  put_string(&out, info.container);
  put_string(&out, info.provider);
  put_u32(&out, info.prov_type);
  put_u32(&out, info.flags);
  put_u32(&out, info.key_spec);
  put_u32(&out, static_cast<DWORD>(info.params.size()));
  for (const KeyProvParam &param : info.params) {
    put_u32(&out, param.param);
    put_u32(&out, param.flags);
    put_u32(&out, static_cast<DWORD>(param.data.size()));
    out.insert(out.end(), param.data.begin(), param.data.end());
  }
  return out;
}

// Reads forward through a bounded range; every read checks the bytes left first.
class Reader {
 public:
  Reader(const BYTE *p, size_t nbytes) : p_(p), left_(nbytes) {}

  bool at_end() const { return left_ == 0; }

  bool u32(DWORD *value) {
    if (left_ < 4) return false;
    *value = DWORD{p_[0]} | DWORD{p_[1]} << 8 | DWORD{p_[2]} << 16 | DWORD{p_[3]} << 24;
    skip(4);
    return true;
  }

  bool bytes(size_t nbytes, const BYTE **data) {
    if (left_ < nbytes) return false;
    *data = p_;
    skip(nbytes);
    return true;
  }

  bool string(std::optional<std::u16string> *text) {
    DWORD count;
    if (!u32(&count)) return false;
    if (count == kAbsentString) {
      text->reset();
      return true;
    }
    const BYTE *units;
    if (count > kMaxStringUnits || !bytes(size_t{count} * 2, &units)) return false;
    text->emplace();
    for (DWORD i = 0; i < count; ++i) {
      const char16_t unit = static_cast<char16_t>(units[2 * i] | units[2 * i + 1] << 8);
      if (unit == 0) return false;  // CRYPT_KEY_PROV_INFO's strings end at the first NUL
      (*text)->push_back(unit);
    }
    return true;
  }

 private:
  void skip(size_t nbytes) {
    p_ += nbytes;
    left_ -= nbytes;
  }

  const BYTE *p_;
  size_t left_;
};

bool parse_key_prov(const BYTE *data, size_t nbytes, KeyProvInfo *info) {
  Reader in(data, nbytes);
  DWORD count;
  if (!in.string(&info->container) || !in.string(&info->provider) || !in.u32(&info->prov_type) ||
      !in.u32(&info->flags) || !in.u32(&info->key_spec) || !in.u32(&count) || count > kMaxParams)
    return false;
  info->params.resize(count);
  for (KeyProvParam &param : info->params) {
    DWORD data_nbytes;
    const BYTE *param_data;
    if (!in.u32(&param.param) || !in.u32(&param.flags) || !in.u32(&data_nbytes) ||
        !in.bytes(data_nbytes, &param_data))
      return false;
    param.data.assign(param_data, param_data + data_nbytes);
  }
  return in.at_end();
}

// The length of a NUL-terminated UTF-16 string, or more than `limit` when it is longer.
size_t bounded_length(LPCWSTR text, size_t limit) {
  size_t n = 0;
  while (n <= limit && text[n] != 0) ++n;
  return n;
}

bool copy_string(LPCWSTR text, std::optional<std::u16string> *out) {
  if (text == nullptr) return true;
  const size_t n = bounded_length(text, kMaxStringUnits);
  if (n > kMaxStringUnits) return false;
  out->emplace(text, n);
  return true;
}

void put_flat_string(flat::Builder *out, size_t field, const std::optional<std::u16string> &text) {
  if (!text) return;
  const size_t at = out->reserve((text->size() + 1) * sizeof(WCHAR), alignof(WCHAR));
  out->write(at, text->data(), text->size() * sizeof(WCHAR));
  out->link(field, at);
}

}  // namespace

std::vector<BYTE> serialize(const Properties &properties) {
  std::vector<BYTE> out(kMagic, kMagic + sizeof kMagic);
  put_u32(&out, kVersion);
  if (properties.key_prov) {
    const std::vector<BYTE> record = serialize_key_prov(*properties.key_prov);
    put_u32(&out, CERT_KEY_PROV_INFO_PROP_ID);
    put_u32(&out, static_cast<DWORD>(record.size()));
    out.insert(out.end(), record.begin(), record.end());
  }
  return out;
}

bool parse(const BYTE *bytes, size_t nbytes, Properties *properties) {
  *properties = Properties{};
  if (nbytes > kMaxFileNbytes) return false;
  Reader in(bytes, nbytes);
  const BYTE *magic;
  DWORD version;
  if (!in.bytes(sizeof kMagic, &magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0 ||
      !in.u32(&version) || version != kVersion)
    return false;
  while (!in.at_end()) {
    DWORD id, record_nbytes;
    const BYTE *record;
    if (!in.u32(&id) || !in.u32(&record_nbytes) || !in.bytes(record_nbytes, &record)) return false;
    if (id != CERT_KEY_PROV_INFO_PROP_ID) continue;
    if (properties->key_prov) return false;
    if (!parse_key_prov(record, record_nbytes, &properties->key_prov.emplace())) return false;
  }
  return true;
}

bool key_prov_from_struct(const CRYPT_KEY_PROV_INFO &info, KeyProvInfo *out) {
  *out = KeyProvInfo{};
  if (info.cProvParam > kMaxParams || (info.cProvParam != 0 && info.rgProvParam == nullptr)) return false;
  if (!copy_string(info.pwszContainerName, &out->container) || !copy_string(info.pwszProvName, &out->provider))
    return false;
  out->prov_type = info.dwProvType;
  out->flags = info.dwFlags;
  out->key_spec = info.dwKeySpec;
  size_t total = 0;
  for (DWORD i = 0; i < info.cProvParam; ++i) {
    const CRYPT_KEY_PROV_PARAM &param = info.rgProvParam[i];
    if (param.cbData != 0 && param.pbData == nullptr) return false;
    total += param.cbData;
    if (total > kMaxFileNbytes) return false;
    out->params.push_back({param.dwParam, param.dwFlags, std::vector<BYTE>(param.pbData, param.pbData + param.cbData)});
  }
  // What cannot be read back must not be written.
  return serialize(Properties{*out}).size() <= kMaxFileNbytes;
}

flat::Builder flatten(const KeyProvInfo &info) {
  flat::Builder out;
  const size_t top = out.reserve(sizeof(CRYPT_KEY_PROV_INFO), alignof(CRYPT_KEY_PROV_INFO));
  out.put(top + offsetof(CRYPT_KEY_PROV_INFO, dwProvType), info.prov_type);
  out.put(top + offsetof(CRYPT_KEY_PROV_INFO, dwFlags), info.flags);
  out.put(top + offsetof(CRYPT_KEY_PROV_INFO, dwKeySpec), info.key_spec);
  out.put(top + offsetof(CRYPT_KEY_PROV_INFO, cProvParam), static_cast<DWORD>(info.params.size()));
  size_t params = 0;
  if (!info.params.empty()) {
    params = out.reserve(sizeof(CRYPT_KEY_PROV_PARAM) * info.params.size(), alignof(CRYPT_KEY_PROV_PARAM));
    out.link(top + offsetof(CRYPT_KEY_PROV_INFO, rgProvParam), params);
  }
  put_flat_string(&out, top + offsetof(CRYPT_KEY_PROV_INFO, pwszContainerName), info.container);
  put_flat_string(&out, top + offsetof(CRYPT_KEY_PROV_INFO, pwszProvName), info.provider);
  for (size_t i = 0; i < info.params.size(); ++i) {
    const KeyProvParam &param = info.params[i];
    const size_t entry = params + sizeof(CRYPT_KEY_PROV_PARAM) * i;
    out.put(entry + offsetof(CRYPT_KEY_PROV_PARAM, dwParam), param.param);
    out.put(entry + offsetof(CRYPT_KEY_PROV_PARAM, dwFlags), param.flags);
    out.put(entry + offsetof(CRYPT_KEY_PROV_PARAM, cbData), static_cast<DWORD>(param.data.size()));
    if (!param.data.empty())
      out.link(entry + offsetof(CRYPT_KEY_PROV_PARAM, pbData), out.add(param.data.data(), param.data.size(), 1));
  }
  return out;
}

}  // namespace certprops
