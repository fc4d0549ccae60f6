// The owner of a libarchive reader and the error text of a handle.
#include "archive/archive_handle.h"

#include "svregistration/error.h"

namespace svregistration::archive {

ReadHandle NewReader() {
  ReadHandle reader(archive_read_new());
  if (!reader)
    throw Error(kOutOfMemory, "libarchive", "Out of memory: cannot create an archive reader");
  return reader;
}

std::string ErrorText(::archive* handle) {
  const char* text = handle != nullptr ? archive_error_string(handle) : nullptr;
  return text != nullptr ? std::string(text) : std::string("unknown error");
}

}  // namespace svregistration::archive
