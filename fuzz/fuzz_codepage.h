// What the code page fuzz targets share: the tables they convert with, filled once from ICU's
// converters (ibm-930, single bytes and pairs in shift-out/shift-in runs; ibm-37, single bytes),
// and the conversions every table must survive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "svregistration/ccsid.h"
#include "svregistration/error.h"
#include "svregistration/icu_table.h"

namespace svregistration::fuzz {

/// The table `choice` names: odd is ibm-37, even ibm-930.
inline CCSID& ConversionTable(std::uint8_t choice) {
  static CCSID tables[2];
  static const bool filled = [] {
    FillFromIcu(tables[0], "ibm-930");
    FillFromIcu(tables[1], "ibm-37");
    return true;
  }();
  (void)filled;
  return tables[choice & 1];
}

/// Converts the records with every way of treating the shift-out/shift-in bytes, and the text to
/// records and back: whatever the table holds, only the library's Error may escape.
inline void ConvertBothWays(CCSID& table, const std::vector<std::uint8_t>& records,
                            const std::u16string& text) {
  for (auto keep : {SOSIKeepType::KeepAll, SOSIKeepType::RemoveAll, SOSIKeepType::KeepInLiterals,
                    SOSIKeepType::ReplaceAll}) {
    try {
      table.ToUnicode(records, keep);
    } catch (const Error&) {
    }
  }
  try {
    table.ToUnicode(table.ToEBCDIC(text), SOSIKeepType::KeepAll);
  } catch (const Error&) {
  }
}

}  // namespace svregistration::fuzz
