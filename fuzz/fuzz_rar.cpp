// Fuzz target of RAR::Extract: the input is written as an archive and extracted into a fresh
// folder; nothing may land beside that folder, and no link it holds may lead out of it.
#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "svregistration/rar.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  svregistration::fuzz::ExtractAndCheck<svregistration::RAR>(data, size, "rar");
  return 0;
}
