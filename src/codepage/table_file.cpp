// CCSID::Save and CCSID::Load: the binary code page table file.
//
// Layout (no header, no magic, no checksum; every 16-bit value little-endian):
//   offset 0    512 bytes  the single-byte map, bytes 0 to 255, 2 bytes each
//   offset 512  variable   256 lead records, for bytes 0 to 255 in order:
//                          2 bytes flag (0x0000 false, 0xFFFF true; on reading any non-zero value
//                          is true), then, only when the flag is true, 512 bytes: the trail map,
//                          trail bytes 0 to 255, 2 bytes each.
// A file of L lead bytes has 1024 + 512 * L bytes. Neither the CCSID nor the reverse map is
// stored.
#include <fmt/core.h>

#include "codepage/table.h"
#include "os/file_reader.h"
#include "os/file_system.h"
#include "svregistration/error.h"

namespace svregistration {

namespace {

using codepage::kErrorSource;

constexpr std::size_t kMapBytes = 512;
constexpr std::size_t kFlagBytes = 2;

void PutMap(std::vector<std::uint8_t>& out, const std::array<std::uint16_t, 256>& map) {
  for (std::uint16_t value : map) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
  }
}

void GetMap(const std::uint8_t* in, std::array<std::uint16_t, 256>& map) {
  for (std::size_t i = 0; i < map.size(); ++i) {
    map[i] = static_cast<std::uint16_t>(in[2 * i] | (in[2 * i + 1] << 8));
  }
}

}  // namespace

// The file is written whole to a temporary file beside the target and renamed over it, so the
// target holds exactly the table's bytes (a longer old file is not left with a tail), and a crash
// leaves either the old file or the new one.
void CCSID::Save(const std::string& aFileName) {
  codepage::Table& table = *table_;
  table.file_name = aFileName;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kMapBytes + 256 * (kFlagBytes + kMapBytes));
  PutMap(bytes, table.sbcs_map);
  for (const LeadEntry& entry : table.lead_map) {
    bool is_lead = entry.is_lead != 0;
    bytes.push_back(is_lead ? 0xFF : 0x00);
    bytes.push_back(is_lead ? 0xFF : 0x00);
    if (!is_lead) continue;
    if (entry.trail_map) {
      PutMap(bytes, *entry.trail_map);
    } else {
      bytes.insert(bytes.end(), kMapBytes, 0);  // a lead byte without pairs yet
    }
  }
  os::WriteWholeFile(aFileName, bytes.data(), bytes.size());
}

// The file is read into new maps that replace the table's only when the whole file has been read:
// a file that ends before the records its flags announce raises "input past end of file" (62) and
// leaves the maps as they were. Bytes after the last record are ignored.
void CCSID::Load(const std::string& aFileName, std::int32_t aCCSID) {
  codepage::Table& table = *table_;
  table.file_name = aFileName;
  table.ccsid = aCCSID;
  std::optional<std::vector<std::uint8_t>> content = os::ReadWholeFile(aFileName);
  if (!content) {
    throw Error(error_number::kFileNotFound, kErrorSource,
                fmt::format("cannot open the code page table '{}': file not found", aFileName));
  }
  const std::vector<std::uint8_t>& bytes = *content;
  auto past_end = [&](std::size_t needed) {
    return Error(error_number::kInputPastEndOfFile, kErrorSource,
                 fmt::format("input past end of file: the code page table '{}' has {} bytes, its "
                             "records need at least {}",
                             aFileName, bytes.size(), needed));
  };

  std::array<std::uint16_t, 256> sbcs_map{};
  std::array<LeadEntry, 256> lead_map;
  std::size_t pos = kMapBytes;
  if (bytes.size() < pos) throw past_end(pos);
  GetMap(bytes.data(), sbcs_map);
  for (LeadEntry& entry : lead_map) {
    if (bytes.size() < pos + kFlagBytes) throw past_end(pos + kFlagBytes);
    bool is_lead = (bytes[pos] | bytes[pos + 1]) != 0;
    pos += kFlagBytes;
    if (!is_lead) continue;
    if (bytes.size() < pos + kMapBytes) throw past_end(pos + kMapBytes);
    entry.is_lead = LeadEntry::kTrue;
    entry.trail_map = std::make_unique<TrailMapArray>();
    GetMap(bytes.data() + pos, *entry.trail_map);
    pos += kMapBytes;
  }
  // A byte the file does not flag keeps the pairs it had: only its flag changes, and pair
  // look-ups do not read the flag.
  for (std::size_t b = 0; b < lead_map.size(); ++b) {
    if (lead_map[b].is_lead == 0) lead_map[b].trail_map = std::move(table.lead_map[b].trail_map);
  }
  table.ansi_pairs.Clear();
  table.sbcs_map = sbcs_map;
  table.lead_map.swap(lead_map);
}

}  // namespace svregistration
