/* cab_reader.h - the cabinet reader: walks a cabinet (and the rest of its set), reports each file and
 * writes its bytes to the handle the caller's notification handler gives. */
#ifndef CAB_READER_H
#define CAB_READER_H

#include <stdint.h>

#include "cab_ops.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Error codes recorded in CabError.code: pinned values, also the results of extract(). */
enum {
  ERR_OPEN_CABINET = 1,
  ERR_NOT_CABINET = 2,
  ERR_VERSION = 3,
  ERR_CORRUPT = 4,
  ERR_NO_MEMORY = 5,
  ERR_METHOD = 6,
  ERR_DECODE = 7,
  ERR_OUTPUT = 8,
  ERR_RESERVE = 9,
  ERR_WRONG_CABINET = 10,
  ERR_ABORTED = 11
};

/* Notification kinds. */
enum {
  NOTE_CABINET = 0,
  NOTE_PARTIAL = 1,
  NOTE_COPY = 2,
  NOTE_CLOSE = 3,
  NOTE_NEXT_CABINET = 4,
  NOTE_LIST_POSITION = 5
};

/* Method words' low four bits. METHOD_UNSET means no folder has been selected. */
enum { METHOD_NONE = 0, METHOD_MSZIP = 1, METHOD_QUANTUM = 2, METHOD_LZX = 3, METHOD_UNSET = 15 };

/* Size of the cabinet-folder buffer that NOTE_NEXT_CABINET hands out in text3, zero included. */
#define CAB_PATH_NBYTES 1024
/* Size of a name buffer: names hold at most 255 characters. */
#define CAB_NAME_NBYTES 257

/* The caller-owned error record. The reader writes it at each failure and never clears it. */
typedef struct CabError {
  int32_t code;     /* ERR_* */
  int32_t detail;   /* the offending version word with ERR_VERSION, else 0 */
  int32_t is_error; /* 1 once a code has been recorded */
} CabError;

/* The notification record, one per context and reused: a field a notification does not set keeps
 * its earlier value. The strings are the context's and live until the next notification. */
typedef struct CabNote {
  int32_t value;
  char *text1;
  char *text2;
  char *text3;
  void *user;
  int32_t handle;
  uint16_t date;
  uint16_t time;
  uint16_t attributes;
  uint16_t set_id;
  uint16_t cabinet_index;
  uint16_t folder_index;
  int32_t error;
} CabNote;

/* The answer -1 to any notification aborts the copy with ERR_ABORTED. */
typedef int32_t (*cab_notify_fn)(int32_t kind, CabNote *note);

typedef struct CabReader CabReader;

/* Creates a context that uses the seven operations for every allocation and file access and
 * records failures in `*error`, which must outlive the context. Returns null after recording
 * ERR_NO_MEMORY. */
CabReader *cab_reader_create(cab_alloc_fn cab_alloc, cab_free_fn cab_free, cab_open_fn cab_open, cab_read_fn cab_read,
                             cab_write_fn cab_write, cab_close_fn cab_close, cab_seek_fn cab_seek, CabError *error);

/* Lets the reader map the cabinets it opens from now on through `*map_ops`, which must outlive the
 * context; only cabinets larger than its read buffer are mapped. */
void cab_reader_allow_mapping(CabReader *reader, const CabMapOps *map_ops);

/* Walks the cabinet `cabinet_folder` + `cabinet_name` and extracts what the handler asks for.
 * `user` is handed back in every note. Returns 1 on success, 0 with the code recorded. The
 * cabinet files are closed on return; the decoder and its buffers stay for the next copy. */
int cab_reader_copy(CabReader *reader, const char *cabinet_name, const char *cabinet_folder, cab_notify_fn notify,
                    void *user);

/* What a folder entry of the cabinet being walked says. */
typedef struct CabFolderInfo {
  uint16_t folder_index; /* the entry's own index in this cabinet */
  uint16_t block_count;
  uint16_t method_word;
  uint32_t first_block_offset;
} CabFolderInfo;

/* Reads the folder entry that a file entry's folder index names in the cabinet being walked (0xFFFD:
 * the first folder, which continues from the previous cabinet; 0xFFFE and 0xFFFF: the last), for a
 * handler that wants to show it; the reader's own position is left as it was. Valid only during a
 * notification. Returns 1, or 0 with ERR_CORRUPT recorded when there is no such entry. */
int cab_reader_folder_info(CabReader *reader, uint16_t folder_index, CabFolderInfo *info);

/* Whether a file entry's folder index says its folder began in the previous cabinet (0xFFFD,
 * 0xFFFF), or runs on into the next one (0xFFFE, 0xFFFF). Return 1 or 0. */
int cab_folder_from_previous(uint16_t folder_index);
int cab_folder_into_next(uint16_t folder_index);

/* Whether `name` may name the next cabinet of a set: a plain file name (not empty, neither "." nor
 * "..", no "\\" or "/"), so that a set never reaches outside the folder of its first cabinet. */
int cab_reader_is_cabinet_name(const char *name);

/* Releases the decoder, the buffers and the context, and closes what is open. Returns 1. */
int cab_reader_destroy(CabReader *reader);

#ifdef __cplusplus
}
#endif

#endif
