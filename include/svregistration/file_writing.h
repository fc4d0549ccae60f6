// Replacing a file safely, as the library does with registered copies and code page tables, for
// hosts that store files of their own (options documents, say).
#pragma once

#include <string>
#include <string_view>

#include "svregistration/export.h"

namespace svregistration {

/// Writes `bytes` to a new file beside `path` and moves it into place when whole, so that a
/// failure (a full disk, a kill) leaves the old file. The replaced file's mode is kept, a link at
/// `path` stays a link and its target is replaced, and a folder that refuses new files while the
/// file itself is writable gets the file written in place. Raises Error naming the path.
SVREG_API void WriteFileWhole(const std::string& path, std::string_view bytes);

}  // namespace svregistration
