// class_info.h - IProvideClassInfo2, through which a control names its default event interface to the container that sinks its events.
#pragma once

#include "platform/com/com_types.h"

inline constexpr IID IID_IProvideClassInfo = {0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IProvideClassInfo2 = {0xA7ABA9C1, 0x8983, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};

#define GUIDKIND_DEFAULT_SOURCE_DISP_IID 1

struct IProvideClassInfo : IUnknown {
  virtual HRESULT GetClassInfo(ITypeInfo **ppTI) = 0;
};

struct IProvideClassInfo2 : IProvideClassInfo {
  // GUIDKIND_DEFAULT_SOURCE_DISP_IID: the dispatch interface the control's default events are raised on.
  virtual HRESULT GetGUID(DWORD dwGuidKind, GUID *pGUID) = 0;
};
