// ZIP: extracts members of a zip archive into a folder through the unzip library that
// ZipGlobals drives.
#include "svregistration/zip.h"

#include <new>
#include <string>

#include "archive/archive_handle.h"
#include "archive/extraction_report.h"
#include "archive/zip_globals.h"
#include "svregistration/error.h"
#include "svregistration/user_interface.h"

namespace svregistration {

bool ZIP::Extract(const std::string& ArchiveFile, const std::string& OutputPath,
                  const std::string& ExtractWhat) {
  archive::ResetZipGlobals(ArchiveFile, OutputPath);
  archive::BeginExtractionReport();
  if (!ExtractWhat.empty()) {
    // The library takes forward slashes; the name may come with backslashes.
    std::string name = ExtractWhat;
    for (char& c : name) {
      if (c == '\\') c = '/';
    }
    archive::ZipState& state = archive::ZipGlobals();
    state.include.entries[0] = std::move(name);
    state.include.count = 1;
  }

  // Only a library that cannot run at all is reported, with a message box; a missing archive, a
  // failed member or a refused password leave no sign but the files that are not there.
  std::string failure;
  try {
    archive::RunUnzip();
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

}  // namespace svregistration
