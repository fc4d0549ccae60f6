// The per-thread fault counter.
#include "os/fault_injection.h"

#include <cerrno>

namespace svregistration::os {

namespace {

struct FaultState {
  long remaining = 0;  // 0: disarmed
  int error = 0;
  bool fired = false;
};

thread_local FaultState t_fault;

}  // namespace

void InjectFileSystemFault(long nth, FileSystemFault fault) {
  t_fault.remaining = nth;
  t_fault.fired = false;
  switch (fault) {
    case FileSystemFault::kNoSpace:
      t_fault.error = ENOSPC;
      break;
    case FileSystemFault::kPermissionDenied:
      t_fault.error = EACCES;
      break;
    case FileSystemFault::kIoError:
      t_fault.error = EIO;
      break;
  }
}

void ClearFileSystemFault() { t_fault = {}; }

bool FileSystemFaultFired() { return t_fault.fired; }

int NextFileSystemFault() {
  if (t_fault.remaining == 0 || --t_fault.remaining != 0) return 0;
  t_fault.fired = true;
  return t_fault.error;
}

}  // namespace svregistration::os
