// commands.h - the three commands; each returns the exit code and has reported any failure.
#pragma once

#include "tools/bundlex/options.h"

namespace bundlex {

// x: makes the folders the stored names need under the destination, then extracts.
int extract_command(const options &opts);
// l: prints one line per file entry, between a header and a summary.
int list_command(const options &opts);
// t: decodes every file that x would extract, writes nothing, prints a summary.
int test_command(const options &opts);

}  // namespace bundlex
