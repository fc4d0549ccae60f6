// The line normaliser's rules read literally, one byte at a time, for the normaliser's tests and
// its fuzz target to hold the run-at-a-time normaliser to; and its options from a set of bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "normaliser/normaliser.h"

namespace svregistration::testing {

/// The option bits; bits 5 and 6 choose the lead bytes: none, kSjis (81-9F and E0-FC) or 81-FE.
enum NormaliserBits : unsigned {
  kTabs = 0x01,
  kNumeration = 0x02,
  kLead = 0x04,
  kSosi = 0x08,
  kSosiRemoved = 0x10,
  kSjis = 0x20,
};

inline registration::NormaliserOptions OptionsFromBits(unsigned bits) {
  registration::NormaliserOptions o;
  o.expand_tabs = (bits & kTabs) != 0;
  o.remove_numeration = (bits & kNumeration) != 0;
  o.remove_lead_numeration = (bits & kLead) != 0;
  o.convert_sosi = (bits & kSosi) != 0;
  o.sosi_removed = (bits & kSosiRemoved) != 0;
  const unsigned lead = (bits >> 5) & 0x03;
  for (std::size_t b = 0x81; b <= 0xFE; ++b) {
    o.lead_byte[b] = lead == 2 || (lead == 1 && (b <= 0x9F || (b >= 0xE0 && b <= 0xFC)));
  }
  return o;
}

/// The normalised bytes; like the normaliser, it turns into SI the spaces of `src` that stand
/// for one. The output grows by 1024 bytes at a time.
inline std::vector<std::uint8_t> ReferenceNormalise(std::vector<std::uint8_t>& src,
                                                    const registration::NormaliserOptions& o) {
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

}  // namespace svregistration::testing
