// What a registration's plan holds between its steps: what Plan found out, the copy Make makes
// from it, and what became of that copy, for Record to tell.
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "registration/register_copy.h"
#include "svregistration/error.h"
#include "svregistration/results.h"

namespace svregistration::registration {

struct PlannedCopy {
  std::string type;
  std::string source;
  std::string source_attribute;
  /// The Sources folder, relative to the workspace root.
  std::string sources_directory;
  std::string relative_path;
  std::string target;
  /// Why the Sources folder, or the copy's name in it, may not be written.
  std::string refused;
  bool folder_usable = true;
  bool target_allowed = true;
  bool fresh = true;
  bool source_fits = true;
  bool target_fits = true;
  /// Absent when the Sources folder is refused: nothing is made.
  std::optional<RegisterCopy> copy;
  /// The options could not be read into a plan: the copy fails with this error.
  std::optional<Error> plan_error;

  // What Make came to.
  bool made = false;
  SVRegistrationResults refusal = rOK;
  /// Raised by Record as Register raises it: the checks failed.
  std::exception_ptr check_failure;
  /// The copy failed: Record logs it, removes the copy and answers rUnexpectedRegistrationError.
  std::optional<Error> copy_error;
  /// The copy failed with something other than Error: Record raises it.
  std::exception_ptr copy_failure;
  /// Record took the copy over: its fate is told there.
  bool recorded = false;

  /// True when Make wrote a copy that is still to be recorded.
  bool Written() const {
    return made && copy && refusal == rOK && copy->needed() && !copy_error && !copy_failure &&
           !check_failure;
  }
};

}  // namespace svregistration::registration
