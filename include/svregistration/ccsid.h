// CCSID: one EBCDIC code page table (single bytes, double-byte pairs, the reverse map) with its
// character map import, binary table file, and conversions of 80-byte records to and from Unicode.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/results.h"

namespace svregistration {

class CCSID;

namespace codepage {
struct Table;
/// The library's own way to the maps behind a CCSID.
struct TableAccess;
}  // namespace codepage

class SVREG_API CCSID {
 public:
  CCSID();
  ~CCSID();
  CCSID(const CCSID&) = delete;
  CCSID& operator=(const CCSID&) = delete;

  /// The file named to the last Import, Save or Load.
  const std::string& FileName() const;
  void SetFileName(std::string file_name);
  /// The coded character set id given to the last Import or Load (the CCSID property).
  std::int32_t CcsidNumber() const;
  void SetCcsidNumber(std::int32_t ccsid);

  bool isSBCS(std::uint8_t b) const;
  bool isDBCS(std::uint8_t b) const;
  std::int16_t SBCStoUnicode(std::uint8_t b) const;
  std::int16_t DBCStoUnicode(std::uint8_t b0, std::uint8_t b1) const;

  /// Gives the single byte `b` the character `unicode` when no character has it yet: a table made
  /// from a converter that takes the shift bytes for changes of state gets them as characters.
  void MapUnmappedSingleByte(std::uint8_t b, std::uint16_t unicode);

  /// Builds the table from a character map file.
  void Import(const std::string& aFileName, std::int32_t aCCSID);
  /// Writes the table to a code page table file.
  void Save(const std::string& aFileName);
  /// Reads a code page table file; on failure the table stays as it was.
  void Load(const std::string& aFileName, std::int32_t aCCSID);

  /// EBCDIC 80-byte records with SO/SI double-byte runs to lines of text joined by CR LF.
  std::u16string ToUnicode(const std::vector<std::uint8_t>& DBCS_Buffer, SOSIKeepType KeepSOSI);
  /// Text to EBCDIC 80-byte records.
  std::vector<std::uint8_t> ToEBCDIC(const std::u16string& Source);

 private:
  friend struct codepage::TableAccess;
  std::unique_ptr<codepage::Table> table_;
};

/// Import of a file that must be a character map: one without a CHARMAP section that maps a
/// character ("<U0041> \xC1 |0") is refused with Error 5, naming the file, before the table
/// changes; a file that cannot be read is Error 53. CCSID::Import reads such a file as an empty
/// map.
SVREG_API void ImportCharacterMap(CCSID& table, const std::string& file_name, std::int32_t ccsid);

}  // namespace svregistration
