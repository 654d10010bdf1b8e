// certs_actions.h - the work of each `quillora certs` command; each returns the exit code, having reported any failure.
#pragma once

#include "tools/quillora/certs/certs_options.h"

namespace certs {

// Decrypts the PKCS #12 file and installs its certificate with its key under the passphrase chosen.
int import_command(const ImportOptions &options);
// Prints the store as a table, or says that it is empty.
int list_command(const ListOptions &options);
// Removes one certificate and its key container.
int remove_command(const RemoveOptions &options);
// Makes a test certificate, writes it out when asked, and installs it.
int new_command(const NewOptions &options);
// Lists damaged entries and orphaned keys, and with `repair` removes them.
int check_command(bool repair);
// Changes the certificate-sources setting as asked, then shows it.
int sources_command(const SourcesOptions &options);

}  // namespace certs
