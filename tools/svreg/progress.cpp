// The progress bar of long runs, on stderr when it is a terminal.
#include "progress.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "svregistration/error.h"

namespace svreg {

namespace {

long long NowMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ProgressBar::ProgressBar(std::string what)
    : what_(std::move(what)), enabled_(::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() { Clear(); }

void ProgressBar::Clear() {
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
  last_draw_ms_ = 0;
}

void ProgressBar::Update(long done, long total) {
  if (!enabled_ || total <= 0) return;
  long long now = NowMilliseconds();
  if (done < total && now - last_draw_ms_ < 100) return;
  last_draw_ms_ = now;
  constexpr int kWidth = 30;
  int filled = static_cast<int>(kWidth * done / total);
  std::fprintf(stderr, "\r%s [%.*s%*s] %ld/%ld", what_.c_str(), filled,
               "##############################", kWidth - filled, "", done, total);
  std::fflush(stderr);
  drawn_ = true;
}

}  // namespace svreg
