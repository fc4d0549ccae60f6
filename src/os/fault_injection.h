// Fault injection for the file system operations: tests arm a failure (no space, permission
// denied, I/O error) for the Nth operation from now and see what each caller makes of it. Off
// unless armed; the state is per thread.
#pragma once

namespace svregistration::os {

enum class FileSystemFault { kNoSpace, kPermissionDenied, kIoError };

/// The nth file system operation from now (1 = the next) fails with the fault.
void InjectFileSystemFault(long nth, FileSystemFault fault);
/// Disarms any armed fault.
void ClearFileSystemFault();
/// True once the armed fault has fired.
bool FileSystemFaultFired();

/// Called by every file system operation: the errno to fail with, or 0.
int NextFileSystemFault();

}  // namespace svregistration::os
