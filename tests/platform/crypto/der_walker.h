// der_walker.h - a test-only DER reader that splits encodings into nodes, independent of the code under test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace der_walker {

using Bytes = std::vector<uint8_t>;

struct Node {
  uint8_t tag = 0;
  Bytes content;
  Bytes whole;  // tag, length and content
};

// Splits `bytes` into consecutive TLVs (single-byte tags, definite lengths); a malformed
// encoding is a test failure and yields the nodes read so far.
inline std::vector<Node> nodes(const Bytes &bytes) {
  std::vector<Node> out;
  size_t i = 0;
  while (i < bytes.size()) {
    const size_t start = i;
    Node node;
    node.tag = bytes[i++];
    if (i >= bytes.size()) {
      ADD_FAILURE() << "no length at " << start;
      return out;
    }
    size_t length = bytes[i++];
    if (length & 0x80) {
      const size_t n = length & 0x7F;
      if (n == 0 || n > 3 || i + n > bytes.size()) {
        ADD_FAILURE() << "bad length at " << start;
        return out;
      }
      length = 0;
      for (size_t k = 0; k < n; ++k) length = length << 8 | bytes[i++];
    }
    if (i + length > bytes.size()) {
      ADD_FAILURE() << "content past the end at " << start;
      return out;
    }
    node.content.assign(bytes.begin() + i, bytes.begin() + i + length);
    node.whole.assign(bytes.begin() + start, bytes.begin() + i + length);
    i += length;
    out.push_back(std::move(node));
  }
  return out;
}

inline std::vector<Node> children(const Node &node) { return nodes(node.content); }

// OIDs as their DER content bytes.
inline const Bytes kSignedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
inline const Bytes kData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x01};
inline const Bytes kContentType = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
inline const Bytes kMessageDigest = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
inline const Bytes kSigningTime = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05};
inline const Bytes kRsaEncryption = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
inline const Bytes kSha1 = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
inline const Bytes kSha256 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};

}  // namespace der_walker
