// RAR: extracts members of a RAR archive into a folder through a RarExtraction.
#include "svregistration/rar.h"

#include "archive/interface_prompt.h"
#include "archive/rar/rar_extraction.h"

namespace svregistration {

bool RAR::Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                  const std::string& ExtractWhat) {
  archive::InterfacePrompt prompt(*interface_);
  return Extract(ArchiveFile, OutputPath, ExtractWhat, prompt).result;
}

ExtractionReport RAR::Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                              const std::string& ExtractWhat, PasswordPrompt& prompt) {
  return archive::RarExtraction(ArchiveFile, OutputPath, ExtractWhat, prompt).Run();
}

}  // namespace svregistration
