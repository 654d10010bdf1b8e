// store_index.h - the index of a store folder's certificates by number and thumbprint, kept by its writers so that an addition needs no listing of the folder (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win_types.h"
#include "platform/crypto/store_folder.h"

namespace certstore {

/*
 * <store folder>/.index, written only under the folder's lock:
 *   "index 1 highest NNNNNNNN count NNNNNNNN\n"   the highest number any name carried and the
 *                                                  number of certificates when it was rebuilt
 *   "NNNNNNNN <SHA1>\n"                            per certificate, in the order of addition
 * An addition appends its line before it writes any file, so every certificate in the folder is
 * in the index. The index may hold more: removals leave their lines, which a lookup confirms
 * against the certificate's bytes. It is trusted only while the certificate of its last line
 * exists and the next number is free; otherwise (a writer killed half-way, a store from before
 * the index, a lost write) it is rebuilt from a listing of the folder.
 */
constexpr char kIndexName[] = ".index";
constexpr size_t kIndexLineNbytes = kNumberDigits + 1 + kThumbprintDigits + 1;

class FolderIndex {
 public:
  // Reads the folder's index; false when it is missing, damaged, or not to be trusted.
  bool load(const std::string &folder);

  // Takes the index from the text of its file; false when it is damaged or due for a rebuild.
  bool parse(std::string_view text);

  // Lists the folder, removes its leftovers, marks the certificates without a mark and writes the
  // index again. The caller holds the folder's lock. 0 or the error of listing the folder.
  DWORD rebuild(const std::string &folder);

  // The highest number the folder's names carry (0: none).
  uint32_t highest() const { return highest_; }

  // The numbers indexed under `thumbprint`, ascending.
  std::vector<uint32_t> numbers_of(const std::string &thumbprint) const;

  // Records an addition under `sequence` before its files are written. 0 or the error of
  // appending to the index (none when there is no index file: the next writer rebuilds it).
  DWORD note_addition(const std::string &folder, uint32_t sequence, const std::string &thumbprint);

 private:
  std::string lines_;  // the certificate lines
  uint32_t highest_ = 0;
  uint32_t last_ = 0;  // the number of the last line (0: none)
};

}  // namespace certstore
