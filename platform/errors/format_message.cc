// format_message.cc - the built-in English system texts and FormatMessageA's lookup and buffer handling.
#include "platform/errors/format_message.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/base/last_error.h"

namespace {

constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorProcNotFound = 127;
constexpr DWORD kErrorBadExeFormat = 193;
constexpr DWORD kErrorBadDb = 1009;

struct SystemText {
  DWORD code;
  std::string_view text;
};

// en-US texts as the system's message tables hold them, line break included. The Win32 rows cover
// the codes the platform layer reports; HRESULTs of facility Win32 are looked up by their low word.
constexpr SystemText kTexts[] = {
    {ERROR_SUCCESS, "The operation completed successfully.\r\n"},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\r\n"},
    {ERROR_BAD_ENVIRONMENT, "The environment is incorrect.\r\n"},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device.\r\n"},
    {ERROR_READ_FAULT, "The system cannot read from the specified device.\r\n"},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_LOCK_VIOLATION,
     "The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {ERROR_FILE_EXISTS, "The file exists.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_DISK_FULL, "There is not enough space on the disk.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {kErrorModNotFound, "The specified module could not be found.\r\n"},
    {kErrorProcNotFound, "The specified procedure could not be found.\r\n"},
    {kErrorBadExeFormat, "%1 is not a valid Win32 application.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long.\r\n"},
    {ERROR_MORE_DATA, "More data is available.\r\n"},
    {ERROR_DIRECTORY, "The directory name is invalid.\r\n"},
    {kErrorBadDb, "The configuration registry database is corrupt.\r\n"},
    {ERROR_CANCELLED, "The operation was canceled by the user.\r\n"},
    {ERROR_CANT_ACCESS_FILE, "The file cannot be accessed by the system.\r\n"},
    {0x80090001, "Bad UID.\r\n"},
    {0x80090003, "Bad Key.\r\n"},
    {0x80090009, "Invalid flags specified.\r\n"},
    {0x8009000A, "Invalid type specified.\r\n"},
    {0x8009000D, "Key does not exist.\r\n"},
    {0x8009000E, "Insufficient memory available for the operation.\r\n"},
    {0x80090010, "Access denied.\r\n"},
    {0x80090016, "Keyset does not exist\r\n"},  // the system's text has no full stop
    {0x80090019, "The keyset is not defined.\r\n"},
    {0x8009001B, "Provider type does not match registered value.\r\n"},
    {0x80090020, "An internal error occurred.\r\n"},
    {0x80091002, "Unknown cryptographic algorithm.\r\n"},
    {0x80091007, "The hash value is not correct.\r\n"},
    {0x80092002, "An error occurred during encode or decode operation.\r\n"},
    {0x80092004, "Cannot find object or property.\r\n"},
    {0x80092005, "The object or property already exists.\r\n"},
    {0x80092009, "Cannot find the requested object.\r\n"},
    {0x8009200B, "The certificate does not have a property that references a private key.\r\n"},
    {0x80092020, "The string contains a non-numeric character.\r\n"},
    {0x80092021, "The string contains a non-printable character.\r\n"},
    {0x80092022, "The string contains a character not in the 7 bit ASCII character set.\r\n"},
    {0x80092023, "The string contains an invalid X500 name attribute key, oid, value or delimiter.\r\n"},
    {0x80092026, "The cryptographic operation failed due to a local security option setting.\r\n"},
    {0x80093100, "ASN1 corrupted data.\r\n"},
    {0x800B0109,
     "A certificate chain processed, but terminated in a root certificate which is not trusted by "
     "the trust provider.\r\n"},
};

constexpr DWORD kSupportedFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kLangNeutral = 0x00;
constexpr DWORD kLangEnglish = 0x09;

const SystemText *find_text(DWORD code) {
  for (const SystemText &entry : kTexts) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

DWORD fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

DWORD FormatMessageA(DWORD dwFlags, const void *, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list *) {
  const bool allocate = dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER;
  if (allocate && lpBuffer != nullptr) *reinterpret_cast<LPSTR *>(lpBuffer) = nullptr;
  if ((dwFlags & ~kSupportedFlags) != 0 || !(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) ||
      lpBuffer == nullptr)
    return fail(ERROR_INVALID_PARAMETER);
  const DWORD primary_language = dwLanguageId & 0x3FF;
  if (primary_language != kLangNeutral && primary_language != kLangEnglish)
    return fail(ERROR_RESOURCE_LANG_NOT_FOUND);

  const SystemText *entry = find_text(dwMessageId);
  if (entry == nullptr && (dwMessageId & 0xFFFF0000) == 0x80070000)
    entry = find_text(dwMessageId & 0xFFFF);
  if (entry == nullptr) return fail(ERROR_MR_MID_NOT_FOUND);

  const DWORD length = static_cast<DWORD>(entry->text.size());
  LPSTR out = lpBuffer;
  if (allocate) {
    out = static_cast<LPSTR>(std::malloc(length + 1 > nSize ? length + 1 : nSize));
    if (out == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
    *reinterpret_cast<LPSTR *>(lpBuffer) = out;
  } else if (nSize < length + 1) {
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(out, entry->text.data(), length);
  out[length] = '\0';
  return length;
}

HLOCAL LocalFree(HLOCAL hMem) {
  std::free(hMem);
  return nullptr;
}
