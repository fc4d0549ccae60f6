// Fuzz target of CCSID::ToUnicode: the first byte chooses the table, the rest are EBCDIC records,
// converted with every way of treating the shift-out/shift-in bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_codepage.h"
#include "svregistration/error.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  svregistration::CCSID& table = svregistration::fuzz::ConversionTable(data[0]);
  std::vector<std::uint8_t> records(data + 1, data + size);
  for (auto keep :
       {svregistration::SOSIKeepType::KeepAll, svregistration::SOSIKeepType::RemoveAll,
        svregistration::SOSIKeepType::KeepInLiterals, svregistration::SOSIKeepType::ReplaceAll}) {
    try {
      table.ToUnicode(records, keep);
    } catch (const svregistration::Error&) {
    }
  }
  return 0;
}
