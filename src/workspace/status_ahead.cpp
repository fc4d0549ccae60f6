// Copies compared ahead on threads of their own, handed out in order.
#include "workspace/status_ahead.h"

#include <algorithm>

#include "svregistration/workspace/workspace_host.h"
#include "workspace/copy_comparison.h"

namespace svregistration::workspace {

StatusAhead::StatusAhead(std::shared_ptr<WorkspaceHost> workspace, std::vector<CopyStatus> named,
                         unsigned helpers, std::size_t limit)
    : workspace_(std::move(workspace)),
      statuses_(std::move(named)),
      failures_(statuses_.size()),
      done_(std::make_unique<std::atomic<int>[]>(statuses_.size())),
      limit_(std::min(limit, statuses_.size())),
      own_files_(workspace_->root()) {
  // One copy is compared sooner by the caller than a thread is started for it.
  if (limit_ < 2) return;
  threads_.reserve(helpers);
  for (unsigned t = 0; t < helpers; ++t) threads_.emplace_back([this] { Work(); });
}

StatusAhead::~StatusAhead() {
  stopping_ = true;
  for (std::thread& thread : threads_) thread.join();
}

void StatusAhead::Compare(std::size_t i, BeneathFiles& files) {
  try {
    statuses_[i] = CompareCopy(workspace_, files, std::move(statuses_[i]));
  } catch (...) {
    failures_[i] = std::current_exception();  // raised where the caller asks for it
  }
  done_[i].store(1, std::memory_order_release);
  done_[i].notify_one();
}

void StatusAhead::Work() {
  BeneathFiles files(workspace_->root());
  for (std::size_t i; !stopping_ && (i = next_.fetch_add(1)) < limit_;) Compare(i, files);
}

CopyStatus& StatusAhead::At(std::size_t i) {
  if (i >= limit_) {
    if (done_[i].load(std::memory_order_relaxed) == 0) Compare(i, own_files_);
  } else {
    // The threads take the copies in order. Until this one is done the caller compares the
    // next one not taken (it comes to it soon), and waits only when none is left.
    while (done_[i].load(std::memory_order_acquire) == 0) {
      const std::size_t next = next_.load() < limit_ ? next_.fetch_add(1) : limit_;
      if (next < limit_) {
        Compare(next, own_files_);
      } else {
        done_[i].wait(0, std::memory_order_acquire);
      }
    }
  }
  if (failures_[i]) std::rethrow_exception(failures_[i]);
  return statuses_[i];
}

}  // namespace svregistration::workspace
