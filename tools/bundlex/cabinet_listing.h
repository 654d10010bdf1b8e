// cabinet_listing.h - the listing pass: what a cabinet's file entries say, read with the reader
// without extracting anything, for one cabinet or for everything an extraction would write.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "cab_reader.h"

namespace bundlex {

struct entry {
  std::string name;  // as stored; "\" separates folders
  uint32_t nbytes = 0;
  uint16_t date = 0;  // MS-DOS date and time, as stored
  uint16_t time = 0;
  uint16_t attributes = 0;
  uint16_t folder_index = 0;  // as stored
  int32_t folder = -1;        // the folder of this cabinet that holds it, -1 when unknown
  int32_t method_word = -1;   // that folder's method word, -1 when it cannot be read

  bool from_previous() const { return cab_folder_from_previous(folder_index) != 0; }
  bool into_next() const { return cab_folder_into_next(folder_index) != 0; }
};

struct cabinet_listing {
  std::vector<entry> entries;  // in the order of the file table
  std::string next_cabinet;    // the name the header gives the next cabinet of the set, or empty
};

// Splits a cabinet path as the extraction does: the folder up to and including the last "/" or
// "\", and the name after it.
std::pair<std::string, std::string> split_cabinet_path(const std::string &path);

// Walks the cabinet at `path` and fills `out`. Returns 0, or the reader's error code with io()
// holding the cause of a failed open.
int list_cabinet(const std::string &path, cabinet_listing &out);

// The entries an extraction of `path` writes: those that begin in it and, when its last folder
// runs on into the next cabinets of the set, the further files of that folder listed there.
// Returns 0, or the error code of the first cabinet; a later cabinet that cannot be read ends the
// list, as the extraction will report it.
int list_extraction(const std::string &path, std::vector<entry> &out);

}  // namespace bundlex
