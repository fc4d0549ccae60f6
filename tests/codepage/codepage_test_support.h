// Helpers of the code page tests (and the fuzz seeds): a small sample table and byte literals.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

#include "codepage/table.h"
#include "support/temp_dir.h"
#include "svregistration/ccsid.h"

namespace svregistration::testing {

/// A small EBCDIC-like table: letters, space, the two quotes, SO/SI as themselves, and pairs
/// under lead bytes 0x40 and 0x42. 0x43 is a single byte holding a CJK character, and 0x99 and
/// the pair 0x42 0xC3 are not mapped.
inline constexpr std::string_view kSampleMap =
    "<code_set_name> \"sample\"\nCHARMAP\n"
    "<U000E> \\x0E |0\n<U000F> \\x0F |0\n<U0020> \\x40 |0\n<U0022> \\x7F |0\n<U0027> \\x7D |0\n"
    "<U0041> \\xC1 |0\n<U0042> \\xC2 |0\n<U0043> \\xC3 |0\n<U0047> \\xC7 |0\n<U0067> \\x87 |0\n"
    "<U00E2> \\x42 |0\n<U4E00> \\x43 |0\n<U3000> \\x40\\x40 |0\n<UFF10> \\x40\\xC1 |0\n"
    "<UFF21> \\x42\\xC1 |0\n<UFF22> \\x42\\xC2 |0\nEND CHARMAP\n";

/// Bytes{0xC1, 0x0E} for the bytes themselves, Bytes(78, 0x40) for one byte repeated.
using Bytes = std::vector<std::uint8_t>;

inline Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

/// A table imported from character map text written to a fresh file.
inline std::unique_ptr<CCSID> ImportText(const TempDir& dir, std::string_view text,
                                         std::string_view name = "map.ucm") {
  auto table = std::make_unique<CCSID>();
  table->Import(dir.Write(name, text), 0);
  return table;
}

}  // namespace svregistration::testing
