// Wildcard and prefix matching of member names.
//
// Not fnmatch(3): glibc's, even in a UTF-8 locale, also lets a pattern match byte by byte, so "??"
// selects the one-character name "é"; its "[^...]" stops negating when POSIXLY_CORRECT is set;
// and what it does depends on the calling thread's locale. The prefix test compares Unicode
// upper-case forms and takes "\" for "/", which no flag of fnmatch expresses.
#include "archive/name_match.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>

namespace svregistration::archive {

namespace {

/// Characters decoded from bytes that are not valid UTF-8 get values above Unicode, so they
/// never equal a real character or fall into a range of real characters by accident.
constexpr char32_t kStrayByteBase = 0x110000;

/// Decodes the character at `pos` and moves `pos` past it. A malformed or truncated sequence
/// yields its first byte alone as a stray byte (ICU would take the whole ill-formed stretch).
char32_t NextChar(std::string_view text, std::size_t& pos) {
  const std::size_t start = pos;
  UChar32 c = 0;
  U8_NEXT(reinterpret_cast<const std::uint8_t*>(text.data()), pos, text.size(), c);
  if (c >= 0) return static_cast<char32_t>(c);
  pos = start + 1;
  return kStrayByteBase + static_cast<std::uint8_t>(text[start]);
}

/// Matches one character against the set that starts just after the `[` at `pos`. On return
/// `pos` is past the closing `]`. False in `well_formed` when the set has no closing `]`.
bool MatchSet(std::string_view pattern, std::size_t& pos, char32_t c, bool& well_formed) {
  std::size_t p = pos;
  bool negate = false;
  if (p < pattern.size() && (pattern[p] == '!' || pattern[p] == '^')) {
    negate = true;
    ++p;
  }
  bool found = false;
  bool first = true;
  while (p < pattern.size() && (first || pattern[p] != ']')) {
    first = false;
    char32_t low = NextChar(pattern, p);
    char32_t high = low;
    if (p + 1 < pattern.size() && pattern[p] == '-' && pattern[p + 1] != ']') {
      ++p;
      high = NextChar(pattern, p);
    }
    if (low <= c && c <= high) found = true;
  }
  if (p >= pattern.size()) {
    well_formed = false;
    return false;
  }
  well_formed = true;
  pos = p + 1;
  return found != negate;
}

/// Matches the pattern element at `p` against the character at `n`, advancing both on success.
bool MatchOne(std::string_view pattern, std::size_t& p, std::string_view name, std::size_t& n) {
  std::size_t next_n = n;
  const char32_t c = NextChar(name, next_n);
  std::size_t next_p = p;
  if (pattern[p] == '?') {
    ++next_p;
  } else if (pattern[p] == '[') {
    ++next_p;
    bool well_formed = false;
    bool in_set = MatchSet(pattern, next_p, c, well_formed);
    if (!well_formed) {
      // A lone '[' stands for itself.
      if (c != U'[') return false;
      next_p = p + 1;
    } else if (!in_set) {
      return false;
    }
  } else if (NextChar(pattern, next_p) != c) {
    return false;
  }
  p = next_p;
  n = next_n;
  return true;
}

char32_t SlashForBackslash(char32_t c) { return c == U'\\' ? U'/' : c; }

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  // Where the last '*' was seen and how much of the name it has taken so far: on a mismatch the
  // star takes one more character and matching resumes after it. One star to return to is
  // enough, since a later star can absorb whatever an earlier one would have.
  std::size_t star_p = std::string_view::npos;
  std::size_t star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      while (p < pattern.size() && pattern[p] == '*') ++p;
      star_p = p;
      star_n = n;
      continue;
    }
    if (p < pattern.size() && MatchOne(pattern, p, name, n)) continue;
    if (star_p == std::string_view::npos) return false;
    NextChar(name, star_n);
    p = star_p;
    n = star_n;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool MemberNameStartsWith(std::string_view name, std::string_view prefix) {
  std::size_t n = 0;
  std::size_t p = 0;
  while (p < prefix.size()) {
    if (n >= name.size()) return false;
    const char32_t a = SlashForBackslash(NextChar(name, n));
    const char32_t b = SlashForBackslash(NextChar(prefix, p));
    if (a == b) continue;
    if (a >= kStrayByteBase || b >= kStrayByteBase) return false;
    if (u_toupper(static_cast<UChar32>(a)) != u_toupper(static_cast<UChar32>(b))) return false;
  }
  return true;
}

}  // namespace svregistration::archive
