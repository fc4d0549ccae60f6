// Comparing names, type codes and attribute names as the workspace does: ignoring the letter case
// of ASCII letters (the rule of SQLite's NOCASE collation, which the tables use).
#pragma once

#include <string>
#include <string_view>

namespace svregistration::workspace {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline std::string AsciiLowerCopy(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace svregistration::workspace
