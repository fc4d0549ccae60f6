// Built from AnsiCode, which answers from a flat table per code page: a table with a hundred lead
// bytes asks it some 25,000 times, once per code page for the table's life.
#include "codepage/ansi_pairs.h"

#include "codepage/table.h"
#include "nls/ansi_conversion.h"
#include "nls/locale_services.h"

namespace svregistration::codepage {

namespace {

using PairRow = std::array<std::uint16_t, 256>;

constexpr char16_t kReplacement = 0xFFFD;

// A character is double-byte in an ANSI code page when its code there does not fit one byte.
bool IsDoubleByte(char16_t ch, std::uint32_t code_page) {
  std::int16_t code = nls::AnsiCode(ch, code_page);
  return code > 255 || code < 0;
}

// The row of a pair's characters as they come out: each as `keep` decides, else 0.
template <class Keep>
const std::uint16_t* AddRow(AnsiPairs& pairs, const PairRow* trail_map, Keep keep) {
  auto row = std::make_unique<PairRow>();
  for (std::size_t t = 0; t < 256; ++t) {
    char16_t ch = trail_map != nullptr ? (*trail_map)[t] : 0;
    if (ch == 0) ch = kReplacement;
    (*row)[t] = keep(ch) ? ch : 0;
  }
  pairs.storage.push_back(std::move(row));
  return pairs.storage.back()->data();
}

std::unique_ptr<AnsiPairs> Build(const Table& table, std::uint32_t code_page) {
  auto pairs = std::make_unique<AnsiPairs>();
  if (code_page != kUnicodeCodePage) {
    std::optional<nls::CodePageInfo> info = nls::CodePageProperties(code_page);
    if (info && info->MaxCharSize == 1) {
      // Nothing is double-byte in a code page of single bytes: no question needs asking.
      static const PairRow kZeros{};
      pairs->pair.fill(kZeros.data());
      return pairs;
    }
  }
  auto keep = [code_page](char16_t ch) {
    return code_page == kUnicodeCodePage || IsDoubleByte(ch, code_page);
  };
  // Bytes without pairs of their own share one row: every pair of theirs is U+FFFD.
  const std::uint16_t* unmapped = AddRow(*pairs, nullptr, keep);
  for (std::size_t b = 0; b < 256; ++b) {
    const auto& trail_map = table.lead_map[b].trail_map;
    pairs->pair[b] = trail_map ? AddRow(*pairs, trail_map.get(), keep) : unmapped;
    pairs->single_is_double[b] =
        code_page != kUnicodeCodePage && IsDoubleByte(table.sbcs_map[b], code_page);
  }
  return pairs;
}

}  // namespace

const AnsiPairs& AnsiPairCache::For(const Table& table, std::uint32_t code_page) {
  std::lock_guard lock(mutex_);
  for (const auto& [page, pairs] : pages_) {
    if (page == code_page) return *pairs;
  }
  pages_.emplace_back(code_page, Build(table, code_page));
  return *pages_.back().second;
}

void AnsiPairCache::Clear() {
  std::lock_guard lock(mutex_);
  pages_.clear();
}

}  // namespace svregistration::codepage
