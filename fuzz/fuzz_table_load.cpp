// Fuzz target of CCSID::Load: the input is written as a code page table file and loaded. Whatever
// it holds, the load either raises the library's Error or gives a table that converts records
// both ways without fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_codepage.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  svregistration::CCSID table;
  try {
    table.Load(svregistration::fuzz::WriteInput(data, size, "table.tbl"), 0);
  } catch (const svregistration::Error&) {
    return 0;
  }
  std::vector<std::uint8_t> records = {0xC1, 0x40, 0x0E, 0x44, 0x5A, 0x45, 0x41, 0x0F, 0x7D,
                                       0x0E, 0x81, 0x0F, 0x7D, 0x40, 0xF1, 0xFF, 0x00, 0x0E};
  records.resize(200, 0x40);
  svregistration::fuzz::ConvertBothWays(table, records,
                                        u"ABC abc \u3000\u4e00\uff21 'x' 123\r\nnext line\u00e9");
  return 0;
}
