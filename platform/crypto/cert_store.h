// cert_store.h - certificate stores and contexts (crypt32's store functions): the per-user system stores.
#pragma once

#include "platform/crypto/wincrypt_types.h"

// Store providers, given as small integers in the provider argument.
#define CERT_STORE_PROV_SYSTEM_W ((LPCSTR)10)
#define CERT_STORE_PROV_SYSTEM CERT_STORE_PROV_SYSTEM_W

#define CERT_SYSTEM_STORE_CURRENT_USER 0x00010000
#define CERT_STORE_OPEN_EXISTING_FLAG 0x00004000
#define CERT_STORE_READONLY_FLAG 0x00008000

#define CERT_CLOSE_STORE_FORCE_FLAG 0x00000001
#define CERT_CLOSE_STORE_CHECK_FLAG 0x00000002

// Dispositions of CertAddEncodedCertificateToStore.
#define CERT_STORE_ADD_NEW 1
#define CERT_STORE_ADD_USE_EXISTING 2
#define CERT_STORE_ADD_REPLACE_EXISTING 3
#define CERT_STORE_ADD_ALWAYS 4

// Context properties.
#define CERT_KEY_PROV_INFO_PROP_ID 2
#define CERT_SHA1_HASH_PROP_ID 3
// The platform's own, in the range Windows leaves to others: where a certificate of "MY" comes
// from, as a NUL-terminated UTF-16 string: token "<its label>", or NSS database <its folder>.
// The certificates of the store's own folder do not have it.
#define QUILLORA_SOURCE_PROP_ID 0x8000

#ifdef __cplusplus
extern "C" {
#endif

// Opens the system store named by pvPara (a UTF-16 string such as u"MY", compared without regard
// to case) of the current user: a folder of DER certificates with their properties, under the
// platform's data folder (see platform/base/data_root.h). Certificates are enumerated in the order
// they were added, as the folder holds them at the first enumeration; a damaged file is skipped.
// dwFlags must hold CERT_SYSTEM_STORE_CURRENT_USER and may add CERT_STORE_READONLY_FLAG and
// CERT_STORE_OPEN_EXISTING_FLAG (without it a missing folder is created). What writers killed
// half-way left behind is removed by the next writer, and when a store opened for writing is
// first enumerated while no writer is at work.
// Changes take a lock shared by every process, so two processes adding one certificate with
// CERT_STORE_ADD_NEW add it once. Returns NULL with the last error set on failure
// (ERROR_BAD_ENVIRONMENT or ERROR_DIRECTORY when the data folder is unusable).
//
// "MY" also lists, after the folder's certificates, those of the user's PKCS #11 tokens and NSS
// databases that have their private key there (as platform/crypto/pkcs11/source_settings.h
// chooses), token by token in a fixed order. Their key-provider property names the PKCS #11
// provider (see key_provider.h); they are read without a PIN, and can be neither deleted nor
// given other properties. They are read at the first enumeration, and the tokens' modules stay
// loaded from then while the store is open.
HCERTSTORE CertOpenStore(LPCSTR lpszStoreProvider, DWORD dwEncodingType, HCRYPTPROV_LEGACY hCryptProv,
                         DWORD dwFlags, const void *pvPara);

// Closes the store. With CERT_CLOSE_STORE_FORCE_FLAG every context of the store is released at
// once, whatever its reference count; without it the store lives on until its last context is
// freed. NULL is accepted. Returns TRUE.
BOOL CertCloseStore(HCERTSTORE hCertStore, DWORD dwFlags);

// The certificate after pPrevCertContext (the first one when it is NULL), with a new reference;
// pPrevCertContext is freed, always. At the end returns NULL with CRYPT_E_NOT_FOUND.
PCCERT_CONTEXT CertEnumCertificatesInStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pPrevCertContext);

// Adds a reference to the context and returns it; NULL gives NULL.
PCCERT_CONTEXT CertDuplicateCertificateContext(PCCERT_CONTEXT pCertContext);

// Drops one reference; the last one releases the context. NULL is accepted. Returns TRUE.
BOOL CertFreeCertificateContext(PCCERT_CONTEXT pCertContext);

// A context of its own (hCertStore NULL) for a DER certificate; NULL with CRYPT_E_ASN1_CORRUPT
// (or another CRYPT_E_* code) when the bytes are not one certificate.
PCCERT_CONTEXT CertCreateCertificateContext(DWORD dwCertEncodingType, const BYTE *pbCertEncoded,
                                            DWORD cbCertEncoded);

// Adds a DER certificate to the store and writes it to disk (through a temporary file and a
// rename). An equal certificate (same SHA-1 hash) already present: ADD_NEW fails with
// CRYPT_E_EXISTS, USE_EXISTING returns it, REPLACE_EXISTING replaces it in its place, ALWAYS adds
// another. ppCertContext, when not NULL, receives a new reference to the stored context.
BOOL CertAddEncodedCertificateToStore(HCERTSTORE hCertStore, DWORD dwCertEncodingType,
                                      const BYTE *pbCertEncoded, DWORD cbCertEncoded,
                                      DWORD dwAddDisposition, PCCERT_CONTEXT *ppCertContext);

// The same for a certificate context, whose properties go into the store with it, in one step: a
// process killed meanwhile leaves the store without the certificate or with it and its
// properties, never with one and not the other. ppStoreContext receives the stored context.
BOOL CertAddCertificateContextToStore(HCERTSTORE hCertStore, PCCERT_CONTEXT pCertContext, DWORD dwAddDisposition,
                                      PCCERT_CONTEXT *ppStoreContext);

// Removes the certificate and its properties from its store and from disk, and frees
// pCertContext (even on failure). The key its key-provider property names is not touched. A
// token's certificate fails with ERROR_ACCESS_DENIED.
BOOL CertDeleteCertificateFromStore(PCCERT_CONTEXT pCertContext);

// Reads a property. CERT_KEY_PROV_INFO_PROP_ID gives a CRYPT_KEY_PROV_INFO whose strings lie in
// the same buffer; CERT_SHA1_HASH_PROP_ID the 20-byte hash of the DER. With pvData NULL only
// *pcbData is set; a buffer too small fails with ERROR_MORE_DATA and the size in *pcbData; a
// property the certificate does not have fails with CRYPT_E_NOT_FOUND.
BOOL CertGetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, void *pvData,
                                       DWORD *pcbData);

// Sets (pvData a CRYPT_KEY_PROV_INFO) or, with pvData NULL, removes CERT_KEY_PROV_INFO_PROP_ID,
// on disk too when the context belongs to a store. Other properties fail with E_INVALIDARG, a
// token's certificate with ERROR_ACCESS_DENIED.
BOOL CertSetCertificateContextProperty(PCCERT_CONTEXT pCertContext, DWORD dwPropId, DWORD dwFlags,
                                       const void *pvData);

// The first extension with the OID, or NULL (the last error is then CRYPT_E_NOT_FOUND).
PCERT_EXTENSION CertFindExtension(LPCSTR pszObjId, DWORD cExtensions, CERT_EXTENSION rgExtensions[]);

#ifdef __cplusplus
}
#endif
