// Names, object types and paths are compared without regard to letter case by one rule, Unicode
// simple case folding (one code point folds to one), in the library, in hosts and in their
// repositories alike: "ÉTÉ" and "été" are one name, "ＰＡＹ" and "PAY" are two.
#pragma once

#include <string>
#include <string_view>

#include "svregistration/export.h"

namespace svregistration {

/// The UTF-8 text with every code point case-folded; bytes that are not UTF-8 stay as they are.
SVREG_API std::string FoldCase(std::string_view utf8);

/// True when the texts are equal without regard to letter case.
SVREG_API bool EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace svregistration
