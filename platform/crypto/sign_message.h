// sign_message.h - CryptSignMessage: PKCS #7 signed data over OpenSSL, with the signer's key from its key provider.
#pragma once

#include "platform/crypto/wincrypt_types.h"

#ifdef __cplusplus
extern "C" {
#endif

// Signs the concatenated pieces with pSignPara->pSigningCert's private key, found through the
// certificate's key-provider property (the provider may ask for a passphrase or a token's PIN). The result is a DER
// ContentInfo of signedData version 1: the hash algorithm with NULL parameters, the content
// detached when fDetachedSignature, exactly rgpMsgCert as certificates, no CRLs, one signer
// identified by issuer and serial, the authenticated attributes given plus contentType and
// messageDigest (none at all when cAuthAttr is 0), in DER set order, and the key's own algorithm
// as the signature algorithm. cbSize must cover the fields up to dwInnerContentType.
//
// With pbSignedBlob NULL only *pcbSignedBlob is set, to a size at least that of the signature,
// without touching the private key. Failures: CRYPT_E_NO_KEY_PROPERTY (no key-provider property),
// NTE_BAD_KEYSET (no such key, or its token is gone), HRESULT_ERROR_CANCELLED (the user declined
// the passphrase or PIN), NTE_PERM (wrong passphrase or PIN three times), NTE_BAD_KEY_STATE (the
// token's PIN is locked), NTE_NO_KEY (the token lacks the key), NTE_BAD_KEY (the key does not
// match the certificate), CRYPT_E_UNKNOWN_ALGO (a hash other than SHA-1 or the SHA-2 family),
// E_INVALIDARG (a bad structure), ERROR_MORE_DATA (a buffer too small; the size in
// *pcbSignedBlob).
BOOL CryptSignMessage(PCRYPT_SIGN_MESSAGE_PARA pSignPara, BOOL fDetachedSignature, DWORD cToBeSigned,
                      const BYTE *rgpbToBeSigned[], DWORD rgcbToBeSigned[], BYTE *pbSignedBlob,
                      DWORD *pcbSignedBlob);

#ifdef __cplusplus
}
#endif
