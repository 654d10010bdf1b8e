// resource.h - the ids of the uninstaller's dialog and its controls.
#pragma once

#define IDD_UNINSTALL_DIALOG 102

#define IDC_LOG 1001
#define IDC_STATUS 1002
