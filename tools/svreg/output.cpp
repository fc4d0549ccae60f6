#include "output.h"

#include <unistd.h>

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

}  // namespace svreg
