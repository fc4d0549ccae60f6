// Output helpers shared by the commands: JSON on stdout and whole byte buffers to stdout.
#include "output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "svregistration/error.h"

namespace svreg {

using svregistration::Error;
namespace error_number = svregistration::error_number;

void PrintJson(const nlohmann::json& document) {
  std::string text = document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  text.push_back('\n');
  WriteStdout(text);
}

void WriteStdout(std::string_view bytes) {
  std::fflush(stdout);
  while (!bytes.empty()) {
    ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throw Error(error_number::kPathFileAccessError, "svreg",
                  std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::string FormatTable(const std::vector<std::string>& header,
                        const std::vector<std::vector<std::string>>& rows) {
  const bool aligned = ::isatty(STDOUT_FILENO) == 1;
  std::vector<std::size_t> widths(header.size(), 0);
  if (aligned) {
    for (std::size_t i = 0; i < header.size(); ++i) widths[i] = header[i].size();
    for (const auto& row : rows) {
      for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) {
        widths[i] = std::max(widths[i], row[i].size());
      }
    }
  }
  std::string text;
  auto line = [&](const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      text += cells[i];
      if (i + 1 == cells.size()) break;
      text += aligned ? std::string(widths[i] - cells[i].size() + 2, ' ') : "\t";
    }
    text += '\n';
  };
  line(header);
  for (const auto& row : rows) line(row);
  return text;
}

}  // namespace svreg
