// crypto_error_test.cc - the composed text of a crypto failure: code 0, catalogue rows with their exact Windows-1252 bytes, system texts, unknown codes, replacement.
#include <gtest/gtest.h>

#include <string>

#include "control/crypto/crypto_manager.h"

namespace {

const std::string kGeneral = "S'ha produ\357t un error accedint a les funcions criptogr\340fiques.";

struct ErrorTextCase {
  DWORD code;
  std::string text;
};

TEST(CryptoErrorTest, ComposesGeneralLineCodeAndMessage) {
  const ErrorTextCase cases[] = {
      {0, kGeneral},
      {0x80092004, kGeneral + "\nC\363digo de error: 0x80092004\nMensaje:\nNo s'ha trobat l'objecte o la propietat"},
      {0x80090001, kGeneral + "\nC\363digo de error: 0x80090001\nMensaje:\nUID incorrecte."},
      {0x80090021, kGeneral + "\nC\363digo de error: 0x80090021\nMensaje:\n S'ha produ\357t un error de base."},
      {0x80090007, kGeneral + "\nC\363digo de error: 0x80090007\nMensaje:\nProve\357dor de versi\363 incorrecte."},
      {0x800B010C,
       kGeneral + "\nC\363digo de error: 0x800B010C\nMensaje:\nEl certificat ha estat revocat expressament pel seu emissor."},
      {0x800B0007, kGeneral + "\nC\363digo de error: 0x800B0007\nMensaje:\nLlegint/escrivint extensions on els "
                              "atributs s\363n apropiats i viceversa."},
      // Codes outside the catalogue take the system's own text, with its line break.
      {0x80092023, kGeneral + "\nC\363digo de error: 0x80092023\nMensaje:\nThe string contains an invalid X500 name "
                              "attribute key, oid, value or delimiter.\r\n"},
      {0x80070005, kGeneral + "\nC\363digo de error: 0x80070005\nMensaje:\nAccess is denied.\r\n"},
      {5, kGeneral + "\nC\363digo de error: 0x00000005\nMensaje:\nAccess is denied.\r\n"},
      {0x800704C7, kGeneral + "\nC\363digo de error: 0x800704C7\nMensaje:\nThe operation was canceled by the user.\r\n"},
      // Known to nobody: the code line ends the text.
      {0x12345678, kGeneral + "\nC\363digo de error: 0x12345678"},
      {0x8009FFFF, kGeneral + "\nC\363digo de error: 0x8009FFFF"},
  };
  for (const ErrorTextCase &c : cases) {
    SCOPED_TRACE(c.code);
    CCryptoManager manager;
    manager.SetCryptoError(c.code);
    EXPECT_EQ(std::string(manager.m_strError.GetString()), c.text);
  }
}

TEST(CryptoErrorTest, EveryCatalogueCodeHasAMessageOfItsOwn) {
  // The catalogue's code ranges: every code there gives "Mensaje:" and a Catalan message, never a
  // system text (which would end in CR LF).
  const DWORD ranges[][2] = {{0x80090001, 0x80090021}, {0x80091001, 0x8009100F}, {0x80092001, 0x80092013},
                             {0x80092020, 0x80092022}, {0x800B0001, 0x800B000B}, {0x800B0100, 0x800B010C}};
  int rows = 0;
  for (const auto &range : ranges) {
    for (DWORD code = range[0]; code <= range[1]; ++code) {
      SCOPED_TRACE(code);
      CCryptoManager manager;
      manager.SetCryptoError(code);
      const std::string text = manager.m_strError.GetString();
      const size_t label = text.find("\nMensaje:\n");
      ASSERT_NE(label, std::string::npos);
      EXPECT_GT(text.size(), label + 10);
      EXPECT_NE(text.back(), '\n');
      ++rows;
    }
  }
  EXPECT_EQ(rows, 94);
}

TEST(CryptoErrorTest, SecondFailureReplacesTheFirst) {
  CCryptoManager manager;
  manager.SetCryptoError(0x80092004);
  manager.SetCryptoError(0);
  EXPECT_EQ(std::string(manager.m_strError.GetString()), kGeneral);
}

}  // namespace
