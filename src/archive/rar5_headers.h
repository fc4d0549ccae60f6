// What the file headers of a RAR 5 archive say about encryption. libarchive reads RAR 5 member
// headers but does not tell which members are encrypted, so this small reader walks the headers
// itself. The format is public: after an 8-byte signature, blocks of a CRC-32, a header size, a
// type and flags (all but the CRC variable-length integers), the header's own fields, an optional
// extra area at its end, and an optional data area after it.
#pragma once

#include <string>
#include <vector>

namespace svregistration::archive {

struct Rar5FileHeader {
  std::string name;  ///< the stored name (UTF-8, "/" between folders)
  bool encrypted = false;
};

/// The file headers of the RAR 5 archive spread over `volumes` (one path for a single archive),
/// in order, leaving out headers that continue a member from an earlier volume. The walk stops at
/// the end of the archive, at an archive encryption header (names are encrypted too), and at the
/// first header it cannot read, returning what came before. A file that is not a RAR 5 archive
/// (RAR 4 included) gives an empty list.
std::vector<Rar5FileHeader> ReadRar5FileHeaders(const std::vector<std::string>& volumes);

}  // namespace svregistration::archive
