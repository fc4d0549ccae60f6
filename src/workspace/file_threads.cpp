// How many threads work on files beside the caller's own.
#include "workspace/file_threads.h"

#include <algorithm>
#include <thread>

namespace svregistration::workspace {

unsigned HelperThreadsForFiles() {
  const unsigned cores = std::thread::hardware_concurrency();
  return std::clamp(cores > 1 ? cores - 1 : 1u, 1u, 4u);
}

}  // namespace svregistration::workspace
