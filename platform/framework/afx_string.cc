// afx_string.cc - CString's buffer access, formatting and upper-casing.
#include "platform/framework/afx_string.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/codepage/code_page_1252.h"

LPSTR CString::GetBuffer(int nMinBufLength) {
  if (nMinBufLength > GetLength()) m_text.resize(static_cast<size_t>(nMinBufLength));
  return m_text.data();
}

void CString::ReleaseBuffer(int nNewLength) {
  const size_t length = nNewLength < 0 ? strnlen(m_text.data(), m_text.size()) : static_cast<size_t>(nNewLength);
  m_text.resize(length);
}

CString &CString::operator=(LPCSTR text) {
  m_text = text != nullptr ? text : "";
  return *this;
}

CString &CString::operator+=(const CString &other) {
  m_text += other.m_text;
  return *this;
}

CString &CString::operator+=(LPCSTR text) {
  if (text != nullptr) m_text += text;
  return *this;
}

CString &CString::operator+=(char c) {
  m_text += c;
  return *this;
}

CString operator+(const CString &a, const CString &b) {
  CString sum = a;
  sum += b;
  return sum;
}

int CString::Remove(char c) {
  const size_t before = m_text.size();
  std::erase(m_text, c);
  return static_cast<int>(before - m_text.size());
}

void CString::MakeUpper() {
  for (char &c : m_text) c = codepage::upper_1252(c);
}

void CString::Format(LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  m_text.assign(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) vsnprintf(m_text.data(), m_text.size() + 1, format, args);
  va_end(args);
}
