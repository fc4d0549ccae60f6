// Large byte buffers for whole-file work. A buffer of many MiB is backed by huge pages where the
// system allows it, so that filling it costs a page fault per 2 MiB instead of per 4 KiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace svregistration::os {

/// A buffer of `size` bytes (zero-filled).
std::vector<std::uint8_t> AllocateBytes(std::size_t size);

/// Grows `buffer` to `size` bytes, keeping its contents, with the same page advice.
void GrowBytes(std::vector<std::uint8_t>& buffer, std::size_t size);

/// Advises the system to back a large block with huge pages (fewer page faults to fill it).
void AdviseHugePages(void* start, std::size_t length);

}  // namespace svregistration::os
