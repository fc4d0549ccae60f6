// stderr held in a memory file while libunarr decodes, and passed on without its diagnostics.
#include "archive/rar/unarr_diagnostics.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

#include "os/unique_fd.h"

namespace svregistration::archive {

namespace {

/// The one redirection of the process's stderr, shared by every holder.
struct HeldStderr {
  std::mutex lock;
  int holders = 0;
  os::UniqueFd saved;   // the stderr of before, while it is redirected
  os::UniqueFd memory;  // where stderr points meanwhile
};

HeldStderr& Held() {
  static HeldStderr held;
  return held;
}

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // stderr gone: nothing else to tell it
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

/// Writes what `from` holds to `to`, line by line, without libunarr's lines.
void PassOn(int from, int to) {
  if (::lseek(from, 0, SEEK_SET) != 0) return;
  std::string line;
  char buffer[4096];
  ssize_t n = 0;
  while ((n = ::read(from, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    for (ssize_t i = 0; i < n; ++i) {
      line.push_back(buffer[i]);
      if (buffer[i] != '\n') continue;
      if (!IsUnarrDiagnostic(line)) WriteAll(to, line);
      line.clear();
    }
  }
  if (!IsUnarrDiagnostic(line)) WriteAll(to, line);
}

void Redirect(HeldStderr& held) {
  std::fflush(stderr);
  os::UniqueFd memory(::memfd_create("svreg-stderr", MFD_CLOEXEC));
  os::UniqueFd saved(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0));
  if (!memory || !saved || ::dup2(memory.get(), STDERR_FILENO) < 0) return;
  held.memory = std::move(memory);
  held.saved = std::move(saved);
}

void Restore(HeldStderr& held) {
  if (!held.saved) return;
  std::fflush(stderr);
  ::dup2(held.saved.get(), STDERR_FILENO);
  held.saved.reset();
  PassOn(held.memory.get(), STDERR_FILENO);
  held.memory.reset();
}

}  // namespace

bool IsUnarrDiagnostic(std::string_view line) {
  if (line.size() < 3 || (line[0] != '-' && line[0] != '!') || line[1] != ' ') return false;
  const std::size_t colon = line.find(':', 2);
  if (colon == std::string_view::npos || colon < 4 || line.substr(colon - 2, 2) != ".c") {
    return false;
  }
  std::size_t digits = colon + 1;
  while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
  return digits > colon + 1 && digits < line.size() && line[digits] == ':';
}

UnarrDiagnosticsHeld::UnarrDiagnosticsHeld() {
  HeldStderr& held = Held();
  std::lock_guard guard(held.lock);
  if (held.holders++ == 0) Redirect(held);
}

UnarrDiagnosticsHeld::~UnarrDiagnosticsHeld() {
  HeldStderr& held = Held();
  std::lock_guard guard(held.lock);
  if (--held.holders == 0) Restore(held);
}

}  // namespace svregistration::archive
