// The host utility objects of the calling thread (FileUtility, MessageFormatter, TextUtility,
// IdUtility), created on first use through the class registry and kept for the thread's life.
// Built-in defaults are registered for the first three; IdUtility must come from the host.
#pragma once

#include "svregistration/host/utilities.h"

namespace svregistration::os {
class FileReader;
class FileReplacement;
}  // namespace svregistration::os

namespace svregistration::runtime {

host::FileUtility& ThreadFileUtility();
host::MessageFormatter& ThreadMessageFormatter();
host::TextUtility& ThreadTextUtility();
host::IdUtility& ThreadIdUtility();

/// True when the thread's FileUtility is the built-in one (not a host's own): its copies may then
/// be made from files the caller already holds open.
bool BuiltInFileUtility();
/// The built-in copy: the kernel copies the bytes where it can, within one file system or across
/// two, else they go through one buffer the thread reuses; into the replacement, which the caller
/// commits. False when it fails.
bool CopyBytes(os::FileReader& source, os::FileReplacement& copy);

/// Forgets the calling thread's utilities, so the next use creates them from the registry again
/// (for hosts and tests that replace a class after first use).
void ResetThreadUtilities();

}  // namespace svregistration::runtime
