// Small text helpers: ASCII case folding and comparison ignoring letter case, as names, types and
// paths are compared.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace svregistration::platform {

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

inline std::string ToLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

/// True when the texts are equal ignoring the letter case of ASCII letters.
inline bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

/// True when `text` begins with `prefix`, ignoring the letter case of ASCII letters.
inline bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

/// The number of UTF-16 code units of a UTF-8 text; each ill-formed byte sequence counts one.
std::size_t Utf16Length(std::string_view utf8);

/// Replaces every "%n" (n = 1..9) of a template with args[n - 1]; a %n beyond the arguments and
/// any other % stay as they are.
std::string FillPlaceholders(std::string_view message_template,
                             const std::vector<std::string>& args);

}  // namespace svregistration::platform
