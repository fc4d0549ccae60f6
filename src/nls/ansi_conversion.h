// Unicode text to a Windows ANSI code page and back, through ICU. Characters a code page lacks
// take its best-fit bytes when it has some (U+301C is 0x8160 in 932), else its default character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace svregistration::nls {

/// The bytes of `text` in `code_page`; characters the code page lacks take their best-fit
/// bytes, or else become its default character. Raises Error (number 5, invalid procedure
/// call) for a code page ICU cannot open.
std::vector<std::uint8_t> UnicodeToAnsi(std::u16string_view text, std::uint32_t code_page);

/// The text of `bytes` read in `code_page`.
std::u16string AnsiToUnicode(const std::uint8_t* bytes, std::size_t size, std::uint32_t code_page);

/// One character's value in `code_page` as a signed 16-bit number: a single byte gives 0-255, a
/// pair gives lead * 256 + trail read as signed 16 bits, a missing character the default character.
std::int16_t AnsiCode(char16_t ch, std::uint32_t code_page);

}  // namespace svregistration::nls
