// The states of many copies found ahead of a caller that goes through them in order: a few
// threads of its own compare the next copies while the caller works on the earlier ones, and a
// caller that catches up compares the next ones itself rather than wait.
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <memory>
#include <thread>
#include <vector>

#include "svregistration/workspace/copy_status.h"
#include "workspace/beneath.h"

namespace svregistration::workspace {

class StatusAhead {
 public:
  /// Begins comparing the copies `named` names (id, name, type, source and original filled
  /// in) on `helpers` threads. The first `limit` only are compared ahead; the others when At
  /// asks for them.
  StatusAhead(std::shared_ptr<WorkspaceHost> workspace, std::vector<CopyStatus> named,
              unsigned helpers, std::size_t limit);
  /// Stops the threads; the copies not begun are never compared.
  ~StatusAhead();
  StatusAhead(const StatusAhead&) = delete;
  StatusAhead& operator=(const StatusAhead&) = delete;

  std::size_t size() const { return statuses_.size(); }
  /// The state of the copy `i` as CompareCopy tells it, waiting for it when another thread
  /// compares it. What else the comparison raised is raised here.
  CopyStatus& At(std::size_t i);

 private:
  void Compare(std::size_t i, BeneathFiles& files);
  void Work();

  std::shared_ptr<WorkspaceHost> workspace_;
  std::vector<CopyStatus> statuses_;
  std::vector<std::exception_ptr> failures_;
  std::unique_ptr<std::atomic<int>[]> done_;
  std::size_t limit_;
  std::atomic<std::size_t> next_{0};
  std::atomic<bool> stopping_{false};
  BeneathFiles own_files_;
  std::vector<std::thread> threads_;
};

}  // namespace svregistration::workspace
