// Fuzz target of the line normaliser: the first byte chooses the options (tab expansion, the
// sequence-number columns, shift-out/shift-in handling and the lead-byte table), the rest is the
// source. The run-at-a-time normaliser must give what a literal byte-at-a-time reading of the
// rules gives, both in its output and in the spaces it turns into SI in the source.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "support/normaliser_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto options = svregistration::testing::OptionsFromBits(data[0]);
  std::vector<std::uint8_t> source(data + 1, data + size);
  std::vector<std::uint8_t> expected_source = source;
  std::vector<std::uint8_t> expected =
      svregistration::testing::ReferenceNormalise(expected_source, options);
  std::vector<std::uint8_t> actual = svregistration::registration::NormaliseSource(source, options);
  svregistration::fuzz::Require(actual == expected, "normalised bytes differ from the rules");
  svregistration::fuzz::Require(source == expected_source,
                                "the source was changed differently from the rules");
  return 0;
}
