// Runs of plain single bytes (bytes whose only effect is to append their character) converted to
// UTF-16 by table lookups, 64 bytes at a time where the processor can look up a 256-entry byte
// table in one step.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace svregistration::codepage {

/// A byte's character split in its two bytes, and whether the byte ends a plain run.
struct PlainByteTables {
  alignas(64) std::array<std::uint8_t, 256> low{};
  alignas(64) std::array<std::uint8_t, 256> high{};
  alignas(64) std::array<std::uint8_t, 256> stops{};  // nonzero: not a plain byte
  bool any_high = false;                              // some character above U+00FF
};

/// Converts the plain bytes data[from, to) up to the first byte that is not plain, writing their
/// characters at `out` and moving it on; answers where it stopped.
using PlainRunFn = std::size_t (*)(const PlainByteTables& tables, const std::uint8_t* data,
                                   std::size_t from, std::size_t to, char16_t*& out);

/// Converts whole 80-byte records from data[from] (a record's first byte) while a record holds
/// no shift-out or shift-in byte and more input than the record lies before `limit`: each becomes
/// its 80 characters and CR LF. Inside such a record quotes change nothing that shows, since the
/// state they set ends with the record. Answers where it stopped (a record's first byte).
using PlainRecordsFn = std::size_t (*)(const PlainByteTables& tables, const std::uint8_t* data,
                                       std::size_t from, std::size_t limit, char16_t*& out);

/// The vector forms for this processor, or nullptr when there is none (the caller's own loop
/// then converts the runs).
PlainRunFn VectorPlainRun();
PlainRecordsFn VectorPlainRecords();

}  // namespace svregistration::codepage
