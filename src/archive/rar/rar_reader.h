// One RAR archive as the extraction walks it: its members in order, and each member decoded and
// written. RAR 1.5 to 4 decode with libunarr and RAR 5 with libarchive, behind this interface;
// the library reads the headers and decrypts itself, and hands each decoder an archive in clear.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive/rar/rar_clear_source.h"
#include "archive/rar/rar_volumes.h"
#include "archive/report_builder.h"
#include "archive/safe_extractor.h"

namespace svregistration::archive {

class RarReader {
 public:
  virtual ~RarReader() = default;

  /// True when no member can be listed before the password is given.
  virtual bool HeadersEncrypted() const = 0;
  /// Reads the member list with the password (needed when the headers are encrypted).
  virtual void ReadMembers(const std::string& password) = 0;
  virtual const std::vector<RarMemberInfo>& Members() const = 0;
  /// Why the member walk stopped before the end of the archive; empty when it reached it.
  virtual const std::string& Unread() const = 0;
  /// Extracts member `index` through `extractor` (members are extracted in archive order; those
  /// between are skipped). A member that cannot be handed over has its reason put in `report`.
  virtual void Extract(std::size_t index, const std::string& password, SafeExtractor& extractor,
                       ReportBuilder& report) = 0;
};

/// The reader of the archive (or volume set) `volumes`; nullptr when it is no RAR archive.
/// Raises Error when libarchive cannot read RAR 5.
std::unique_ptr<RarReader> OpenRarReader(RarVolumeSet volumes);

/// The readers behind OpenRarReader.
std::unique_ptr<RarReader> OpenRar4Reader(RarVolumeSet& volumes);
std::unique_ptr<RarReader> OpenRar5StreamReader(RarVolumeSet& volumes);
std::unique_ptr<RarReader> OpenRar5SetReader(RarVolumeSet& volumes);

}  // namespace svregistration::archive
