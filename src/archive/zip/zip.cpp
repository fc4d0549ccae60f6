// ZIP: extracts members of a zip archive into a folder through a ZipExtraction.
#include "svregistration/zip.h"

#include "archive/interface_prompt.h"
#include "archive/zip/zip_extraction.h"

namespace svregistration {

bool ZIP::Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                  const std::string& ExtractWhat) {
  archive::InterfacePrompt prompt(*interface_);
  archive::ZipExtraction extraction(ArchiveFile, OutputPath, ExtractWhat, prompt);
  return archive::RunAsZipExtract(extraction, *interface_);
}

ExtractionReport ZIP::Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                              const std::string& ExtractWhat, PasswordPrompt& prompt) {
  return archive::ZipExtraction(ArchiveFile, OutputPath, ExtractWhat, prompt).Run();
}

}  // namespace svregistration
