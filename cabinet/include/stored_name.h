// stored_name.h - what a name stored in a cabinet becomes under the destination folder: refused
// when it would leave the folder or cannot be a Linux name, else the UTF-8 name its file gets.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// The file-entry attribute that marks a stored name as UTF-8; without it the name is Windows-1252.
constexpr uint16_t kAttributeNameIsUtf8 = 0x80;
// The longest name of one file or folder that Linux file systems take, in bytes.
constexpr size_t kNamePartMaxNbytes = 255;

// Why a stored name gets no file. The extraction skips that file and goes on with the others.
enum class name_refusal {
  none,
  outside,          // empty, absolute, drive-qualified, or with a ".." part
  not_utf8,         // marked UTF-8 but ill-formed
  part_too_long,    // a file or folder name longer than kNamePartMaxNbytes once in UTF-8
  path_too_long,    // with the destination, longer than the 1023 bytes a path may have
  file_system,      // the file system refuses it (vfat refuses "?", for one)
};

// False for an empty name, an absolute one ("\x" or "/x"), a drive-qualified one ("c:x"), and
// one with a ".." part between separators ("\" or "/").
bool is_contained_name(const char *name);

// The stored `name` in UTF-8, as a file of that name is created: a Windows-1252 name is converted,
// one whose `attributes` mark it UTF-8 is kept as it is. False (with `out` unspecified) for a name
// marked UTF-8 that is not well-formed UTF-8.
bool utf8_name(const char *name, uint16_t attributes, std::string *out);

// Writes `destination` followed by the UTF-8 form of the stored `name` into `path` (of
// `path_nbytes`, its zero included). Returns name_refusal::none, or why the name gets no file with
// `*nbytes` the length at fault: of the longest part, or of the whole path.
name_refusal output_path_of(const char *destination, const char *name, uint16_t attributes, char *path,
                            size_t path_nbytes, size_t *nbytes);
