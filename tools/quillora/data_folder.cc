// data_folder.cc - stops a command early, with what to do, when the data folder cannot be used.
#include "tools/quillora/data_folder.h"

#include "tools/control_host/data_problems.h"
#include "tools/quillora/messages.h"

namespace quillora {

bool data_folder_usable() {
  const std::string problem = host::data_folder_problem();
  if (!problem.empty()) report(problem);
  return problem.empty();
}

}  // namespace quillora
