// CCSID: construction, the two properties and the lookups of single bytes and pairs.
#include "svregistration/ccsid.h"

#include "codepage/table.h"

namespace svregistration {

CCSID::CCSID() : table_(std::make_unique<codepage::Table>()) {}
CCSID::~CCSID() = default;

const std::string& CCSID::FileName() const { return table_->file_name; }
void CCSID::SetFileName(std::string file_name) { table_->file_name = std::move(file_name); }
std::int32_t CCSID::CcsidNumber() const { return table_->ccsid; }
void CCSID::SetCcsidNumber(std::int32_t ccsid) { table_->ccsid = ccsid; }

bool CCSID::isSBCS(std::uint8_t b) const { return table_->lead_map[b].is_lead == 0; }
bool CCSID::isDBCS(std::uint8_t b) const { return table_->lead_map[b].is_lead != 0; }

std::int16_t CCSID::SBCStoUnicode(std::uint8_t b) const {
  return static_cast<std::int16_t>(table_->sbcs_map[b]);
}

// The lead flag is not consulted: a byte with a trail map answers from it whatever its flag says.
std::int16_t CCSID::DBCStoUnicode(std::uint8_t b0, std::uint8_t b1) const {
  const auto& trail_map = table_->lead_map[b0].trail_map;
  std::uint16_t unicode = trail_map ? (*trail_map)[b1] : 0;
  if (unicode == 0) unicode = 0xFFFD;
  return static_cast<std::int16_t>(unicode);
}

void CCSID::MapUnmappedSingleByte(std::uint8_t b, std::uint16_t unicode) {
  if (table_->sbcs_map[b] != 0) return;
  table_->sbcs_map[b] = unicode;
  table_->ansi_pairs.Clear();
}

}  // namespace svregistration
