// How many threads work on files beside the caller's own.
#pragma once

namespace svregistration::workspace {

/// One less than there are cores, at least one, at most four: reading, comparing and writing
/// files is mostly the kernel's work, and a second core about halves it.
unsigned HelperThreadsForFiles();

}  // namespace svregistration::workspace
