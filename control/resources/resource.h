// resource.h - the ids of the control's resources, its dialog's controls and its commands.
#pragma once

#define IDS_QUILLORA 1  // string: the control's name
#define IDC_BROWSER 101
#define ID_PREVIEW_FAILED 102
#define IDD_SIGN_DIALOG 129
#define IDB_LOGO 131

#define IDC_CERT_COMBO 1002
#define IDC_TEXT 1004
#define IDC_REQUEST_LABEL 1006
#define IDC_LOGO 1009
#define IDC_CERT_LABEL 1010
