// The host utility objects of the calling thread (FileUtility, MessageFormatter, TextUtility,
// IdUtility), created on first use through the class registry and kept for the thread's life.
// Built-in defaults are registered for the first three; IdUtility must come from the host.
#pragma once

#include "svregistration/host/utilities.h"

namespace svregistration::platform {

host::FileUtility& ThreadFileUtility();
host::MessageFormatter& ThreadMessageFormatter();
host::TextUtility& ThreadTextUtility();
host::IdUtility& ThreadIdUtility();

/// Forgets the calling thread's utilities, so the next use creates them from the registry again
/// (for hosts and tests that replace a class after first use).
void ResetThreadUtilities();

}  // namespace svregistration::platform
