// store_check.h - what the store functions skip over in a store's folder and the key folder (damaged files, keys no certificate names), and its repair (internal; for `quillora certs check`).
#pragma once

#include <string>
#include <vector>

#include "platform/base/win_types.h"

namespace certstore {

struct Finding {
  enum class Kind {
    kDamagedCertificate,  // a certificate file that cannot be read as one certificate: the entry is skipped
    kDamagedProperties,   // a property file that cannot be read: its certificate lost its key-provider property
    kOrphanedKey,         // a key container that no certificate of any store names
  };
  Kind kind;
  std::string path;  // the file concerned
};

// Looks through the current user's store `upper_name` and the software key provider's folder,
// holding both folders' locks so that no writer is half-way meanwhile. With `repair`, removes
// what it found: a damaged certificate's files, a damaged property file (its certificate stays,
// without properties), an orphaned key; the property files of every store are read first, so no
// key that some certificate names is taken. 0, or the Windows error code of reaching the folders
// (*findings then holds what was found before).
DWORD check_store(const std::string &upper_name, bool repair, std::vector<Finding> *findings);

}  // namespace certstore
