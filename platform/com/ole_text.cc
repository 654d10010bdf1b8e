// ole_text.cc - OLE text conversions over the platform's code-page converters.
#include "platform/com/ole_text.h"

#include "platform/codepage/multibyte.h"
#include "platform/com/bstr.h"

namespace com {

namespace {

size_t ole_length(LPCOLESTR text) {
  size_t n = 0;
  if (text != nullptr)
    while (text[n] != 0) ++n;
  return n;
}

std::string narrow(UINT code_page, LPCOLESTR text, size_t length) {
  if (text == nullptr || length == 0) return {};
  const int count = static_cast<int>(length);
  const int needed = WideCharToMultiByte(code_page, 0, text, count, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed), '\0');
  if (needed > 0) WideCharToMultiByte(code_page, 0, text, count, out.data(), needed, nullptr, nullptr);
  return out;
}

std::u16string widen(UINT code_page, std::string_view text) {
  if (text.empty()) return {};
  const int count = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(code_page, 0, text.data(), count, nullptr, 0);
  std::u16string out(static_cast<size_t>(needed), u'\0');
  if (needed > 0) MultiByteToWideChar(code_page, 0, text.data(), count, out.data(), needed);
  return out;
}

}  // namespace

std::string ole_to_ansi(LPCOLESTR text, size_t length) { return narrow(CP_ACP, text, length); }
std::string ole_to_ansi(LPCOLESTR text) { return narrow(CP_ACP, text, ole_length(text)); }
std::u16string ansi_to_ole(std::string_view text) { return widen(CP_ACP, text); }

BSTR bstr_from_ansi(std::string_view text) {
  const std::u16string wide = ansi_to_ole(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string ole_path_to_utf8(LPCOLESTR path) { return narrow(CP_UTF8, path, ole_length(path)); }
std::u16string utf8_path_to_ole(std::string_view path) { return widen(CP_UTF8, path); }

bool ole_name_equals(LPCOLESTR name, std::string_view ascii) {
  if (name == nullptr) return false;
  size_t i = 0;
  for (; i < ascii.size(); ++i) {
    const OLECHAR c = name[i];
    if (c == 0 || c > 0x7F) return false;
    const auto lower = [](unsigned ch) { return ch >= 'A' && ch <= 'Z' ? ch + ('a' - 'A') : ch; };
    if (lower(c) != lower(static_cast<unsigned char>(ascii[i]))) return false;
  }
  return name[i] == 0;
}

}  // namespace com
