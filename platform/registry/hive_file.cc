// hive_file.cc - the hive file format: a strict reader and the writer.
#include "platform/registry/hive_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

/*
 * A hive file, every integer little-endian:
 *
 *   header   "QREG"              4 bytes, the magic
 *            version             u32, 1
 *            body_nbytes         u32, the file size less these 12 bytes, exactly
 *   body     one key record: the hive's root, whose name is empty
 *
 *   key      name_nbytes         u16, 0 for the root, else 1..255; no '\' and no NUL in the name
 *            name                name_nbytes bytes, in the case first written
 *            last_write          u64, a FILETIME (100 ns since 1601)
 *            value_count         u32
 *            values              value_count value records, in the order first set
 *            subkey_count        u32
 *            subkeys             subkey_count key records, strictly ascending by ASCII-folded name
 *
 *   value    name_nbytes         u16, 0..16383 (0 is the default value); no NUL in the name
 *            name                name_nbytes bytes
 *            type                u32, REG_SZ, REG_DWORD, ... (any value is kept)
 *            data_nbytes         u32
 *            data                data_nbytes bytes; a REG_SZ keeps its terminating NUL as written
 *
 * Keys nest at most 512 deep. The reader takes nothing on trust: every length is checked against
 * what is left, the body must end exactly at the end of the file, and two keys or two values of
 * one name under the same key (in any case) make the file damaged. The strict subkey order is
 * what the writer produces; it lets the reader find duplicates in one pass.
 */
namespace hive {
namespace {

constexpr char kMagic[4] = {'Q', 'R', 'E', 'G'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderNbytes = 12;
// The smallest records, used to refuse counts that could not fit in what is left.
constexpr size_t kMinValueNbytes = 2 + 4 + 4;
constexpr size_t kMinKeyNbytes = 2 + 1 + 8 + 4 + 4;

class Reader {
 public:
  Reader(const BYTE *bytes, size_t nbytes) : at_(bytes), end_(bytes + nbytes) {}

  size_t left() const { return static_cast<size_t>(end_ - at_); }

  bool u16(uint16_t *out) { return little_endian(2, out); }
  bool u32(uint32_t *out) { return little_endian(4, out); }
  bool u64(uint64_t *out) { return little_endian(8, out); }

  bool text(size_t nbytes, std::string *out) {
    if (nbytes > left()) return false;
    out->assign(reinterpret_cast<const char *>(at_), nbytes);
    at_ += nbytes;
    return out->find('\0') == std::string::npos;
  }

  bool blob(size_t nbytes, std::vector<BYTE> *out) {
    if (nbytes > left()) return false;
    out->assign(at_, at_ + nbytes);
    at_ += nbytes;
    return true;
  }

 private:
  template <typename T>
  bool little_endian(size_t nbytes, T *out) {
    if (nbytes > left()) return false;
    T value = 0;
    for (size_t i = 0; i < nbytes; ++i) value |= static_cast<T>(at_[i]) << (8 * i);
    at_ += nbytes;
    *out = value;
    return true;
  }

  const BYTE *at_;
  const BYTE *end_;
};

bool parse_value(Reader &in, Value *value) {
  uint16_t name_nbytes = 0;
  uint32_t data_nbytes = 0;
  return in.u16(&name_nbytes) && name_nbytes <= kMaxValueNameNbytes && in.text(name_nbytes, &value->name) &&
         in.u32(&value->type) && in.u32(&data_nbytes) && in.blob(data_nbytes, &value->data);
}

bool values_unique(const std::vector<Value> &values) {
  std::vector<std::string> folded;
  folded.reserve(values.size());
  for (const Value &value : values) folded.push_back(fold(value.name));
  std::sort(folded.begin(), folded.end());
  return std::adjacent_find(folded.begin(), folded.end()) == folded.end();
}

bool parse_key(Reader &in, size_t depth, Key *key) {
  uint16_t name_nbytes = 0;
  uint64_t last_write = 0;
  uint32_t count = 0;
  if (!in.u16(&name_nbytes) || !in.text(name_nbytes, &key->name)) return false;
  if (depth == 0 ? !key->name.empty() : !is_valid_key_name(key->name)) return false;
  if (!in.u64(&last_write)) return false;
  key->last_write.dwLowDateTime = static_cast<DWORD>(last_write);
  key->last_write.dwHighDateTime = static_cast<DWORD>(last_write >> 32);

  if (!in.u32(&count) || count > in.left() / kMinValueNbytes) return false;
  key->values.resize(count);
  for (Value &value : key->values) {
    if (!parse_value(in, &value)) return false;
  }
  if (!values_unique(key->values)) return false;

  if (!in.u32(&count) || count > in.left() / kMinKeyNbytes) return false;
  if (count > 0 && depth == kMaxDepth) return false;
  key->subkeys.resize(count);
  std::string previous;
  for (Key &subkey : key->subkeys) {
    if (!parse_key(in, depth + 1, &subkey)) return false;
    std::string folded = fold(subkey.name);
    if (&subkey != &key->subkeys.front() && !(previous < folded)) return false;
    previous = std::move(folded);
  }
  return true;
}

class Writer {
 public:
  void u16(uint16_t v) { little_endian(v, 2); }
  void u32(uint32_t v) { little_endian(v, 4); }
  void u64(uint64_t v) { little_endian(v, 8); }
  void bytes(const void *data, size_t nbytes) {
    const BYTE *p = static_cast<const BYTE *>(data);
    // Growing by resize and copying, rather than insert at the end, spares g++ 12 at -O3 a false
    // warning that the insert writes past an empty vector (stringop-overflow, array-bounds).
    const size_t at = out_.size();
    out_.resize(at + nbytes);
    if (nbytes != 0) std::memcpy(out_.data() + at, p, nbytes);
  }
  void patch_u32(size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) out_[at + i] = static_cast<BYTE>(v >> (8 * i));
  }
  size_t size() const { return out_.size(); }
  std::vector<BYTE> take() { return std::move(out_); }

 private:
  void little_endian(uint64_t v, size_t nbytes) {
    for (size_t i = 0; i < nbytes; ++i) out_.push_back(static_cast<BYTE>(v >> (8 * i)));
  }

  std::vector<BYTE> out_;
};

void write_key(Writer &out, const Key &key) {
  out.u16(static_cast<uint16_t>(key.name.size()));
  out.bytes(key.name.data(), key.name.size());
  out.u64(static_cast<uint64_t>(key.last_write.dwHighDateTime) << 32 | key.last_write.dwLowDateTime);
  out.u32(static_cast<uint32_t>(key.values.size()));
  for (const Value &value : key.values) {
    out.u16(static_cast<uint16_t>(value.name.size()));
    out.bytes(value.name.data(), value.name.size());
    out.u32(value.type);
    out.u32(static_cast<uint32_t>(value.data.size()));
    out.bytes(value.data.data(), value.data.size());
  }
  out.u32(static_cast<uint32_t>(key.subkeys.size()));
  for (const Key &subkey : key.subkeys) write_key(out, subkey);
}

}  // namespace

bool parse(const BYTE *bytes, size_t nbytes, Key *root) {
  *root = Key{};
  if (nbytes < kHeaderNbytes || nbytes > kMaxFileNbytes || std::memcmp(bytes, kMagic, sizeof kMagic) != 0)
    return false;
  Reader in(bytes + sizeof kMagic, nbytes - sizeof kMagic);
  uint32_t version = 0;
  uint32_t body_nbytes = 0;
  if (!in.u32(&version) || version != kVersion || !in.u32(&body_nbytes) || body_nbytes != in.left()) return false;
  return parse_key(in, 0, root) && in.left() == 0;
}

std::vector<BYTE> serialize(const Key &root) {
  Writer out;
  out.bytes(kMagic, sizeof kMagic);
  out.u32(kVersion);
  out.u32(0);  // body_nbytes, known at the end
  write_key(out, root);
  out.patch_u32(8, static_cast<uint32_t>(out.size() - kHeaderNbytes));
  return out.take();
}

}  // namespace hive
