// multibyte.cc - MultiByteToWideChar and WideCharToMultiByte over the 1252 and UTF-8 converters.
#include "platform/codepage/multibyte.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/base/last_error.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"

namespace {

constexpr UINT kAnsiCodePage = 1252;

enum class Page { kAnsi, kUtf8, kUnknown };

Page page_of(UINT code_page) {
  if (code_page == CP_ACP || code_page == CP_THREAD_ACP || code_page == kAnsiCodePage) return Page::kAnsi;
  if (code_page == CP_UTF8) return Page::kUtf8;
  return Page::kUnknown;
}

int fail(DWORD error) {
  SetLastError(error);
  return 0;
}

// The input length rules both directions share: -1 means "through the NUL", 0 or another
// negative count is refused, as is an output count without a buffer.
template <typename Char>
bool input_length(const Char *input, int count, int out_count, const void *output, size_t *length) {
  if (input == nullptr || count == 0 || count < -1 || out_count < 0 ||
      (output == nullptr && out_count != 0))
    return false;
  if (count != -1) {
    *length = static_cast<size_t>(count);
    return true;
  }
  size_t n = 0;
  while (input[n] != 0) ++n;
  *length = n + 1;
  return true;
}

// The size contract: out_count 0 asks for the size; too small a buffer fails and leaves it alone.
template <typename Char>
int deliver(const std::basic_string<Char> &converted, Char *output, int out_count) {
  if (converted.size() > static_cast<size_t>(INT32_MAX)) return fail(ERROR_INVALID_PARAMETER);
  const int needed = static_cast<int>(converted.size());
  if (out_count == 0) return needed;
  if (out_count < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
  std::memcpy(output, converted.data(), converted.size() * sizeof(Char));
  return needed;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  const Page page = page_of(CodePage);
  size_t length;
  if (page == Page::kUnknown || dwFlags != 0 ||
      !input_length(lpMultiByteStr, cbMultiByte, cchWideChar, lpWideCharStr, &length))
    return fail(ERROR_INVALID_PARAMETER);
  const std::u16string converted =
      page == Page::kAnsi
          ? codepage::utf16_from_ansi(std::string_view(lpMultiByteStr, length))
          : codepage::utf16_from_utf8_replacing(reinterpret_cast<const uint8_t *>(lpMultiByteStr), length);
  return deliver(converted, lpWideCharStr, cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, BOOL *lpUsedDefaultChar) {
  const Page page = page_of(CodePage);
  size_t length;
  // UTF-8 represents every character, so neither a default character nor best fit makes sense for it.
  if (page == Page::kUnknown || (dwFlags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS)) != 0 ||
      (page == Page::kUtf8 && (dwFlags != 0 || lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr)) ||
      !input_length(lpWideCharStr, cchWideChar, cbMultiByte, lpMultiByteStr, &length))
    return fail(ERROR_INVALID_PARAMETER);
  const std::u16string_view text(lpWideCharStr, length);
  if (page == Page::kUtf8) return deliver(codepage::utf8_from_utf16(text), lpMultiByteStr, cbMultiByte);
  bool used_default = false;
  const std::string converted =
      codepage::ansi_from_utf16(text, lpDefaultChar != nullptr ? *lpDefaultChar : '?', &used_default,
                                (dwFlags & WC_NO_BEST_FIT_CHARS) == 0);
  const int result = deliver(converted, lpMultiByteStr, cbMultiByte);
  if (result != 0 && lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used_default;
  return result;
}
