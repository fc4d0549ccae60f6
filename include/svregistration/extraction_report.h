// What became of the last archive extraction on the calling thread: ZIP.Extract and RAR.Extract
// answer only true or false, so a caller that wants to tell its user more (which archive could
// not be read, which members were not written and why) reads it here afterwards.
#pragma once

#include <string>
#include <vector>

#include "svregistration/export.h"

namespace svregistration {

struct SVREG_API ExtractionReport {
  enum class Archive {
    kRead,         ///< the archive was opened and its members walked
    kMissing,      ///< no file of that name
    kNotReadable,  ///< a file, but not an archive of the kind asked for (or damaged from its start)
  };
  struct Member {
    std::string name;
    std::string reason;
  };

  Archive archive = Archive::kRead;
  /// Members that were selected for extraction and are not on disk, in archive order.
  std::vector<Member> not_extracted;
};

/// The report of the calling thread's last ZIP.Extract or RAR.Extract (empty before the first).
SVREG_API const ExtractionReport& LastExtractionReport();

}  // namespace svregistration
