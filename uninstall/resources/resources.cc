// resources.cc - the uninstaller's resource table: its progress window's dialog template.
#include "platform/modules/modules.h"
#include "platform/windows/dialog_template.h"
#include "platform/windows/winuser.h"
#include "uninstall/resources/resource.h"

namespace {

// Texts are Windows-1252: \267 is the middle dot of "l·l", \363 o acute, \351 e acute. The log
// is an editable box on purpose: the person may select and copy from it.
const DialogItemTemplate kUninstallDialogItems[] = {
    {IDC_LOG, "EDIT", "", 0x50B100C4, 0, 5, 26, 300, 154},
    {IDC_STATUS, "STATIC", "Desinstal\267laci\363 en progr\351s", 0x50020001, 0, 5, 5, 300, 16},
    {IDOK, "BUTTON", "D'acord", 0x58010001, 0, 129, 185, 53, 13},
};

// Spanish (Spain, modern sort), 3082; texts in Catalan.
constexpr WORD kLanguageSpanishSpain = 3082;

// Visible from its creation, and without a system menu, so without a close box.
constexpr DWORD kUninstallDialogStyle = 0x90C000C0;
static_assert(kUninstallDialogStyle == (WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT));

const DialogTemplate kUninstallDialog = {
    "Desinstal\267laci\363 de quillora", 0, 0, 310, 203, kUninstallDialogStyle, WS_EX_APPWINDOW, "MS Sans Serif", 8,
    FW_NORMAL, FALSE, DEFAULT_CHARSET, kLanguageSpanishSpain, kUninstallDialogItems,
    sizeof kUninstallDialogItems / sizeof kUninstallDialogItems[0]};

const ResourceEntry kResources[] = {
    {RT_DIALOG, IDD_UNINSTALL_DIALOG, &kUninstallDialog, sizeof kUninstallDialog},
};

}  // namespace

PLATFORM_MODULE_RESOURCES(kResources);
