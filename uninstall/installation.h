// installation.h - what records an installation of the control: the registry keys and file names the installer writes and the uninstaller removes.
#pragma once

#include "platform/base/win_types.h"

namespace installation {

// Under HKEY_LOCAL_MACHINE. The installation key's "CWD" value holds the installation folder, an
// 8-bit path without a trailing separator.
constexpr char kKey[] = "SOFTWARE\\KESTRAVON\\quillora";
constexpr char kFolderValue[] = "CWD";
// The uninstaller reads the folder through a buffer of this many bytes, its NUL included.
constexpr DWORD kFolderBufferBytes = 1024;
// The entry that lists the installation among the machine's installed programs.
constexpr char kUninstallEntryKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\quillora";

// In the installation folder.
constexpr char kModuleName[] = "quillora.ocx";
constexpr char kUninstallerName[] = "uninstall";
// The page bridge, which the browsers' host manifests name; the uninstaller removes those.
constexpr char kBridgeName[] = "quillora-bridge";

}  // namespace installation
