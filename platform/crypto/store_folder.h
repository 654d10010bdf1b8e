// store_folder.h - a certificate store's folder: one DER file and one property file per certificate, numbered in order of addition (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/win_types.h"
#include "platform/crypto/cert_properties.h"

namespace certstore {

/*
 * <data root>/certificates/<STORE NAME>/ (folders mode 0700, files 0600) holds, per certificate,
 *   NNNNNNNN.cer    the DER certificate
 *   NNNNNNNN.props  its properties (format in cert_properties.h)
 * where NNNNNNNN is an 8-digit decimal sequence number: a new certificate takes a number above
 * every number in the folder, so ascending numbers are the order of addition; replacing a
 * certificate rewrites its files under the same number. Files are written through temporary files
 * (privfile::kTemporaryPrefix) and renames; every other name is ignored.
 */
constexpr uint32_t kMaxSequence = 99'999'999;
constexpr size_t kMaxCertificateNbytes = 1024 * 1024;

struct FolderEntry {
  uint32_t sequence = 0;
  std::vector<BYTE> der;
  certprops::Properties properties;
};

// The folder of the current user's store `upper_name` (already upper case).
std::string store_folder(const std::string &upper_name);

// The folder's certificates in order. A certificate file that cannot be read is skipped; a
// missing or damaged property file leaves its certificate without properties. *highest_sequence
// receives the highest number any certificate or property file name carries (0 when none). 0 or
// the Windows error code of listing the folder (ERROR_FILE_NOT_FOUND when it does not exist).
DWORD load_folder(const std::string &folder, std::vector<FolderEntry> *entries, uint32_t *highest_sequence);

// Writes a new certificate with empty properties under the lowest free number above *sequence,
// which receives the number used. 0 or a Windows error code.
DWORD add_files(const std::string &folder, const std::vector<BYTE> &der, uint32_t *sequence);

// Rewrites the certificate under `sequence`, with empty properties.
DWORD replace_files(const std::string &folder, uint32_t sequence, const std::vector<BYTE> &der);

DWORD write_properties(const std::string &folder, uint32_t sequence, const certprops::Properties &properties);

// Removes the certificate file, then the property file (a property file alone is ignored).
DWORD remove_files(const std::string &folder, uint32_t sequence);

}  // namespace certstore
