// The bytes of 32 that the line normaliser must look at: LF, TAB and bytes of 0x80 and above (the
// candidates for lead bytes), as bit masks, bit k for byte k. One portable reading and one with
// AVX2 instructions, compiled for that processor feature alone and chosen at run time. The
// callers flatten the scan into a function of the same target, so nothing here is called.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SVREG_LINE_SCAN_AVX2 1
#endif

namespace svregistration::registration {

struct LineMasks {
  std::uint32_t lf = 0;
  std::uint32_t tab = 0;
  std::uint32_t high = 0;
  std::uint32_t kept = 0;  // neither space, TAB, CR nor LF: kept by the trimming at a line end
};

/// One byte at a time; the compiler may widen it with the instructions every build has.
struct PortableLineScan {
  static constexpr std::size_t kCopyStep = 16;

  static inline void CopyStep(std::uint8_t* to, const std::uint8_t* from) {
    std::memcpy(to, from, kCopyStep);
  }

  static inline LineMasks Block(const std::uint8_t* bytes) {
    LineMasks m;
    for (unsigned k = 0; k < 32; ++k) {
      m.lf |= static_cast<std::uint32_t>(bytes[k] == 0x0A) << k;
      m.tab |= static_cast<std::uint32_t>(bytes[k] == 0x09) << k;
      m.high |= static_cast<std::uint32_t>(bytes[k] >> 7) << k;
      const bool blank =
          bytes[k] == 0x20 || bytes[k] == 0x09 || bytes[k] == 0x0D || bytes[k] == 0x0A;
      m.kept |= static_cast<std::uint32_t>(!blank) << k;
    }
    return m;
  }

  /// The length of bytes[0, n) without its trailing spaces and CRs.
  static inline std::size_t TrimBlanks(const std::uint8_t* bytes, std::size_t n) {
    while (n > 0 && (bytes[n - 1] == 0x20 || bytes[n - 1] == 0x0D)) --n;
    return n;
  }
};

#ifdef SVREG_LINE_SCAN_AVX2
struct Avx2LineScan {
  static constexpr std::size_t kCopyStep = 32;

  [[gnu::target("avx2")]] static inline void CopyStep(std::uint8_t* to, const std::uint8_t* from) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to),
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from)));
  }

  [[gnu::target("avx2")]] static inline LineMasks Block(const std::uint8_t* bytes) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
    __m256i lf = _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x0A));
    __m256i tab = _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x09));
    __m256i blank = _mm256_or_si256(_mm256_or_si256(lf, tab),
                                    _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x20)),
                                                    _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x0D))));
    LineMasks m;
    m.lf = static_cast<std::uint32_t>(_mm256_movemask_epi8(lf));
    m.tab = static_cast<std::uint32_t>(_mm256_movemask_epi8(tab));
    m.high = static_cast<std::uint32_t>(_mm256_movemask_epi8(v));
    m.kept = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(blank));
    return m;
  }

  [[gnu::target("avx2")]] static inline std::size_t TrimBlanks(const std::uint8_t* bytes,
                                                               std::size_t n) {
    while (n >= 32) {
      __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + n - 32));
      __m256i blank = _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x20)),
                                      _mm256_cmpeq_epi8(v, _mm256_set1_epi8(0x0D)));
      auto kept = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(blank));
      if (kept != 0) return n - static_cast<std::size_t>(__builtin_clz(kept));
      n -= 32;
    }
    return PortableLineScan::TrimBlanks(bytes, n);
  }
};
#endif

/// One past the last bit set among bits [low, high) of `masks` (32 to an element); 0 when none.
inline std::size_t LastBitIn(const std::uint32_t* masks, std::size_t low, std::size_t high) {
  for (std::size_t b = (high - 1) / 32;; --b) {
    std::uint32_t m = masks[b];
    if (high - 32 * b < 32) m &= (1u << (high - 32 * b)) - 1;
    if (b == low / 32) m &= ~0u << (low - 32 * b);
    if (m != 0) return 32 * b + 32 - static_cast<std::size_t>(__builtin_clz(m));
    if (b == low / 32) return 0;
  }
}

/// The masks of the `size` (< 32) bytes at the end of a piece; the rest reads as zeros.
template <class Scan>
inline LineMasks TailMasks(const std::uint8_t* bytes, std::size_t size) {
  std::uint8_t padded[32] = {};
  std::memcpy(padded, bytes, size);
  return Scan::Block(padded);
}

}  // namespace svregistration::registration
