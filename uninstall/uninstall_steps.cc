// uninstall_steps.cc - the worker's steps: the control's unregistration, its registry keys, its module file, the browsers' manifests, and the error texts of the log.
#include "platform/errors/format_message.h"
#include "platform/files/file_api.h"
#include "platform/modules/modules.h"
#include "platform/files/win_path.h"
#include "platform/registry/registry.h"
#include "tools/bridge/host_manifests.h"
#include "uninstall/installation.h"
#include "uninstall/uninstall_dlg.h"

CString g_strErrorText;

namespace {

// Windows-1252: \267 is the middle dot of "l·l", \363 o acute.
constexpr char kUnregistered[] = "Desinstal\267lat";
constexpr char kRegistryEntry[] = "Informaci\363 del registre";
constexpr char kKeyDeleted[] = "Esborrada";
constexpr char kFileDeleted[] = "Esborrat";
constexpr char kError[] = "Error";
constexpr char kFileNotDeleted[] = "Error esborrant l'arxiu:";
constexpr char kEntryEnd[] = "\r\n\r\n";

typedef HRESULT (*DllUnregisterServerFn)();

// Deletes the file; on failure leaves the reason in g_strErrorText.
BOOL DeleteInstalledFile(const CString &strPath) {
  if (::DeleteFileA(strPath)) return TRUE;
  FormatErrorText(::GetLastError(), kFileNotDeleted, strPath);
  return FALSE;
}

}  // namespace

void FormatErrorText(DWORD dwCode, LPCSTR pszPrefix, LPCSTR pszDetail) {
  g_strErrorText = pszPrefix != nullptr ? pszPrefix : "";
  if (pszDetail != nullptr) {
    g_strErrorText += "\r\n\r\n";
    g_strErrorText += pszDetail;
  }
  if (dwCode == 0) return;
  LPSTR pszSystemText = nullptr;
  if (::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwCode, LANG_USER_DEFAULT,
                       reinterpret_cast<LPSTR>(&pszSystemText), 0, nullptr) != 0 &&
      pszSystemText != nullptr) {
    g_strErrorText += "\r\n\r\n";
    g_strErrorText += pszSystemText;
  }
  ::LocalFree(pszSystemText);
}

BOOL CUninstallDlg::UnregisterControl() {
  const CString strPath = m_strFolder + "\\" + installation::kModuleName;
  m_strLog += "* ";
  m_strLog += installation::kModuleName;
  m_strLog += " ";
  const HMODULE hModule = ::LoadLibraryExA(strPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const BOOL bLoaded = reinterpret_cast<uintptr_t>(hModule) >= 32;  // below 32 is a loader's error code
  BOOL bResult = FALSE;
  if (bLoaded) {
    const auto pfnUnregister = reinterpret_cast<DllUnregisterServerFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(hModule, "DllUnregisterServer")));
    bResult = pfnUnregister != nullptr && SUCCEEDED(pfnUnregister());
  }
  if (bResult) {
    m_strLog += kUnregistered;
  } else {
    FormatErrorText(::GetLastError(), "", nullptr);
    m_strLog += kError;
    m_strLog += g_strErrorText;
  }
  if (bLoaded) ::FreeLibrary(hModule);
  m_strLog += kEntryEnd;
  ShowLog();

  m_strLog += "* ";
  m_strLog += kRegistryEntry;
  m_strLog += " ";
  const LSTATUS lDeleted = ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, installation::kKey);
  if (lDeleted == ERROR_SUCCESS) {
    m_strLog += kKeyDeleted;
  } else {
    FormatErrorText(static_cast<DWORD>(lDeleted), "", nullptr);
    m_strLog += kError;
    m_strLog += g_strErrorText;
    bResult = FALSE;
  }
  m_strLog += kEntryEnd;
  ShowLog();

  // The uninstall entry goes too; whether it was there changes nothing.
  ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, installation::kUninstallEntryKey);
  return bResult;
}

BOOL CUninstallDlg::DeleteControlFile() {
  const CString strPath = m_strFolder + "\\" + installation::kModuleName;
  m_strLog += "* ";
  m_strLog += strPath;
  m_strLog += " ";
  const BOOL bDeleted = DeleteInstalledFile(strPath);
  if (bDeleted) {
    m_strLog += kFileDeleted;
  } else {
    m_strLog += kError;
    m_strLog += "\r\n";
    m_strLog += g_strErrorText;
  }
  m_strLog += kEntryEnd;
  ShowLog();
  return bDeleted;
}

void CUninstallDlg::RemoveBrowserManifests() {
  const CString strBridge = m_strFolder + "\\" + installation::kBridgeName;
  bridge::remove_host_manifests_naming(platform::posix_path(strBridge));
}
