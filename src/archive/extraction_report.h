// How the archive classes fill the calling thread's ExtractionReport while they work.
#pragma once

#include <string>

#include "svregistration/extraction_report.h"

namespace svregistration::archive {

/// Starts an empty report for a new extraction.
void BeginExtractionReport();

/// The archive at `path` could not be read: missing, or not an archive of the kind asked for.
void ReportArchiveUnreadable(const std::string& path);

/// A member was selected for extraction. Until its outcome is reported it counts as not
/// extracted, for `reason` (a reader that never hands it to the writer leaves it so).
void ReportSelected(std::string name, std::string reason);

/// What became of the member last selected; nothing when no member is waiting for its outcome.
void ReportOutcome(bool extracted, std::string reason);

/// A member written earlier in this extraction was taken away again, for `reason`.
void ReportRemoved(std::string name, std::string reason);

}  // namespace svregistration::archive
