// The result values of registration and refresh, and the shift-out/shift-in choices of ToUnicode.
#pragma once

#include <string>

#include "svregistration/export.h"

namespace svregistration {

/// Results of Register, RegisterEx, RefreshSource and RefreshObjectSource: powers of two.
/// RefreshSource combines rOK with the values of the objects it refreshed (bitwise OR).
enum SVRegistrationResults : int {
  rNoRefreshNeeded = 0,
  rOK = 1,
  rSourceFileIsMissed = 2,
  rErrorOnCreateSourceDirectory = 4,
  rFileAllreadyExists = 8,
  rObjectAllreadyExists = 16,
  rErrorOnCreateObject = 32,
  rErrorOnSetSourceAttr = 64,
  rErrorOnSetOriginalSourceAttr = 128,
  rUnexpectedRegistrationError = 256,
  rOriginalSourceUnknown = 512,
};

/// The enumerator's name ("rOK", ...) of a single value; "" for a value that is no enumerator.
SVREG_API const char* ResultName(int value) noexcept;

/// What ToUnicode does with shift-out (0x0E) and shift-in (0x0F) bytes.
enum class SOSIKeepType : int {
  KeepAll = 0,
  RemoveAll = 1,
  KeepInLiterals = 2,
  ReplaceAll = 3,
};

}  // namespace svregistration
