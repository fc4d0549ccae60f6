// RAR: extracts members of a RAR archive into a folder through RarGlobals.
#include "svregistration/rar.h"

#include "archive/extraction_report.h"
#include "archive/rar_globals.h"

namespace svregistration {

bool RAR::Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                  const std::string& ExtractWhat) {
  archive::BeginExtractionReport();
  return archive::RarExtract(ArchiveFile, OutputPath, ExtractWhat);
}

}  // namespace svregistration
