// CCSID::ToEBCDIC: text to EBCDIC bytes in 80-byte records.
//
// Each 16-bit code unit goes through the reverse map. A code of 256 or more is a pair, written
// lead byte first (the code's low byte) and opened with a shift-out when the output is not
// shifted; a single byte in a shifted run is preceded by a shift-in. A code of 14 or 15 switches
// the shifted state itself. CR is dropped; LF ends the shifted state without writing a shift-in and
// pads the output with the host space to the next multiple of 80 bytes (nothing when it is on a
// record boundary already). The text after the last LF is not padded and a run at the very end is
// not closed. An empty text gives no bytes.
//
// Choices where the table could hold values a byte cannot:
//   - the host space is the low byte of the code of U+0020 (a pair code there would not fit);
//   - a reverse-map entry is read as an unsigned value: one above 0xFFFF is written as a pair of
//     its two low bytes.
//
// Speed: the text is processed in chunks; before each chunk the output grows to hold the chunk's
// worst case (3 bytes per unit and one record's padding), and each LF, already off the fast path,
// makes sure of room for its padding, so the loop itself never checks room for characters. The
// output's memory is reserved once for the usual size and made valid as the writing advances.
// Plain single bytes outside a run, and pairs inside one, take a fast path.
#include <algorithm>
#include <cstring>

#include "codepage/table.h"
#include "os/byte_buffer.h"

namespace svregistration {

namespace {

using codepage::kRecordLength;
using codepage::kShiftIn;
using codepage::kShiftOut;

constexpr std::size_t kChunk = 8192;
constexpr std::size_t kGrowth = 1 << 16;  // how far the valid output runs ahead of the writing

}  // namespace

void codepage::EncodeText(codepage::Table& table, std::u16string_view text,
                          std::vector<std::uint8_t>& out) {
  out.clear();
  // Built even for an empty text, so that a later Load does not change what encoding gives.
  if (!table.reverse_map) BuildReverseMap(table);
  if (text.empty()) return;
  const std::int32_t* reverse = table.reverse_map->data();
  const auto space = static_cast<std::uint8_t>(reverse[u' '] & 0xFF);

  const char16_t* src = text.data();
  const std::size_t size = text.size();
  // Room for the usual case is reserved (address space only); the bytes are then made valid a
  // chunk at a time, just before they are written, so no page is touched twice.
  out.reserve(2 * size + 3 * std::min(size, kChunk) + kRecordLength);
  os::AdviseHugePages(out.data(), out.capacity());
  std::size_t n = 0;
  bool shifted = false;
  // Room after `used` bytes for 3 bytes per unit still to come and one record's padding.
  auto make_room = [&out](std::size_t used, std::size_t units) {
    std::size_t need = used + 3 * units + kRecordLength;
    if (out.size() < need) out.resize(std::max(need, std::min(out.capacity(), need + kGrowth)));
  };

  for (std::size_t chunk = 0; chunk < size; chunk += kChunk) {
    const std::size_t chunk_end = std::min(size, chunk + kChunk);
    make_room(n, chunk_end - chunk);
    std::uint8_t* base = out.data();
    std::uint8_t* o = base + n;

    for (std::size_t i = chunk; i < chunk_end; ++i) {
      if (!shifted) {
        // Plain single bytes four at a time: no control code, no SO/SI, no CR/LF among them.
        while (chunk_end - i >= 4) {
          const char16_t* c4 = src + i;
          const auto k0 = static_cast<std::uint32_t>(reverse[c4[0]]);
          const auto k1 = static_cast<std::uint32_t>(reverse[c4[1]]);
          const auto k2 = static_cast<std::uint32_t>(reverse[c4[2]]);
          const auto k3 = static_cast<std::uint32_t>(reverse[c4[3]]);
          const bool plain = (c4[0] > u'\r') & (c4[1] > u'\r') & (c4[2] > u'\r') & (c4[3] > u'\r') &
                             (k0 - 16u < 240u) & (k1 - 16u < 240u) & (k2 - 16u < 240u) &
                             (k3 - 16u < 240u);
          if (!plain) break;
          o[0] = static_cast<std::uint8_t>(k0);
          o[1] = static_cast<std::uint8_t>(k1);
          o[2] = static_cast<std::uint8_t>(k2);
          o[3] = static_cast<std::uint8_t>(k3);
          o += 4;
          i += 4;
        }
        if (i == chunk_end) break;
      }
      const char16_t c = src[i];
      const auto code = static_cast<std::uint32_t>(reverse[c]);
      if (!shifted) {
        // Fast path: a plain single byte (neither a control code, nor SO/SI, nor CR/LF).
        if (c > u'\r' && code - 16u < 240u) [[likely]] {
          *o++ = static_cast<std::uint8_t>(code);
          continue;
        }
      } else if (c > u'\r' && code >= 256) [[likely]] {
        o[0] = static_cast<std::uint8_t>(code & 0xFF);
        o[1] = static_cast<std::uint8_t>((code >> 8) & 0xFF);
        o += 2;
        continue;
      }
      if (c == u'\r') continue;
      if (c == u'\n') {
        shifted = false;
        const auto written = static_cast<std::size_t>(o - base);
        make_room(written, chunk_end - i);
        base = out.data();
        o = base + written;
        std::size_t used = written % kRecordLength;
        if (used != 0) {
          std::memset(o, space, kRecordLength - used);
          o += kRecordLength - used;
        }
        continue;
      }
      if (code == kShiftOut || code == kShiftIn) shifted = code == kShiftOut;
      if (code >= 256) {
        if (!shifted) {
          shifted = true;
          *o++ = kShiftOut;
        }
        o[0] = static_cast<std::uint8_t>(code & 0xFF);
        o[1] = static_cast<std::uint8_t>((code >> 8) & 0xFF);
        o += 2;
      } else {
        if (shifted && code != kShiftOut) {
          shifted = false;
          *o++ = kShiftIn;
        }
        *o++ = static_cast<std::uint8_t>(code);
      }
    }
    n = static_cast<std::size_t>(o - base);
  }
  out.resize(n);
}

std::vector<std::uint8_t> CCSID::ToEBCDIC(const std::u16string& Source) {
  std::vector<std::uint8_t> out;
  codepage::EncodeText(*table_, Source, out);
  return out;
}

}  // namespace svregistration
