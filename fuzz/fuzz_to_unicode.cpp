// Fuzz target of CCSID::ToUnicode: the first byte chooses the table, the rest are EBCDIC records,
// converted with every way of treating the shift-out/shift-in bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz_codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  svregistration::fuzz::ConvertBothWays(svregistration::fuzz::ConversionTable(data[0]),
                                        {data + 1, data + size}, u"");
  return 0;
}
