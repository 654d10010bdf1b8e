// store_folder.h - a certificate store's folder: per certificate a DER file, its properties and a thumbprint mark, numbered in order of addition, and the lock its writers hold (internal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/win_types.h"
#include "platform/crypto/cert_properties.h"
#include "platform/files/private_file.h"

namespace certstore {

/*
 * <data root>/certificates/<STORE NAME>/ (folders mode 0700, files 0600) holds, per certificate,
 *   NNNNNNNN.cer           the DER certificate
 *   NNNNNNNN.props         its properties (format in cert_properties.h); absent when it has none
 *   NNNNNNNN.<SHA1>.sha1   empty; SHA1 is the certificate's thumbprint in 40 uppercase hex digits,
 *                          so that one listing of the names finds an equal certificate
 * where NNNNNNNN is an 8-digit decimal sequence number: a new certificate takes a number above
 * every number in the folder, so ascending numbers are the order of addition; replacing a
 * certificate rewrites its files under the same number. Every other name is ignored by readers;
 * writers also keep an index of the numbers and thumbprints (store_index.h).
 *
 * Writers hold the folder's lock (privfile::kFolderLockName) and write through temporary files
 * and renames. The certificate file is what makes an entry: an addition writes the properties and
 * the mark first and the certificate last; a removal unlinks the certificate first. So a writer
 * killed at any point leaves the entry as it was or as it was meant to be, plus leftovers that
 * readers ignore (temporary files, and properties or marks whose certificate is not there), which
 * the next writer to find the folder idle removes.
 */
constexpr uint32_t kMaxSequence = 99'999'999;
constexpr size_t kMaxCertificateNbytes = 1024 * 1024;
constexpr size_t kThumbprintDigits = 40;
constexpr size_t kNumberDigits = 8;  // of NNNNNNNN
constexpr unsigned kStoreFileMode = 0600;  // every file of the folder is the user's alone

// The names of a folder, sorted out without reading a file.
struct Listing {
  std::vector<uint32_t> certificates;                // ascending
  std::multimap<std::string, uint32_t> marks;         // thumbprint -> numbers of certificates carrying it
  std::vector<uint32_t> unmarked;                     // certificates without a mark, ascending
  uint32_t highest_sequence = 0;                      // the highest number any name carries (0: none)
  std::vector<std::string> leftovers;                 // temporary files, properties and marks without certificate
};

struct FolderEntry {
  uint32_t sequence = 0;
  std::vector<BYTE> der;
  certprops::Properties properties;
  bool properties_damaged = false;  // a property file that is there but cannot be read
};

// The folder of the current user's store `upper_name` (already upper case). 0 or the error of
// finding the data folder.
DWORD store_folder(const std::string &upper_name, std::string *folder);

// A sequence number as the names carry it (eight decimal digits), and back; nothing when the
// text is not exactly eight digits.
std::string number_text(uint32_t sequence);
std::optional<uint32_t> number_of(std::string_view digits);

// The path of the folder's lock file, and of an entry's certificate and property files.
std::string lock_path(const std::string &folder);
std::string certificate_path(const std::string &folder, uint32_t sequence);
std::string properties_path(const std::string &folder, uint32_t sequence);

// 0 or the Windows error code of listing the folder (ERROR_FILE_NOT_FOUND when it does not exist).
DWORD list_folder(const std::string &folder, Listing *listing);

// Reads the certificate and its properties; a missing property file means none. 0, or the error
// of reading the certificate file (ERROR_READ_FAULT for one larger than kMaxCertificateNbytes).
DWORD read_entry(const std::string &folder, uint32_t sequence, FolderEntry *entry);

// Reads the certificate file alone.
DWORD read_certificate(const std::string &folder, uint32_t sequence, std::vector<BYTE> *der);

// Writes an entry: properties (or none), mark, then the certificate, which kNew links to a free
// name (ERROR_FILE_EXISTS when the number is taken) and kReplace renames over the old one.
DWORD write_entry(const std::string &folder, uint32_t sequence, const std::string &thumbprint,
                  const std::vector<BYTE> &der, const certprops::Properties &properties,
                  privfile::Placement placement);

// Marks an existing certificate (one written before marks were kept) with its thumbprint.
DWORD write_mark(const std::string &folder, uint32_t sequence, const std::string &thumbprint);

// Replaces the properties of the entry; empty properties remove the file.
DWORD write_properties(const std::string &folder, uint32_t sequence, const certprops::Properties &properties);

// Unlinks the certificate, then the mark and the properties.
DWORD remove_entry(const std::string &folder, uint32_t sequence, const std::string &thumbprint);

// Removes the listing's leftovers. The caller holds the folder's lock.
void remove_leftovers(const std::string &folder, const Listing &listing);

// The thumbprint of DER bytes in 40 uppercase hex digits.
std::string thumbprint_of(const BYTE *der, size_t der_nbytes);
std::string thumbprint_text(const BYTE *sha1);

}  // namespace certstore
