// Small text helpers: comparison ignoring letter case, as names, types and paths are compared,
// and ASCII case folding for the option words that are ASCII by definition.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "svregistration/case_folding.h"

namespace svregistration::nls {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline std::string ToLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

/// True when the texts are equal without regard to letter case (Unicode simple case folding).
inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return EqualsIgnoringCase(a, b);
}

/// True when `text` begins with the ASCII `prefix`, ignoring the letter case of ASCII letters.
inline bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(text[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

/// The number of UTF-16 code units of a UTF-8 text; each ill-formed byte sequence counts one.
std::size_t Utf16Length(std::string_view utf8);

/// Replaces every "%n" (n = 1..9) of a template with args[n - 1]; a %n beyond the arguments and
/// any other % stay as they are.
std::string FillPlaceholders(std::string_view message_template,
                             const std::vector<std::string>& args);

}  // namespace svregistration::nls
