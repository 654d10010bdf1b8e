// automation_string.cc - AllocAutomationString: the two-pass MultiByteToWideChar into a new BSTR.
#include "control/requests/automation_string.h"

#include <new>

#include "platform/codepage/multibyte.h"
#include "platform/com/bstr.h"

BSTR AllocAutomationString(const CString &strResult) {
  // Every platform this runs on keeps an ANSI code page per thread, so the thread's is the one
  // the page's strings were converted with.
  constexpr UINT kCodePage = CP_THREAD_ACP;
  const int length = strResult.GetLength();
  const int units = length == 0 ? 0 : MultiByteToWideChar(kCodePage, 0, strResult, length, nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (result == nullptr) throw std::bad_alloc();
  if (units > 0) MultiByteToWideChar(kCodePage, 0, strResult, length, result, units);
  return result;
}
