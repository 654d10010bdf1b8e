// cab_reader_internal.h - the reader context and the steps shared by the reader's units: opening
// cabinets (cab_cabinet.cc), folders and data blocks (cab_folder.cc), the walk (cab_reader.cc).
#pragma once

#include <stdint.h>
#include <sys/uio.h>

#include "cabinet/decoders/decoder.h"
#include "cabinet/reader/cab_format.h"
#include "cabinet/include/cab_reader.h"
#include "cabinet/reader/cab_stream.h"

// Outside the 16-bit index space, so that no index a cabinet can hold turns the check off.
constexpr int32_t kNoExpectedIndex = -1;
constexpr uint32_t kNoFolder = 0xFFFF;
constexpr int32_t kClosed = -1;
// Reads of the file table and of the data blocks, and writes of the output, go in pieces of these
// sizes, so that a cabinet of many small files or one of large stored files costs few calls. A
// large file's blocks are gathered into large writes: on ext4 a write per 32 KiB block costs more
// (about a fifth more time, measured) than copying the blocks together first.
constexpr uint32_t kListBufferNbytes = 8192;
constexpr uint32_t kDataBufferNbytes = 256 * 1024;
constexpr uint32_t kStagingNbytes = 256 * 1024;
// Pieces of one write: the blocks of a mapped cabinet, which wait in place, and the staging.
constexpr uint32_t kMaxPieces = 64;
static_assert(kDataBufferNbytes >= CAB_BLOCK_MAX_NBYTES + 2 * 264, "a whole block and its header fit the buffer");

struct FileEntry {
  uint32_t nbytes;
  uint32_t folder_offset;  // of its first byte in the folder's uncompressed data
  uint16_t folder_index;
  uint16_t date;
  uint16_t time;
  uint16_t attributes;
  char name[CAB_NAME_NBYTES];
};

struct CabReader {
  CabError *error;
  CabOps ops;
  const CabMapOps *map_ops;  // null unless the caller allows mapping
  // During a copy: the caller's handler and opaque value.
  cab_notify_fn notify;
  void *user;

  CabStream list;      // header, names and file table
  CabStream data;      // folder table and data blocks
  int32_t out_handle;  // the file being extracted, until the handler takes it in NOTE_CLOSE

  // The current cabinet's header and the reserve sizes fixed by the first cabinet opened.
  uint8_t header[cab_format::kHeaderNbytes];
  bool reserves_known;
  uint32_t folder_entry_nbytes;  // 8 + folder reserve
  uint32_t data_header_nbytes;   // 8 + data reserve
  uint8_t *folder_entry;
  uint8_t *data_header;

  char previous_cabinet[CAB_NAME_NBYTES];
  char previous_disk[CAB_NAME_NBYTES];
  char next_cabinet[CAB_NAME_NBYTES];
  char next_disk[CAB_NAME_NBYTES];
  char cabinet_folder[CAB_PATH_NBYTES];
  char cabinet_path[CAB_PATH_NBYTES];
  int64_t folder_table_offset;

  FileEntry file;  // the entry in hand

  uint16_t entries_left;
  uint16_t skipped_continuing;
  uint16_t blocks_left;  // data blocks of the current folder not yet read in this cabinet
  uint32_t folder_index;  // kNoFolder when none is selected
  bool continuation;      // moved into the next cabinet in the middle of a folder

  // The block held: its bytes (in out_buffer, or for a stored block in the data stream's buffer),
  // where it starts in its folder's uncompressed data, and its size.
  const uint8_t *block_data;
  uint64_t block_folder_offset;
  uint32_t block_nbytes;
  bool block_in_mapping;  // block_data lies in the data stream's mapping

  uint16_t method_word;  // METHOD_UNSET when no decoder is set up
  const CabDecoder *decoder;
  void *decoder_handle;
  uint8_t *in_buffer;  // the compressed block; for stored folders the same buffer as out_buffer
  uint32_t in_capacity;
  uint8_t *out_buffer;  // CAB_BLOCK_MAX_NBYTES; also the decoders' history

  CabNote note;

  // Output waits in `pieces` and goes out in large writes: at the end of each file, or when full.
  // Bytes of a mapped cabinet wait in place; any others are copied into `staging`.
  struct iovec pieces[kMaxPieces];
  uint32_t piece_count;
  uint32_t queued_nbytes;
  uint32_t staged_nbytes;
  // The buffers come last: cab_reader_create clears everything before them.
  uint8_t staging[kStagingNbytes];
  uint8_t list_buffer[kListBufferNbytes];
  uint8_t data_buffer[kDataBufferNbytes];
};

// Records `code` in the caller's error record and returns 0, the failure answer of every step.
int reader_fail(CabReader *reader, int32_t code, int32_t detail = 0);

// Sends one notification with the context's user value; returns the handler's answer.
int32_t reader_notify(CabReader *reader, int32_t kind);

// Writes what waits for the output handle; before a cabinet whose mapping it may point into closes.
int flush_output(CabReader *reader);

// Reads exactly `nbytes`; false on a short read or an error.
bool read_exact(CabStream *stream, void *buffer, uint32_t nbytes);

// cab_cabinet.cc
// Opens cabinet_folder + `name` on both handles and reads its header, reserve, neighbour names
// and the position of its tables; sends NOTE_CABINET. With an expected index (not
// kNoExpectedIndex) the set identifier and index must match; an index past 0xFFFF matches none.
int open_cabinet(CabReader *reader, const char *name, uint16_t expected_set_id, int32_t expected_index);
// Reads a file entry and its name on the list handle.
int read_file_entry(CabReader *reader, FileEntry *entry);
// Moves on to the next cabinet of the set in the middle of the current folder.
int move_to_next_cabinet(CabReader *reader);
// Closes the two cabinet handles that are open; false when a close fails.
bool close_cabinet(CabReader *reader);

// cab_folder.cc
int select_folder(CabReader *reader, uint16_t folder_index);
int read_folder_entry(CabReader *reader, uint32_t folder_index);
int read_next_block(CabReader *reader);
int reset_decoder(CabReader *reader);
// Tears down the decoder and its buffers; the method becomes METHOD_UNSET.
int release_method(CabReader *reader);
// The folder that a file entry's index stands for in this cabinet (a file from the previous cabinet
// is in the first folder, one running into the next in the last), or kNoFolder when there is none.
uint32_t resolve_folder_index(const CabReader *reader, uint16_t folder_index);
