// hive_file.h - the bytes of a hive file: reading them into a key tree and writing a tree out (internal).
#pragma once

#include <cstddef>
#include <vector>

#include "platform/base/win_types.h"
#include "platform/registry/key_tree.h"

namespace hive {

// The largest hive file read; anything larger is taken as damaged rather than read into memory.
constexpr size_t kMaxFileNbytes = 64u << 20;

// Reads a whole hive file into *root. False when the bytes are not exactly one well-formed hive
// (wrong magic or version, a length that runs past the end or leaves bytes over, a name out of
// bounds, two keys or values of one name, nesting too deep); *root is then unspecified.
bool parse(const BYTE *bytes, size_t nbytes, Key *root);

// The file bytes of the hive under `root`; parse gives back an equal tree.
std::vector<BYTE> serialize(const Key &root);

}  // namespace hive
