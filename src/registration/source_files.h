// Whole-file reading and writing of sources, as the copy, refresh and EBCDIC conversion use them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace svregistration::registration {

/// The file's bytes; raises file not found (53) naming the path when there is no file.
std::vector<std::uint8_t> ReadExistingFileBytes(const std::string& path);

/// Replaces the file with the bytes (through a temporary file renamed over it). False on any
/// failure, with nothing reported; a read-only target is not replaced.
bool WriteBytesFile(const std::vector<std::uint8_t>& bytes, const std::string& path);

}  // namespace svregistration::registration
