// The unified difference of two texts, line by line, as diff -u prints it.
#pragma once

#include <string>

namespace svreg {

/// The hunks (with three lines of context) that turn `before` into `after`, under the headers
/// "--- before_name" and "+++ after_name"; "" when the texts are equal. A line at the end without
/// a line break is marked "\ No newline at end of file".
std::string UnifiedDiff(const std::string& before, const std::string& after,
                        const std::string& before_name, const std::string& after_name);

}  // namespace svreg
