// crypto_error.cc - SetCryptoError: the Catalan text of a cryptographic failure, from the system's catalogue or the platform's own text.
#include "control/crypto/crypto_manager.h"

#include "platform/errors/format_message.h"

namespace {

struct CryptoMessage {
  DWORD dwCode;
  const char *pszMessage;  // Windows-1252 bytes
};

// Searched from the first row; the row with code 0 ends the table.
const CryptoMessage g_cryptoMessages[] = {
#include "control/crypto/crypto_messages.inc"
    {0, nullptr},
};

const char g_szGeneralLine[] = "S'ha produ\357t un error accedint a les funcions criptogr\340fiques.";
const char g_szCodeLineFormat[] = "\nC\363digo de error: 0x%08X";
const char g_szMessageLabel[] = "\nMensaje:\n";

const char *FindCryptoMessage(DWORD dwCode) {
  for (const CryptoMessage *pRow = g_cryptoMessages; pRow->dwCode != 0; ++pRow) {
    if (pRow->dwCode == dwCode) return pRow->pszMessage;
  }
  return nullptr;
}

}  // namespace

void CCryptoManager::SetCryptoError(DWORD dwError) {
  m_strError = g_szGeneralLine;
  if (dwError == 0) return;

  CString strCode;
  strCode.Format(g_szCodeLineFormat, dwError);
  m_strError += strCode;

  if (const char *pszMessage = FindCryptoMessage(dwError)) {
    m_strError += g_szMessageLabel;
    m_strError += pszMessage;
    return;
  }
  LPSTR pszSystemText = nullptr;
  const DWORD cchText = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, dwError,
                                       LANG_USER_DEFAULT, reinterpret_cast<LPSTR>(&pszSystemText), 0, nullptr);
  if (cchText != 0) {
    m_strError += g_szMessageLabel;
    m_strError += pszSystemText;
    LocalFree(pszSystemText);
  }
}
