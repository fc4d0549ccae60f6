// The reverse map built from the byte maps, for encoding with a table that was loaded from a
// table file (which holds no reverse map).
#include "codepage/table.h"

namespace svregistration::codepage {

std::unique_ptr<ReverseMapArray> NewZeroReverseMap() {
  return std::make_unique<ReverseMapArray>();  // value-initialised: every entry 0
}

void BuildReverseMap(codepage::Table& table) {
  constexpr std::int32_t kUnset = 0x6F;
  auto reverse = std::make_unique<ReverseMapArray>();
  reverse->fill(kUnset);
  for (int b = 0; b < 256; ++b) {
    std::int32_t& entry = (*reverse)[table.sbcs_map[static_cast<std::size_t>(b)]];
    if (entry == kUnset) entry = b;
  }
  for (int lead = 0; lead < 256; ++lead) {
    const LeadEntry& entry = table.lead_map[static_cast<std::size_t>(lead)];
    if (entry.is_lead == 0 || !entry.trail_map) continue;
    for (int trail = 0; trail < 256; ++trail) {
      std::int32_t& code = (*reverse)[(*entry.trail_map)[static_cast<std::size_t>(trail)]];
      if (code == kUnset) code = lead + 256 * trail;
    }
  }
  table.reverse_map = std::move(reverse);
}

}  // namespace svregistration::codepage
