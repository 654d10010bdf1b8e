// extract_notify.cc - the notification handler of extract(): creates each output file, then applies
// the stored date, time and attributes and closes it; decides when a next cabinet is given up.
#include <errno.h>
#include <string.h>

#include "cabinet/include/extract_job.h"
#include "platform/files/crt_io.h"
#include "platform/files/file_api.h"

namespace {

// Write only, untranslated, created if absent, sequential; this platform also truncates an
// existing file, so no stale bytes remain after the data.
constexpr int kOutputFlags = _O_BINARY | _O_CREAT | _O_WRONLY | _O_SEQUENTIAL | _O_TRUNC;
constexpr int kOutputPermission = _S_IREAD | _S_IWRITE;
// Read-only, hidden, system and archive; every other stored bit is dropped.
constexpr DWORD kKeptAttributes = 0x27;
// A next cabinet that cannot be opened is tried this many times before the extraction ends.
constexpr int32_t kNextCabinetAttempts = 2;

// Errors of a create that say the file system will not take the name, not that nothing can be made.
bool is_name_error(int error) { return error == EINVAL || error == EILSEQ || error == ENAMETOOLONG; }

// Skips the file in hand for its name.
int32_t refuse(ExtractJob *job, name_refusal refusal, size_t nbytes, int error = 0) {
  ++job->refused_files;
  job->refusal = refusal;
  job->refused_nbytes = nbytes;
  job->refused_errno = error;
  return 0;
}

int32_t open_output(ExtractJob *job, const CabNote *note) {
  char *path = job->output;
  size_t nbytes = 0;
  const name_refusal refusal =
      output_path_of(job->destination, note->text1, note->attributes, path, sizeof job->output, &nbytes);
  if (refusal != name_refusal::none) return refuse(job, refusal, nbytes);
  // Opened once: the caller named it, so a link there is followed, and nothing below it is.
  if (job->folder < 0 && (job->folder = _open_folder(job->destination)) < 0) return -1;
  const int fd = _open_beneath(job->folder, path + strlen(job->destination), kOutputFlags, kOutputPermission);
  if (fd < 0 && is_name_error(errno)) return refuse(job, name_refusal::file_system, 0, errno);
  return fd;
}

// Times and attributes go on through the open handle, so that nothing swapped in under the name
// meanwhile is touched. A failure only leaves them as they are.
int32_t close_output(const CabNote *note) {
  FILE_BASIC_INFO info = {};
  FILETIME local;
  FILETIME universal;
  if (DosDateTimeToFileTime(note->date, note->time, &local) && LocalFileTimeToFileTime(&local, &universal)) {
    info.CreationTime.QuadPart = static_cast<int64_t>(uint64_t{universal.dwHighDateTime} << 32 | universal.dwLowDateTime);
    info.LastWriteTime = info.CreationTime;
  }
  // None of the four kept bits leaves a plain file, which 0 would not ask for.
  const DWORD attributes = note->attributes & kKeptAttributes;
  info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
  SetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(note->handle)), FileBasicInfo, &info, sizeof info);
  _close(note->handle);
  return 1;
}

int32_t next_cabinet(ExtractJob *job, const CabNote *note) {
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
  switch (kind) {
    case NOTE_COPY:
      return open_output(job, note);
    case NOTE_CLOSE:
      return close_output(note);
    case NOTE_NEXT_CABINET:
      return next_cabinet(job, note);
    default:
      return 0;
  }
}
