// Memory advice for the large output buffers of the conversions.
#include <sys/mman.h>

#include <cstdint>

#include "codepage/table.h"

namespace svregistration::codepage {

void AdviseHugePages(void* start, std::size_t length) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kPage = 4096;
  constexpr std::size_t kWorthIt = std::size_t{8} << 20;
  if (start == nullptr || length < kWorthIt) return;
  auto first = (reinterpret_cast<std::uintptr_t>(start) + kPage - 1) & ~(kPage - 1);
  auto last = (reinterpret_cast<std::uintptr_t>(start) + length) & ~(kPage - 1);
  // Advice that the system does not take (no huge pages, or not on request) changes nothing.
  ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)start;
  (void)length;
#endif
}

}  // namespace svregistration::codepage
