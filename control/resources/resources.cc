// resources.cc - the control's resource table: the signing dialog's template, the logo and the string table.
#include "control/resources/logo_bitmap.h"
#include "control/resources/resource.h"
#include "platform/modules/modules.h"
#include "platform/windows/dialog_template.h"
#include "platform/windows/winuser.h"

namespace {

// const rather than constexpr: MAKEINTRESOURCEA is a cast from an integer to a pointer.
// Texts are Windows-1252: \267 is the middle dot of "l·l", \374 is u with diaeresis.
const DialogItemTemplate kSignDialogItems[] = {
    {IDC_REQUEST_LABEL, "STATIC", "El servidor ha sol\267licitat signar el seg\374ent text:", 0x50020000, 0, 5, 5, 212,
     16},
    {IDC_LOGO, "STATIC", MAKEINTRESOURCEA(IDB_LOGO), 0x5000000E, 0, 281, 5, 45, 15},
    {IDC_TEXT, "EDIT", "", 0x50B10884, 0, 5, 26, 321, 80},
    {IDC_CERT_LABEL, "STATIC", "Seleccioni el certificat amb el que vol signar el text:", 0x50020000, 0, 5, 111, 321,
     8},
    {IDC_CERT_COMBO, "COMBOBOX", "", 0x50210143, 0, 5, 124, 321, 59},
    {IDOK, "BUTTON", "Acceptar", 0x50010001, 0, 105, 141, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel\267lar", 0x50010000, 0, 176, 141, 50, 14},
};

// Spanish (Spain, modern sort), 3082; texts in Catalan.
constexpr WORD kLanguageSpanishSpain = 3082;

constexpr DWORD kSignDialogStyle = 0x80C802C0;
static_assert(kSignDialogStyle == (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND | DS_SETFONT));

const DialogTemplate kSignDialog = {
    "Signatura Digital", 0, 0, 331, 159, kSignDialogStyle, 0, "MS Sans Serif", 8, FW_NORMAL, FALSE, ANSI_CHARSET,
    kLanguageSpanishSpain, kSignDialogItems, sizeof kSignDialogItems / sizeof kSignDialogItems[0]};

constexpr char kControlName[] = "KESTRAVON Quillora Control";

const ResourceEntry kResources[] = {
    {RT_DIALOG, IDD_SIGN_DIALOG, &kSignDialog, sizeof kSignDialog},
    {RT_BITMAP, IDB_LOGO, logo::kBitmap.data(), static_cast<DWORD>(logo::kBitmap.size())},
    {RT_STRING, IDS_QUILLORA, kControlName, sizeof kControlName},
};

}  // namespace

PLATFORM_MODULE_RESOURCES(kResources);
