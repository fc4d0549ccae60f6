// What the pairs and single bytes of a code page table come out as in one ANSI code page, built
// once per table and code page so that the record conversion answers each with one load.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace svregistration::codepage {

struct Table;

/// The code page "every character is its own": text written in a Unicode form holds every pair's
/// character, and no single byte's character is too wide for it.
inline constexpr std::uint32_t kUnicodeCodePage = 65001;

/// One table's characters as one ANSI code page holds them.
struct AnsiPairs {
  /// pair[lead][trail]: the pair's character (U+FFFD when the table does not map it) when that
  /// character is double-byte in the code page, else 0: the pair comes out as two single bytes.
  std::array<const std::uint16_t*, 256> pair{};
  /// single_is_double[b]: the single byte's character is double-byte in the code page (it comes
  /// out as "?").
  std::array<bool, 256> single_is_double{};

  std::vector<std::unique_ptr<std::array<std::uint16_t, 256>>> storage;
};

/// The AnsiPairs of a table per code page, each built on first use from the maps as they are then
/// and kept until Clear. Safe to use from several threads at once.
class AnsiPairCache {
 public:
  /// The answers for `code_page`: a Windows ANSI code page, or kUnicodeCodePage.
  const AnsiPairs& For(const Table& table, std::uint32_t code_page);
  /// Forgets every code page's answers: the table's maps are about to change.
  void Clear();

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::uint32_t, std::unique_ptr<AnsiPairs>>> pages_;
};

}  // namespace svregistration::codepage
