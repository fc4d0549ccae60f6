// How member names are selected: wildcard patterns for zip archives, prefixes ignoring letter
// case for RAR archives. Names are UTF-8; a byte that does not start a valid UTF-8 sequence counts
// as one character of its own.
#pragma once

#include <string_view>

namespace svregistration::archive {

/// True when `pattern` matches the whole of `name`. `*` matches any run of characters, slashes
/// included; `?` matches one character; `[...]` matches one character of a set, with ranges
/// ("a-z") and `!` or `^` first to negate it, `]` first standing for itself. A `[` without a
/// closing `]` matches itself. Every other character matches itself; letter case counts, so a
/// plain name selects just the member of that name.
bool WildcardMatch(std::string_view pattern, std::string_view name);

/// True when `name` begins with `prefix`, letters compared by their upper-case forms (Unicode
/// simple case mapping, where nls::StartsWithIgnoreCase folds ASCII letters only) and "\"
/// and "/" as the same separator. An empty prefix begins every name.
bool MemberNameStartsWith(std::string_view name, std::string_view prefix);

}  // namespace svregistration::archive
