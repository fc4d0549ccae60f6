// Runs an action and hands back the library Error it raised, so a test can check the number and
// the description in one line.
#pragma once

#include <functional>
#include <optional>

#include "svregistration/error.h"

namespace svregistration::testing {

/// The Error the action raised, or nothing when it returned normally.
inline std::optional<Error> CaptureError(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error;
  }
  return std::nullopt;
}

/// The number of the Error the action raised; 0 when it returned normally.
inline int ErrorNumber(const std::function<void()>& action) {
  std::optional<Error> error = CaptureError(action);
  return error ? error->number() : 0;
}

}  // namespace svregistration::testing
