// Whole-file reading and writing of sources.
#include "registration/source_files.h"

#include "os/file_reader.h"
#include "os/file_system.h"
#include "svregistration/error.h"

namespace svregistration::registration {

// A normalised copy or read of a missing file is an error rather than an empty copy: an empty
// registered source would hide the mistake.
std::vector<std::uint8_t> ReadExistingFileBytes(const std::string& path) {
  auto bytes = os::ReadWholeFile(path);
  if (!bytes) {
    throw Error(error_number::kFileNotFound, "SVRegistration", "File not found: '" + path + "'");
  }
  return std::move(*bytes);
}

bool WriteBytesFile(const std::vector<std::uint8_t>& bytes, const std::string& path) {
  try {
    os::WriteWholeFile(path, bytes.data(), bytes.size());
    return true;
  } catch (const Error&) {
    return false;  // the writer reports success only; callers raise their own error
  }
}

}  // namespace svregistration::registration
