// control_ids.h - the control's fixed identity: class, interfaces, type library, ProgID and registration values.
#pragma once

#include "platform/com/com_types.h"

// {6C51BB44-7A4D-47A7-A653-6AFD8E6522ED}
inline constexpr CLSID CLSID_QuilloraActX = {0x6C51BB44, 0x7A4D, 0x47A7,
                                             {0xA6, 0x53, 0x6A, 0xFD, 0x8E, 0x65, 0x22, 0xED}};
// {C40774C5-FB88-477E-A4B2-7EEA6D433802}: _DQuilloraActX, the scripting interface.
inline constexpr IID DIID__DQuilloraActX = {0xC40774C5, 0xFB88, 0x477E,
                                            {0xA4, 0xB2, 0x7E, 0xEA, 0x6D, 0x43, 0x38, 0x02}};
// {465EFA8E-206C-4CFD-845D-575D85498DE0}: the event interface, which no event uses and the type
// library does not describe.
inline constexpr IID DIID__DQuilloraActXEvents = {0x465EFA8E, 0x206C, 0x4CFD,
                                                  {0x84, 0x5D, 0x57, 0x5D, 0x85, 0x49, 0x8D, 0xE0}};
// {58549FEB-3F15-4B05-96FF-8B9D0C68991C}: QuilloraActXLib.
inline constexpr GUID LIBID_QuilloraActXLib = {0x58549FEB, 0x3F15, 0x4B05,
                                               {0x96, 0xFF, 0x8B, 0x9D, 0x0C, 0x68, 0x99, 0x1C}};

inline constexpr char kQuilloraProgID[] = "KESTRAVON.Quillora.1";
inline constexpr WORD kQuilloraVerMajor = 2;
inline constexpr WORD kQuilloraVerMinor = 0;
inline constexpr LCID kQuilloraTypeLibLcid = 0x0409;
inline constexpr UINT kQuilloraToolboxBitmap = 1;  // named by the registration; the module carries no such bitmap
