// ZIP: extracts members of a zip archive into a folder through a ZipExtraction.
#include "svregistration/zip.h"

#include <new>
#include <string>

#include "archive/interface_prompt.h"
#include "archive/zip/zip_extraction.h"
#include "svregistration/error.h"
#include "svregistration/user_interface.h"

namespace svregistration {

bool ZIP::Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                  const std::string& ExtractWhat) {
  // Only an extraction that cannot run at all is reported, with a message box; a missing
  // archive, a failed member or a refused password leave no sign but the files not there.
  archive::InterfacePrompt prompt;
  std::string failure;
  try {
    archive::ZipExtraction(ArchiveFile, OutputPath, ExtractWhat, prompt).Run();
  } catch (const Error& error) {
    failure = error.description() + "\r\n" + std::to_string(error.number());
  } catch (const std::bad_alloc&) {
    failure = "Out of memory\r\n" + std::to_string(archive::kOutOfMemory);
  }
  if (!failure.empty()) {
    CurrentUserInterface().ShowMessage(std::string(archive::kDialogTitle), failure);
  }
  return true;
}

ExtractionReport ZIP::Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                              const std::string& ExtractWhat, PasswordPrompt& prompt) {
  return archive::ZipExtraction(ArchiveFile, OutputPath, ExtractWhat, prompt).Run();
}

}  // namespace svregistration
