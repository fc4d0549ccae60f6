// Fuzz target of the settings reader: the input is the object type, the workspace options
// document and the global options document, separated by NUL bytes (a document that is not there
// is passed as nullptr). Whatever the documents hold, only the library's Error may escape.
#include <cstddef>
#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "registration/registration_settings.h"
#include "svregistration/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = input.find('\0'), second = input.find('\0', first + 1);
  const bool has_workspace = first != std::string_view::npos;
  const bool has_global = has_workspace && second != std::string_view::npos;
  pugi::xml_document workspace, global;
  if (has_workspace) {
    const std::size_t end = has_global ? second : input.size();
    workspace.load_buffer(input.data() + first + 1, end - first - 1);
  }
  if (has_global) global.load_buffer(input.data() + second + 1, input.size() - second - 1);
  try {
    svregistration::registration::LoadRegistrationSettings(has_workspace ? &workspace : nullptr,
                                                           has_global ? &global : nullptr,
                                                           std::string(input.substr(0, first)));
  } catch (const svregistration::Error&) {
  }
  return 0;
}
