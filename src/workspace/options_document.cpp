// Options documents on disk.
#include "svregistration/workspace/options_document.h"

#include <fmt/core.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "svregistration/error.h"
#include "svregistration/file_writing.h"
#include "workspace/error_source.h"

namespace svregistration::workspace {

namespace {

constexpr const char* kSource = kWorkspaceErrorSource;

// Line and column (from 1) of a byte offset in the text.
std::pair<std::size_t, std::size_t> LineAndColumn(const std::string& text, std::ptrdiff_t offset) {
  std::size_t line = 1, column = 1;
  for (std::ptrdiff_t i = 0; i < offset && static_cast<std::size_t>(i) < text.size(); ++i) {
    if (text[static_cast<std::size_t>(i)] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return {line, column};
}

void Parse(pugi::xml_document& document, const std::string& path, const std::string& text) {
  // Comments, processing instructions, the declaration and the DOCTYPE are the user's: kept, so
  // that saving a changed value writes them back.
  pugi::xml_parse_result result = document.load_buffer(text.data(), text.size(), pugi::parse_full);
  if (!result) {
    auto [line, column] = LineAndColumn(text, result.offset);
    throw Error(
        error_number::kPathFileAccessError, kSource,
        fmt::format("the options document '{}' is not well-formed: {} at line {}, column {}", path,
                    result.description(), line, column));
  }
}

}  // namespace

std::shared_ptr<OptionsDocument> OptionsDocument::Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw Error(
        error_number::kFileNotFound, kSource,
        fmt::format("cannot open the options document '{}': {}", path, std::strerror(errno)));
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto document = std::shared_ptr<OptionsDocument>(new OptionsDocument(path));
  Parse(document->document_, path, text.str());
  return document;
}

std::shared_ptr<OptionsDocument> OptionsDocument::FromText(const std::string& path,
                                                           const std::string& xml) {
  auto document = std::shared_ptr<OptionsDocument>(new OptionsDocument(path));
  Parse(document->document_, path, xml);
  return document;
}

void OptionsDocument::Save() {
  std::ostringstream text;
  document_.save(text, "  ", pugi::format_default, pugi::encoding_utf8);
  try {
    WriteFileWhole(path_, text.str());
  } catch (const Error& e) {
    throw Error(e.number(), kSource,
                fmt::format("cannot write the options document '{}': {}", path_, e.description()));
  }
}

}  // namespace svregistration::workspace
