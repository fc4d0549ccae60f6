// Generated 80-column legacy source text for the benchmarks: about 40% of the lines with TABs,
// sequence numbers in columns 73-80, and some Shift-JIS lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace svregistration::bench {

std::vector<std::uint8_t> GenerateSourceText(std::size_t bytes, unsigned seed = 1);

}  // namespace svregistration::bench
