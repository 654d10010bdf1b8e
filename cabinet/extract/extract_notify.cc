// extract_notify.cc - the notification handler of extract(): creates each output file, then closes
// it and applies the stored date, time and attributes; decides when a next cabinet is given up.
#include <errno.h>
#include <string.h>

#include "cabinet/include/extract_job.h"
#include "cabinet/include/stored_name.h"
#include "platform/files/crt_io.h"
#include "platform/files/file_api.h"

namespace {

// Write only, untranslated, created if absent, sequential; this platform also truncates an
// existing file, so no stale bytes remain after the data, and refuses a symbolic link.
constexpr int kOutputFlags = _O_BINARY | _O_CREAT | _O_WRONLY | _O_SEQUENTIAL | _O_TRUNC | _O_NOFOLLOW;
constexpr int kOutputPermission = _S_IREAD | _S_IWRITE;
// Read-only, hidden, system and archive; every other stored bit is dropped.
constexpr DWORD kKeptAttributes = 0x27;
// A next cabinet that cannot be opened is tried this many times before the extraction ends.
constexpr int32_t kNextCabinetAttempts = 2;

// Destination followed by the stored name; false when the name is unsafe or the path too long.
bool output_path(const ExtractJob *job, const char *name, char (&path)[CAB_PATH_NBYTES]) {
  if (!is_contained_name(name)) return false;
  size_t folder_len = strlen(job->destination);
  size_t name_len = strlen(name);
  if (folder_len + name_len >= sizeof path) {
    errno = ENAMETOOLONG;  // so that a caller can say why no file was made
    return false;
  }
  memcpy(path, job->destination, folder_len);
  memcpy(path + folder_len, name, name_len + 1);
  return true;
}

void stamp_time(const char *path, const CabNote *note) {
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  FILETIME local;
  FILETIME universal;
  if (DosDateTimeToFileTime(note->date, note->time, &local) && LocalFileTimeToFileTime(&local, &universal))
    SetFileTime(file, &universal, nullptr, &universal);
  CloseHandle(file);
}

int32_t close_output(const CabNote *note, const char *path) {
  _close(note->handle);
  // Time before attributes, so that a file that becomes read-only still gets its times.
  stamp_time(path, note);
  SetFileAttributesA(path, note->attributes & kKeptAttributes);
  return 1;
}

int32_t next_cabinet(ExtractJob *job, const CabNote *note) {
  if (note->text1[0] == '\0') {
    // The data runs on past the last cabinet of the set.
    job->unavailable_cause = ERR_CORRUPT;
    return -1;
  }
  if (note->error == 0) {
    job->failed_attempts = 0;
    return 0;
  }
  if (++job->failed_attempts >= kNextCabinetAttempts) {
    job->unavailable_cause = note->error;
    return -1;
  }
  return 0;
}

}  // namespace

int32_t extract_notify(int32_t kind, CabNote *note) {
  auto *job = static_cast<ExtractJob *>(note->user);
  char path[CAB_PATH_NBYTES];
  switch (kind) {
    case NOTE_COPY:
      if (!output_path(job, note->text1, path)) return -1;
      return _open(path, kOutputFlags, kOutputPermission);
    case NOTE_CLOSE:
      if (!output_path(job, note->text1, path)) {
        _close(note->handle);
        return -1;
      }
      return close_output(note, path);
    case NOTE_NEXT_CABINET:
      return next_cabinet(job, note);
    default:
      return 0;
  }
}
