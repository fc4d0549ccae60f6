// The progress bar of long runs, on stderr when it is a terminal.
#pragma once

#include <string>

namespace svreg {

class ProgressBar {
 public:
  explicit ProgressBar(std::string what);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool enabled() const { return enabled_; }
  /// Redraws the bar at most a few times a second.
  void Update(long done, long total);
  /// Clears the bar's line, so that what is printed next starts on a line of its own; the next
  /// Update draws it again.
  void Clear();

 private:
  std::string what_;
  bool enabled_;
  bool drawn_ = false;
  long long last_draw_ms_ = 0;
};

}  // namespace svreg
