// The maps of one code page table (codepage::Table) and the operations on them that the table's
// files share: storing one mapping the way a character map stores it, and building the reverse
// map.
//
// Layout of the maps:
//   sbcs_map     256 x 16-bit, indexed by a byte: its Unicode value as a single-byte character,
//                0 when not mapped.
//   lead_map     256 LeadEntry, indexed by a byte: whether it begins double-byte characters and,
//                once it does, the Unicode value of every pair (lead, trail), 0 when not mapped.
//   reverse_map  65536 x 32-bit, indexed by a 16-bit Unicode value: its host code, a byte (0-255)
//                or lead + 256 * trail. Absent until an import or the first encoding builds it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "codepage/ansi_pairs.h"
#include "svregistration/ccsid.h"

namespace svregistration {

using TrailMapArray = std::array<std::uint16_t, 256>;
using ReverseMapArray = std::array<std::int32_t, 65536>;

/// The double-byte part of the table for one byte value.
struct LeadEntry {
  static constexpr std::uint16_t kTrue = 0xFFFF;

  /// 0 (false) or 0xFFFF (true): the byte begins double-byte characters.
  std::uint16_t is_lead = 0;
  /// The Unicode value of each pair (this byte, trail); exists once the byte became a lead byte.
  std::unique_ptr<TrailMapArray> trail_map;
};

namespace codepage {
struct Table {
  std::string file_name;   ///< the file named to the last Import, Save or Load
  std::int32_t ccsid = 0;  ///< the coded character set id given to the last Import or Load
  std::array<std::uint16_t, 256> sbcs_map{};
  std::array<LeadEntry, 256> lead_map;
  std::unique_ptr<ReverseMapArray> reverse_map;

  /// Derived from the maps: whatever changes them (Import, Load, a fill from ICU) clears it.
  codepage::AnsiPairCache ansi_pairs;
};

struct TableAccess {
  static Table& Of(CCSID& table) { return *table.table_; }
  static const Table& Of(const CCSID& table) { return *table.table_; }
};
inline Table& TableOf(CCSID& table) { return TableAccess::Of(table); }
inline const Table& TableOf(const CCSID& table) { return TableAccess::Of(table); }

}  // namespace codepage

namespace codepage {

inline constexpr const char* kErrorSource = "SVRegistration";
inline constexpr std::uint8_t kShiftOut = 0x0E;
inline constexpr std::uint8_t kShiftIn = 0x0F;
inline constexpr std::size_t kRecordLength = 80;

/// How a mapping's precision marker steers where it is stored: 1 (fallback) replaces the
/// reverse-map entry, 2 (substitution) is not stored, 3 (reverse fallback) replaces the byte's
/// entry; every other value stores only into entries still 0.
inline constexpr int kMarkerFallback = 1;
inline constexpr int kMarkerSubstitution = 2;
inline constexpr int kMarkerReverseFallback = 3;

/// One mapping of a character map: a 16-bit Unicode value, a single byte or a pair, a marker.
struct Mapping {
  std::uint16_t unicode = 0;
  bool is_pair = false;
  std::uint8_t byte = 0;   ///< the single byte, or the lead byte of a pair
  std::uint8_t trail = 0;  ///< the trail byte of a pair
  int marker = 0;
};

/// Stores one mapping: in each direction the first mapping wins, except that marker 3 replaces
/// the byte-to-Unicode entry and marker 1 the Unicode-to-byte entry; marker 2 changes nothing.
/// A pair makes its lead byte a lead byte (with a trail map of zeros) first. `table.reverse_map`
/// must exist.
inline void StoreMapping(codepage::Table& table, const Mapping& m) {
  if (m.marker == kMarkerSubstitution) return;
  std::int32_t code;
  if (m.is_pair) {
    LeadEntry& entry = table.lead_map[m.byte];
    if (entry.is_lead == 0 || !entry.trail_map) {
      entry.trail_map = std::make_unique<TrailMapArray>();
      entry.is_lead = LeadEntry::kTrue;
    }
    std::uint16_t& slot = (*entry.trail_map)[m.trail];
    if (slot == 0 || m.marker == kMarkerReverseFallback) slot = m.unicode;
    code = m.byte + 256 * m.trail;
  } else {
    std::uint16_t& slot = table.sbcs_map[m.byte];
    if (slot == 0 || m.marker == kMarkerReverseFallback) slot = m.unicode;
    code = m.byte;
  }
  std::int32_t& reverse = (*table.reverse_map)[m.unicode];
  if (reverse == 0 || m.marker == kMarkerFallback) reverse = code;
}

/// A new reverse map with every entry 0, as an import starts it.
std::unique_ptr<ReverseMapArray> NewZeroReverseMap();

/// Replaces the reverse map with one built from the byte maps: every entry starts as 0x6F (which
/// also marks an entry not yet set), then the lowest single byte of each character wins, single
/// bytes before pairs, and among pairs the lowest lead, then the lowest trail.
void BuildReverseMap(codepage::Table& table);

/// Text to EBCDIC 80-byte records (CCSID::ToEBCDIC) into `out`, which is cleared first and keeps
/// its capacity, so a caller converting many texts can reuse one buffer.
void EncodeText(codepage::Table& table, std::u16string_view text, std::vector<std::uint8_t>& out);

}  // namespace codepage
}  // namespace svregistration
