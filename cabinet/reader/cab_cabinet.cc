// cab_cabinet.cc - opening a cabinet of a set: header, reserve, neighbour names, the file entries,
// and the move into the next cabinet when a folder continues there.
#include <string.h>

#include "cabinet/reader/cab_reader_internal.h"

using namespace cab_format;

namespace {

// Copies `folder` + `name` into `out`; false when the path does not fit.
bool join_path(char (&out)[CAB_PATH_NBYTES], const char *folder, const char *name) {
  size_t folder_len = strlen(folder);
  size_t name_len = strlen(name);
  if (folder_len + name_len >= sizeof out) return false;
  memcpy(out, folder, folder_len);
  memcpy(out + folder_len, name, name_len + 1);
  return true;
}

// Reads a zero-terminated string of at most 255 characters at the list handle's position into
// `out` (CAB_NAME_NBYTES) and leaves the handle just after its zero byte.
int read_string(CabReader *r, char *out) {
  int64_t start = r->list.position;
  int32_t got = stream_read(&r->list, out, kNameWindowNbytes);
  if (got <= 0) return reader_fail(r, ERR_CORRUPT);
  const void *zero = memchr(out, 0, static_cast<size_t>(got));
  if (zero == nullptr) return reader_fail(r, ERR_CORRUPT);
  int64_t length = static_cast<const char *>(zero) - out;
  stream_seek(&r->list, start + length + 1);
  return 1;
}

// Reads `nbytes` of header reserve and drops them: the area is never interpreted.
int skip_header_reserve(CabReader *r, uint32_t nbytes) {
  uint8_t scratch[256];
  while (nbytes > 0) {
    uint32_t chunk = nbytes < sizeof scratch ? nbytes : sizeof scratch;
    if (!read_exact(&r->list, scratch, chunk)) return reader_fail(r, ERR_NOT_CABINET);
    nbytes -= chunk;
  }
  return 1;
}

// Fixes the folder-entry and data-header sizes from the first cabinet; later cabinets must agree.
int take_reserve_sizes(CabReader *r, uint32_t folder_reserve, uint32_t data_reserve) {
  uint32_t folder_entry_nbytes = kFolderEntryNbytes + folder_reserve;
  uint32_t data_header_nbytes = kDataHeaderNbytes + data_reserve;
  if (r->reserves_known) {
    if (folder_entry_nbytes != r->folder_entry_nbytes || data_header_nbytes != r->data_header_nbytes)
      return reader_fail(r, ERR_RESERVE);
    return 1;
  }
  r->folder_entry = static_cast<uint8_t *>(r->ops.cab_alloc(folder_entry_nbytes));
  r->data_header = static_cast<uint8_t *>(r->ops.cab_alloc(data_header_nbytes));
  if (r->folder_entry == nullptr || r->data_header == nullptr) {
    if (r->folder_entry != nullptr) r->ops.cab_free(r->folder_entry);
    if (r->data_header != nullptr) r->ops.cab_free(r->data_header);
    r->folder_entry = r->data_header = nullptr;
    return reader_fail(r, ERR_NO_MEMORY);
  }
  r->folder_entry_nbytes = folder_entry_nbytes;
  r->data_header_nbytes = data_header_nbytes;
  r->reserves_known = true;
  return 1;
}

int read_reserve(CabReader *r, uint16_t flags) {
  if (!(flags & kFlagReservePresent)) return take_reserve_sizes(r, 0, 0);
  uint8_t sizes[kReserveSizesNbytes];
  if (!read_exact(&r->list, sizes, sizeof sizes)) return reader_fail(r, ERR_NOT_CABINET);
  // Each cabinet's own header-reserve size is skipped, so a set whose cabinets reserve different
  // header areas still parses; folder and data reserves must agree across the set.
  if (!skip_header_reserve(r, le16(sizes))) return 0;
  return take_reserve_sizes(r, sizes[2], sizes[3]);
}

int read_neighbour_names(CabReader *r, uint16_t flags) {
  r->previous_cabinet[0] = r->previous_disk[0] = r->next_cabinet[0] = r->next_disk[0] = '\0';
  if (flags & kFlagPreviousCabinet) {
    if (!read_string(r, r->previous_cabinet) || !read_string(r, r->previous_disk)) return 0;
  }
  if (flags & kFlagNextCabinet) {
    if (!read_string(r, r->next_cabinet) || !read_string(r, r->next_disk)) return 0;
  }
  return 1;
}

}  // namespace

bool close_cabinet(CabReader *r) {
  bool ok = true;
  stream_unmap(&r->data);
  if (r->data.handle != kClosed) ok = r->ops.cab_close(r->data.handle) == 0;
  r->data.handle = kClosed;
  if (r->list.handle != kClosed) ok = (r->ops.cab_close(r->list.handle) == 0) && ok;
  r->list.handle = kClosed;
  return ok;
}

int open_cabinet(CabReader *r, const char *name, uint16_t expected_set_id, int32_t expected_index) {
  if (!join_path(r->cabinet_path, r->cabinet_folder, name)) return reader_fail(r, ERR_OPEN_CABINET);
  const int32_t flags = CAB_O_BINARY | CAB_O_RDONLY;
  const int32_t permission = CAB_S_IREAD | CAB_S_IWRITE;
  int32_t list_handle = r->ops.cab_open(r->cabinet_path, flags, permission);
  if (list_handle < 0) return reader_fail(r, ERR_OPEN_CABINET);
  stream_attach(&r->list, &r->ops, list_handle, r->list_buffer, sizeof r->list_buffer);
  int32_t data_handle = r->ops.cab_open(r->cabinet_path, flags, permission);
  if (data_handle < 0) return reader_fail(r, ERR_OPEN_CABINET);
  stream_attach(&r->data, &r->ops, data_handle, r->data_buffer, sizeof r->data_buffer);
  if (r->map_ops != nullptr) stream_map(&r->data, r->map_ops);

  uint8_t header[kHeaderNbytes];
  if (!read_exact(&r->list, header, sizeof header) || le32(header + kHeaderSignature) != kSignature)
    return reader_fail(r, ERR_NOT_CABINET);
  uint16_t version = le16(header + kHeaderVersion);
  if (version != kVersion) return reader_fail(r, ERR_VERSION, version);
  if (expected_index != kNoExpectedIndex &&
      (le16(header + kHeaderSetId) != expected_set_id || le16(header + kHeaderCabinetIndex) != expected_index))
    return reader_fail(r, ERR_WRONG_CABINET);
  memcpy(r->header, header, sizeof header);

  uint16_t header_flags = le16(header + kHeaderFlags);
  if (!read_reserve(r, header_flags) || !read_neighbour_names(r, header_flags)) return 0;

  r->folder_table_offset = r->list.position;
  stream_seek(&r->list, le32(header + kHeaderFirstFileOffset));
  r->entries_left = le16(header + kHeaderFileCount);

  r->note.text1 = r->next_cabinet;
  r->note.text2 = r->next_disk;
  r->note.text3 = r->cabinet_folder;
  r->note.set_id = le16(header + kHeaderSetId);
  r->note.cabinet_index = le16(header + kHeaderCabinetIndex);
  if (reader_notify(r, NOTE_CABINET) == -1) return reader_fail(r, ERR_ABORTED);
  return 1;
}

int cab_reader_is_cabinet_name(const char *name) {
  if (name[0] == '\0' || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return 0;
  return strpbrk(name, "\\/") == nullptr;
}

int read_file_entry(CabReader *r, FileEntry *file) {
  uint8_t entry[kFileEntryNbytes];
  if (!read_exact(&r->list, entry, sizeof entry)) return reader_fail(r, ERR_CORRUPT);
  file->nbytes = le32(entry + kFileSize);
  file->folder_offset = le32(entry + kFileFolderOffset);
  file->folder_index = le16(entry + kFileFolderIndex);
  file->date = le16(entry + kFileDate);
  file->time = le16(entry + kFileTime);
  file->attributes = le16(entry + kFileAttributes);
  return read_string(r, file->name);
}

int move_to_next_cabinet(CabReader *r) {
  // Kept apart from the context's buffers, which a failed attempt may overwrite.
  const uint16_t set_id = le16(r->header + kHeaderSetId);
  // Each cabinet of a walk must come after the one before, so no walk can come back to a cabinet
  // it has read, and a walk past index 0xFFFF finds none.
  const int32_t index = le16(r->header + kHeaderCabinetIndex) + 1;
  char next_cabinet[CAB_NAME_NBYTES];
  char next_disk[CAB_NAME_NBYTES];
  memcpy(next_cabinet, r->next_cabinet, sizeof next_cabinet);
  memcpy(next_disk, r->next_disk, sizeof next_disk);

  // What waits for the output may lie in this cabinet's mapping.
  if (!flush_output(r)) return 0;
  r->note.error = 0;
  for (;;) {
    if (!close_cabinet(r)) return reader_fail(r, ERR_CORRUPT);
    memcpy(r->next_cabinet, next_cabinet, sizeof next_cabinet);
    memcpy(r->next_disk, next_disk, sizeof next_disk);
    r->note.text1 = r->next_cabinet;
    r->note.text2 = r->next_disk;
    r->note.text3 = r->cabinet_folder;
    r->note.set_id = set_id;
    r->note.cabinet_index = static_cast<uint16_t>(index);
    if (reader_notify(r, NOTE_NEXT_CABINET) == -1) return reader_fail(r, ERR_ABORTED);
    // The handler may have rewritten the name or the folder in place.
    char target[CAB_NAME_NBYTES];
    memcpy(target, r->next_cabinet, sizeof target);
    target[CAB_NAME_NBYTES - 1] = '\0';
    // A name with a folder in it, or none at all (data running past the last cabinet), would read
    // something that is not a cabinet of this set.
    if (!cab_reader_is_cabinet_name(target)) {
      reader_fail(r, ERR_CORRUPT);
    } else if (open_cabinet(r, target, set_id, index) && read_folder_entry(r, 0)) {
      break;
    }
    if (r->error->code == ERR_ABORTED) return 0;
    r->note.error = r->error->code;
  }

  // The first entries of the new cabinet repeat the files that continue into it: the one in
  // progress and those the handler skipped. They have been dealt with.
  for (uint32_t skip = r->skipped_continuing + 1u; skip > 0; --skip) {
    if (r->entries_left == 0) return reader_fail(r, ERR_CORRUPT);
    --r->entries_left;
    FileEntry repeated;
    if (!read_file_entry(r, &repeated)) return 0;
  }
  r->skipped_continuing = 0;
  r->continuation = true;
  return 1;
}
