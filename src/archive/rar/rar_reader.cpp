// Which reader an archive gets: RAR 1.5 to 4 go to libunarr, a single RAR 5 volume to libarchive
// through our own header reader, and a RAR 5 volume set to libarchive as a list of files.
#include "archive/rar/rar_reader.h"

#include "archive/rar/rar5_blocks.h"
#include "archive/rar/rar_bytes.h"

namespace svregistration::archive {

std::unique_ptr<RarReader> OpenRarReader(RarVolumeSet volumes) {
  if (volumes.files.empty()) return nullptr;
  if (std::unique_ptr<RarReader> reader = OpenRar4Reader(volumes)) return reader;
  if (volumes.files.size() > 1) {
    const auto signature = ReadAt(volumes.files[0].get(), 0, rar5::kSignature.size());
    if (!signature || *signature != rar5::kSignature) return nullptr;
    return OpenRar5SetReader(volumes);
  }
  if (std::unique_ptr<RarReader> reader = OpenRar5StreamReader(volumes)) return reader;
  // A RAR 5 volume on its own (the rest of its set missing) is a set of one.
  const auto signature = ReadAt(volumes.files[0].get(), 0, rar5::kSignature.size());
  if (!signature || *signature != rar5::kSignature) return nullptr;
  return OpenRar5SetReader(volumes);
}

}  // namespace svregistration::archive
