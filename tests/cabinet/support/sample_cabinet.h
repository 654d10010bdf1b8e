// sample_cabinet.h - the contents of the build's sample cabinet, so that tests can check what they extract.
#ifndef TESTS_CABINET_SUPPORT_SAMPLE_CABINET_H
#define TESTS_CABINET_SUPPORT_SAMPLE_CABINET_H

#include <vector>

#include "tests/cabinet/support/cab_writer.h"

namespace cabtest {

// Two folders, the first MSZIP and the second stored, with six files between them: text, a CSV
// table, pseudo-random binary, one name in a subfolder ("docs\\guide.txt") and one read-only file.
// The same on every call and every machine.
std::vector<Folder> sample_folders();

}  // namespace cabtest

#endif  // TESTS_CABINET_SUPPORT_SAMPLE_CABINET_H
