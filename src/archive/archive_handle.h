// The owner of a libarchive reader, freed when its owner goes, and the error text a handle holds
// after a failed call.
#pragma once

#include <archive.h>

#include <memory>
#include <string>

namespace svregistration::archive {

/// Error numbers raised when the archive library cannot be set up at all.
inline constexpr int kOutOfMemory = 7;
/// A format or function the archive library lacks ("cannot find the library entry point").
inline constexpr int kLibraryFunctionMissing = 453;

struct ReadHandleDeleter {
  void operator()(::archive* handle) const noexcept { archive_read_free(handle); }
};

using ReadHandle = std::unique_ptr<::archive, ReadHandleDeleter>;

/// A new archive reader. Raises Error (7) when libarchive cannot allocate one.
ReadHandle NewReader();

/// The text of the handle's last error, or "unknown error" when it has none.
std::string ErrorText(::archive* handle);

}  // namespace svregistration::archive
