// Huge-page advice for large buffers.
#include "os/byte_buffer.h"

#include <sys/mman.h>

#include <cstring>

namespace svregistration::os {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Advises huge pages for the whole 2 MiB pages inside the (not yet touched) capacity.
void AdviseHugePages(std::vector<std::uint8_t>& buffer) {
  os::AdviseHugePages(buffer.data(), buffer.capacity());
}

}  // namespace

// The huge pages wholly inside the block; a block of fewer than two is not worth the advice.
void AdviseHugePages(void* start, std::size_t length) {
  if (start == nullptr || length < 2 * kHugePage) return;
  auto begin = reinterpret_cast<std::uintptr_t>(start);
  std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  std::uintptr_t last = (begin + length) & ~(kHugePage - 1);
  if (last > first) {
    // Advice only: where huge pages are off this changes nothing.
    ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
}

std::vector<std::uint8_t> AllocateBytes(std::size_t size) {
  std::vector<std::uint8_t> buffer;
  buffer.reserve(size);
  AdviseHugePages(buffer);
  buffer.resize(size);
  return buffer;
}

void GrowBytes(std::vector<std::uint8_t>& buffer, std::size_t size) {
  if (size <= buffer.capacity()) {
    buffer.resize(size);
    return;
  }
  std::vector<std::uint8_t> grown;
  grown.reserve(size);
  AdviseHugePages(grown);
  grown.resize(size);
  if (!buffer.empty()) std::memcpy(grown.data(), buffer.data(), buffer.size());
  buffer.swap(grown);
}

}  // namespace svregistration::os
