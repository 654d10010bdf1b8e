// automation_string.h - the request's 8-bit result turned into the automation string handed to the script.
#pragma once

#include "platform/com/com_types.h"
#include "platform/framework/afx_string.h"

// A newly allocated automation string holding strResult converted from the calling thread's ANSI
// code page; the caller owns it. An empty result gives an empty string, never a null one.
// Exhausted memory throws std::bad_alloc, which the automation layer reports as a failed call.
BSTR AllocAutomationString(const CString &strResult);
