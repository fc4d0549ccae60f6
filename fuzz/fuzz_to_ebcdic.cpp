// Fuzz target of CCSID::ToEBCDIC: the first byte chooses the table, the rest is UTF-16 text
// (little-endian pairs of bytes). The records made must convert back without fault.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_codepage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::u16string text;
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  svregistration::fuzz::ConvertBothWays(svregistration::fuzz::ConversionTable(data[0]), {}, text);
  return 0;
}
