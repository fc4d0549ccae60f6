// What the code page fuzz targets share: the tables they convert with, filled once from ICU's
// converters (ibm-930, single bytes and pairs in shift-out/shift-in runs; ibm-37, single bytes).
#pragma once

#include <cstdint>
#include <memory>

#include "svregistration/ccsid.h"
#include "svregistration/icu_table.h"

namespace svregistration::fuzz {

/// The table `choice` names: odd is ibm-37, even ibm-930.
inline CCSID& ConversionTable(std::uint8_t choice) {
  static const std::unique_ptr<CCSID> mixed = [] {
    auto table = std::make_unique<CCSID>();
    FillFromIcu(*table, "ibm-930");
    return table;
  }();
  static const std::unique_ptr<CCSID> single = [] {
    auto table = std::make_unique<CCSID>();
    FillFromIcu(*table, "ibm-37");
    return table;
  }();
  return (choice & 1) != 0 ? *single : *mixed;
}

}  // namespace svregistration::fuzz
