// Unicode simple case folding of UTF-8 text through ICU, with a byte loop for ASCII.
#include "svregistration/case_folding.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace svregistration {

namespace {

char AsciiFold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::string FoldCase(std::string_view utf8) {
  std::string folded;
  folded.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(utf8.data());
  const auto length = static_cast<std::int32_t>(utf8.size());
  for (std::int32_t i = 0; i < length;) {
    if (bytes[i] < 0x80) {
      folded.push_back(AsciiFold(static_cast<char>(bytes[i++])));
      continue;
    }
    const std::int32_t start = i;
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) {  // not UTF-8: the bytes stand for themselves
      folded.append(
          utf8.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
      continue;
    }
    std::uint8_t encoded[U8_MAX_LENGTH];
    std::int32_t size = 0;
    const auto folded_code = static_cast<std::uint32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
    U8_APPEND_UNSAFE(encoded, size, folded_code);
    folded.append(reinterpret_cast<const char*>(encoded), static_cast<std::size_t>(size));
  }
  return folded;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (AsciiFold(a[i]) != AsciiFold(b[i])) return false;
    }
    return true;
  }
  return FoldCase(a) == FoldCase(b);
}

}  // namespace svregistration
