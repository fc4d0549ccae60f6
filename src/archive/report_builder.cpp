// How an extraction fills in its report.
#include "archive/report_builder.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

namespace svregistration::archive {

void ReportBuilder::ArchiveUnreadable(const std::string& path) {
  struct stat status {};
  const bool missing = ::stat(path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
  report_.archive =
      missing ? ExtractionReport::Archive::kMissing : ExtractionReport::Archive::kNotReadable;
}

void ReportBuilder::Selected(std::string name, std::string reason) {
  report_.not_extracted.push_back({std::move(name), std::move(reason)});
  ++report_.selected;
  pending_ = true;
}

void ReportBuilder::Outcome(bool extracted, std::string reason) {
  if (!pending_) return;
  pending_ = false;
  if (extracted) {
    report_.not_extracted.pop_back();
    ++report_.extracted;
  } else {
    report_.not_extracted.back().reason = std::move(reason);
  }
}

void ReportBuilder::Reason(std::string reason) {
  if (pending_) report_.not_extracted.back().reason = std::move(reason);
}

void ReportBuilder::Removed(std::string name, std::string reason) {
  pending_ = false;
  if (report_.extracted > 0) --report_.extracted;
  report_.not_extracted.push_back({std::move(name), std::move(reason)});
}

}  // namespace svregistration::archive
