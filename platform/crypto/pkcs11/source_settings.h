// source_settings.h - which sources the personal store ("MY") gathers besides its own folder: the setting in the data root, and the NSS databases found.
#pragma once

#include <string>
#include <vector>

#include "platform/base/win_types.h"

namespace p11 {

/*
 * <data root>/certificate-sources, a text file of "key = value" lines; lines starting with '#'
 * and lines this version does not understand are ignored, and a missing file means the defaults:
 *
 *   tokens = on | off    the PKCS #11 tokens of the modules p11-kit registers (default on)
 *   nss = on | off       the NSS databases (default on)
 *   module = PATH        one more PKCS #11 module, loaded besides p11-kit's (default none)
 */
struct SourceSettings {
  bool tokens = true;
  bool nss = true;
  std::string module;

  bool operator==(const SourceSettings &) const = default;
};

std::string settings_path();

SourceSettings read_settings();

// Writes the file crash-safely (see privfile::write_file). 0 or a Windows error code.
DWORD write_settings(const SourceSettings &settings);

// Switches every source but the store's folder off for this process, whatever the file says, or
// back to what it says.
void set_tokens_off_in_process(bool off);

// The settings that hold now: the file's, or every source off when this process said so.
SourceSettings effective_settings();

struct NssDatabase {
  std::string folder;
  std::string config_dir;  // as NSS names it: "sql:<folder>", or "dbm:<folder>" for the older format
};

// The NSS databases that exist, in order: ~/.pki/nssdb, then $XDG_DATA_HOME/pki/nssdb
// (~/.local/share/pki/nssdb when that is unset), each folder once.
std::vector<NssDatabase> nss_databases();

}  // namespace p11
