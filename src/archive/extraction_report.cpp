// The calling thread's ExtractionReport and how the archive classes fill it.
#include "archive/extraction_report.h"

#include <sys/stat.h>

#include <cerrno>
#include <utility>

namespace svregistration {

namespace {

thread_local ExtractionReport t_report;
/// Whether the last entry of not_extracted is the selected member still waiting for its outcome.
thread_local bool t_outcome_pending = false;

}  // namespace

const ExtractionReport& LastExtractionReport() { return t_report; }

namespace archive {

void BeginExtractionReport() {
  t_report = ExtractionReport{};
  t_outcome_pending = false;
}

void ReportArchiveUnreadable(const std::string& path) {
  struct stat status {};
  const bool missing = ::stat(path.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR);
  t_report.archive =
      missing ? ExtractionReport::Archive::kMissing : ExtractionReport::Archive::kNotReadable;
}

void ReportSelected(std::string name, std::string reason) {
  t_report.not_extracted.push_back({std::move(name), std::move(reason)});
  t_outcome_pending = true;
}

void ReportOutcome(bool extracted, std::string reason) {
  if (!t_outcome_pending) return;
  t_outcome_pending = false;
  if (extracted) {
    t_report.not_extracted.pop_back();
  } else {
    t_report.not_extracted.back().reason = std::move(reason);
  }
}

void ReportRemoved(std::string name, std::string reason) {
  t_outcome_pending = false;
  t_report.not_extracted.push_back({std::move(name), std::move(reason)});
}

}  // namespace archive
}  // namespace svregistration
