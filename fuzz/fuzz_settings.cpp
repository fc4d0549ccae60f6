// Fuzz target of the settings reader: the input is the object type, the workspace options
// document and the global options document, separated by NUL bytes (a document that is not there
// is passed as nullptr). Whatever the documents hold, only the library's Error may escape.
#include <cstddef>
#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "registration/registration_settings.h"
#include "svregistration/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (parts.size() < 2) {
    std::size_t nul = input.find('\0', start);
    if (nul == std::string_view::npos) break;
    parts.push_back(input.substr(start, nul - start));
    start = nul + 1;
  }
  parts.push_back(input.substr(start));

  std::string type(parts[0]);
  pugi::xml_document workspace, global;
  if (parts.size() > 1) workspace.load_buffer(parts[1].data(), parts[1].size());
  if (parts.size() > 2) global.load_buffer(parts[2].data(), parts[2].size());
  try {
    svregistration::registration::LoadRegistrationSettings(
        parts.size() > 1 ? &workspace : nullptr, parts.size() > 2 ? &global : nullptr, type);
  } catch (const svregistration::Error&) {
  }
  return 0;
}
