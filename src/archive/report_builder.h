// The report of one extraction as the extraction fills it in: the operation owns it and hands
// it to whatever writes members, and returns it whole at the end.
#pragma once

#include <string>
#include <utility>

#include "svregistration/extraction_report.h"

namespace svregistration::archive {

class ReportBuilder {
 public:
  /// The archive at `path` could not be read: missing, or not an archive of the kind asked for.
  void ArchiveUnreadable(const std::string& path);
  /// A member was selected for extraction. Until its outcome is reported it counts as not
  /// extracted, for `reason` (a reader that never hands it to the writer leaves it so).
  void Selected(std::string name, std::string reason);
  /// What became of the member last selected; nothing when no member waits for its outcome.
  void Outcome(bool extracted, std::string reason);
  /// The member last selected, if it still waits for its outcome, stays not extracted.
  void EndMember() { pending_ = false; }
  /// Changes the reason of the member last selected while it waits for its outcome.
  void Reason(std::string reason);
  /// A member written earlier in this extraction was taken away again, for `reason`.
  void Removed(std::string name, std::string reason);
  void Result(bool result) { report_.result = result; }
  /// The member headers could not all be read, for `reason`.
  void Unread(std::string reason) { report_.unread_headers = std::move(reason); }

  const ExtractionReport& report() const { return report_; }
  ExtractionReport Take() { return std::move(report_); }

 private:
  ExtractionReport report_;
  /// Whether the last entry of not_extracted is the selected member waiting for its outcome.
  bool pending_ = false;
};

}  // namespace svregistration::archive
