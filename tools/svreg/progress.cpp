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

ProgressInterface::ProgressInterface(const std::string& what)
    : fallback_(svregistration::CurrentUserInterface()), bar_(what) {}

ProgressInterface::~ProgressInterface() = default;

std::shared_ptr<ProgressInterface> ProgressInterface::Install(const std::string& what) {
  auto ui = std::make_shared<ProgressInterface>(what);
  svregistration::SetUserInterface(ui);
  return ui;
}

// Whatever the interface prints or asks starts on a line of its own, not after the bar.
void ProgressInterface::ShowMessage(const std::string& title, const std::string& text) {
  bar_.Clear();
  fallback_.ShowMessage(title, text);
}
std::string ProgressInterface::AskText(const std::string& title, const std::string& prompt,
                                       bool secret) {
  bar_.Clear();
  return fallback_.AskText(title, prompt, secret);
}
std::string ProgressInterface::BrowseForFolder(std::intptr_t owner_window,
                                               const std::string& title) {
  bar_.Clear();
  return fallback_.BrowseForFolder(owner_window, title);
}
void ProgressInterface::ProcessPendingEvents() { fallback_.ProcessPendingEvents(); }
void ProgressInterface::ReportProgress(const std::string&, long done, long total) {
  bar_.Update(done, total);
}

}  // namespace svreg
