// token_signer.h - the PKCS #11 provider's signatures: the token its key URI names, the PIN, the mechanism (internal).
#pragma once

#include <openssl/evp.h>
#include <openssl/x509.h>

#include <string>
#include <vector>

#include "platform/base/win_types.h"

namespace p11 {

// Signs `data`, hashed here with `md`, with the private key `uri` names (see key_uri.h) on a
// token of the module set in use, loaded when none is: CKM_RSA_PKCS over the DigestInfo for an
// RSA key, CKM_ECDSA over the digest for an EC key, returned as PKCS #7 stores them (PKCS #1 v1.5;
// a DER ECDSA-Sig-Value). A token that wants a login, or a key that wants one for every signature,
// has its PIN asked through platform_ui::ask_passphrase, naming the token, up to three times; the
// PIN serves both logins, so it is asked once per signature. A token with a protected
// authentication path (a PIN pad) is asked nothing. The session logs out before it returns. The signature is checked against `cert`'s
// public key.
//
// 0, NTE_BAD_KEYSET (no such token present: removed, or its source switched off), NTE_NO_KEY (no
// such key on it), HRESULT_ERROR_CANCELLED (the PIN declined), NTE_PERM (three wrong PINs),
// NTE_BAD_KEY_STATE (the PIN is locked or expired), NTE_BAD_KEY (another key, or one that may not
// sign), NTE_BAD_ALGID (the token lacks the mechanism), NTE_NO_MEMORY or NTE_FAIL (another
// failure of the token).
DWORD sign_with_token_key(const std::string &uri, X509 *cert, const EVP_MD *md, const BYTE *data, size_t nbytes,
                          std::vector<BYTE> *signature);

}  // namespace p11
