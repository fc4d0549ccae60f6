// Fuzz target of the line normaliser: the first byte chooses the options (tab expansion, the
// sequence-number columns, shift-out/shift-in handling and the lead-byte table), the rest is the
// source. The run-at-a-time normaliser must give what a literal byte-at-a-time reading of the
// rules gives, both in its output and in the spaces it turns into SI in the source.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "registration/normaliser.h"

namespace {

using svregistration::registration::NormaliserOptions;

// The rules read literally, one byte at a time, with the output growing by 1024 bytes.
std::vector<std::uint8_t> Reference(std::vector<std::uint8_t>& src, const NormaliserOptions& o) {
  if (src.empty()) return {};
  std::vector<std::uint8_t> out(src.size());
  std::size_t i = 0, pos = 0, col = 0, last = 0;
  bool trail = false, in_dbcs = false;
  auto append = [&](std::uint8_t b) {
    if (pos >= out.size()) out.resize(out.size() + 1024);
    out[pos++] = b;
    ++col;
    if (b != ' ' && b != '\t' && b != '\r' && b != '\n') last = pos;
  };
  while (i < src.size()) {
    std::uint8_t b = src[i++];
    if (trail) {
      append(b);
      last = pos;
      trail = false;
      in_dbcs = true;
      continue;
    }
    bool special = b == '\r' || b == '\n' || b == '\t';
    if (o.remove_lead_numeration && col < 6 && !special) b = ' ';
    if (o.remove_numeration && col > 71 && !special) b = ' ';
    if (b == '\t') {
      std::size_t stop = (col & ~std::size_t{7}) + 7;
      if (o.expand_tabs) {
        b = ' ';
        while (col < stop) append(' ');
      }
      col = stop;
    }
    if (o.lead_byte[b]) {
      if (o.convert_sosi && o.sosi_removed) {
        if (!in_dbcs) append(0x0E);
      } else if (o.convert_sosi) {
        if (pos > 0 && !in_dbcs && out[pos - 1] == ' ') out[pos - 1] = 0x0E;
        if (i < src.size() - 1 && src[i + 1] == ' ') src[i + 1] = 0x0F;
      }
      trail = true;
    } else {
      if (o.convert_sosi && in_dbcs && o.sosi_removed) append(0x0F);
      in_dbcs = false;
    }
    append(b);
    if (b == '\n') {
      if (o.remove_numeration) {
        pos = last;
        append('\r');
        append('\n');
      }
      col = 0;
      last = pos;
    }
  }
  out.resize(pos);
  return out;
}

NormaliserOptions OptionsFrom(std::uint8_t bits) {
  NormaliserOptions o;
  o.expand_tabs = (bits & 0x01) != 0;
  o.remove_numeration = (bits & 0x02) != 0;
  o.remove_lead_numeration = (bits & 0x04) != 0;
  o.convert_sosi = (bits & 0x08) != 0;
  o.sosi_removed = (bits & 0x10) != 0;
  switch ((bits >> 5) & 0x03) {
    case 1:  // lead bytes 81-9F and E0-FC
      for (std::size_t b = 0x81; b <= 0x9F; ++b) o.lead_byte[b] = true;
      for (std::size_t b = 0xE0; b <= 0xFC; ++b) o.lead_byte[b] = true;
      break;
    case 2:  // lead bytes 81-FE
      for (std::size_t b = 0x81; b <= 0xFE; ++b) o.lead_byte[b] = true;
      break;
    default:  // no double-byte characters
      break;
  }
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  NormaliserOptions options = OptionsFrom(data[0]);
  std::vector<std::uint8_t> source(data + 1, data + size);
  std::vector<std::uint8_t> expected_source = source;
  std::vector<std::uint8_t> expected = Reference(expected_source, options);
  std::vector<std::uint8_t> actual = svregistration::registration::NormaliseSource(source, options);
  svregistration::fuzz::Require(actual == expected, "normalised bytes differ from the rules");
  svregistration::fuzz::Require(source == expected_source,
                                "the source was changed differently from the rules");
  return 0;
}
