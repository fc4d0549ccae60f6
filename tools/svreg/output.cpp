#include "output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

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

std::vector<std::uint8_t> ReadInput(const std::string& path) {
  if (path.empty() || path == "-") {
    std::vector<std::uint8_t> content;
    std::uint8_t buffer[1 << 16];
    for (;;) {
      ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EINTR) continue;
        throw Error(error_number::kPathFileAccessError, "svreg",
                    std::string("cannot read standard input: ") + std::strerror(errno));
      }
      content.insert(content.end(), buffer, buffer + n);
    }
    return content;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw Error(error_number::kFileNotFound, "svreg",
                "cannot open '" + path + "': " + std::strerror(errno));
  }
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace svreg
