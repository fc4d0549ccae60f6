// Runs an action and hands back the library Error it raised, so a test can check the number and
// the description in one line.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "svregistration/error.h"

namespace svregistration::testing {

/// The Error the action raised; one numbered 0, with no description, when it returned normally.
inline Error CaptureError(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error;
  }
  return Error(0, "", "");
}

/// The number of the Error the action raised; 0 when it returned normally.
inline int ErrorNumber(const std::function<void()>& action) {
  return CaptureError(action).number();
}

/// Expects the action to raise the Error `number` with `part` in its description.
inline void ExpectError(const std::function<void()>& action, int number,
                        const std::string& part = "") {
  const Error error = CaptureError(action);
  EXPECT_EQ(error.number(), number) << error.description();
  EXPECT_NE(error.description().find(part), std::string::npos) << error.description();
}

}  // namespace svregistration::testing
