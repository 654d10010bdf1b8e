// afx_string.h - CString, the framework's 8-bit string in the ANSI code page, with the buffer access the system's code uses.
#pragma once

#include <string>

#include "platform/base/win_types.h"

// Owns its characters, always NUL-terminated. GetBuffer hands out the storage for writing through
// C-style functions; ReleaseBuffer then fixes the length.
class CString {
 public:
  CString() = default;
  CString(LPCSTR text) : m_text(text != nullptr ? text : "") {}  // NOLINT: implicit, as the framework's
  CString(LPCSTR text, int length) : m_text(text, length > 0 ? static_cast<size_t>(length) : 0) {}

  int GetLength() const { return static_cast<int>(m_text.size()); }
  BOOL IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  char GetAt(int index) const { return m_text[static_cast<size_t>(index)]; }
  char operator[](int index) const { return GetAt(index); }
  operator LPCSTR() const { return m_text.c_str(); }  // NOLINT: implicit, as the framework's
  LPCSTR GetString() const { return m_text.c_str(); }

  // Writable storage of at least nMinBufLength characters plus a NUL, holding the current text.
  // Valid until the next call on the string that changes it.
  LPSTR GetBuffer(int nMinBufLength);
  // Sets the length to nNewLength, or with -1 to that of the NUL-terminated text in the buffer.
  void ReleaseBuffer(int nNewLength = -1);

  CString &operator=(LPCSTR text);
  CString &operator+=(const CString &other);
  CString &operator+=(LPCSTR text);
  CString &operator+=(char c);
  friend CString operator+(const CString &a, const CString &b);
  friend bool operator==(const CString &a, const CString &b) { return a.m_text == b.m_text; }
  friend bool operator==(const CString &a, LPCSTR b) { return a.m_text == (b != nullptr ? b : ""); }

  // Removes every occurrence of c; returns how many there were.
  int Remove(char c);
  // Upper-cases in place by the case mapping of code page 1252 (accented letters included).
  void MakeUpper();
  // Replaces the text with printf-style formatting.
  void Format(LPCSTR format, ...) __attribute__((format(printf, 2, 3)));

 private:
  std::string m_text;
};
