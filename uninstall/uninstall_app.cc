// uninstall_app.cc - the uninstaller's start-up: the question, the installation folder from the registry, the modal run.
#include "uninstall/uninstall_app.h"

#include <string.h>

#include "platform/framework/afx_ole_module.h"
#include "platform/registry/registry.h"
#include "uninstall/installation.h"
#include "uninstall/uninstall_dlg.h"

namespace {

// Windows-1252: \267 is the middle dot of "l·l", \310 E grave, \351 e acute, \363 o acute, \277
// the inverted question mark.
constexpr char kQuestionCaption[] = "Desinstal\267laci\363 quillora 2.1.04S1R2";
constexpr char kQuestionText[] =
    "ADVERT\310NCIA!!! Abans de continuar el proc\351s de desinstal\267laci\363\n"
    "de quillora 2.1.04S1R2 heu de TANCAR tots els NAVEGADORS d'INTERNET que\n"
    "estiguin OBERTS per a que el programa de desinstal\267laci\363 pugui\n"
    "esborrar tots els arxius instal\267lats.\n"
    "\n"
    "\277Voleu continuar amb el proc\351s de desinstal\267laci\363?";
constexpr char kNoFolderText[] = "No es pot trobar la carpeta d'instal\267laci\363\n\nDesinstal\267laci\363 avortada";

// The installation folder from the "CWD" value, whatever its type. FALSE when the key or the
// value cannot be read, the value does not fit the buffer, or it is empty (an empty folder would
// put the module at the root of the file system).
BOOL ReadInstallationFolder(CString *pstrFolder) {
  HKEY hKey = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, installation::kKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return FALSE;
  char szFolder[installation::kFolderBufferBytes];
  DWORD cbFolder = sizeof szFolder;
  const LSTATUS lQuery = ::RegQueryValueExA(hKey, installation::kFolderValue, nullptr, nullptr,
                                            reinterpret_cast<BYTE *>(szFolder), &cbFolder);
  const LSTATUS lClose = ::RegCloseKey(hKey);
  if (lQuery != ERROR_SUCCESS || lClose != ERROR_SUCCESS) return FALSE;
  // A value stored without its NUL ends where the data ends.
  *pstrFolder = CString(szFolder, static_cast<int>(strnlen(szFolder, cbFolder)));
  return !pstrFolder->IsEmpty();
}

}  // namespace

BOOL CUninstallApp::InitInstance() {
  m_strRecord.Empty();
  ::AfxOleInit();
  // Only Yes goes on: a box that could not be shown (0) is no consent.
  const int nAnswer = ::MessageBoxA(nullptr, kQuestionText, kQuestionCaption, MB_YESNO | MB_ICONQUESTION);
  if (nAnswer != IDYES) {
    m_nExitCode = nAnswer == IDNO ? kUninstallDeclined : kUninstallFailed;
    return FALSE;
  }
  CString strFolder;
  if (!ReadInstallationFolder(&strFolder)) {
    ::MessageBoxA(nullptr, kNoFolderText, nullptr, MB_ICONERROR);
    m_nExitCode = kUninstallFailed;
    return FALSE;
  }
  CUninstallDlg dlg(strFolder);
  m_pMainWnd = &dlg;
  const INT_PTR nResult = dlg.DoModal();
  m_pMainWnd = nullptr;
  m_nExitCode = nResult != -1 && dlg.WaitForSteps() ? kUninstallDone : kUninstallFailed;
  m_strRecord = dlg.GetRecord();
  return FALSE;
}

int CUninstallApp::ExitInstance() { return m_nExitCode; }
