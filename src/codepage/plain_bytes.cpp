// Plain single-byte runs with AVX-512 byte permutes: the 256-entry tables sit in four registers
// each, and two two-register permutes (bytes below and from 0x80) give 64 lookups. Runs end at a
// byte whose stop entry is set; the last stretch of a run is loaded and stored under a mask.
#include "codepage/plain_bytes.h"

#include "platform/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SVREG_PLAIN_BYTES_VBMI 1
#endif

namespace svregistration::codepage {

#ifdef SVREG_PLAIN_BYTES_VBMI
// GCC 12's AVX-512 intrinsics start some results from an undefined register and then warn that
// it may be used uninitialized (a known false positive of those headers).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
namespace {

#define SVREG_VBMI_TARGET gnu::target("avx512f,avx512bw,avx512vbmi")

struct ByteTable {
  __m512i part[4];
};

[[SVREG_VBMI_TARGET]] inline ByteTable LoadTable(const std::array<std::uint8_t, 256>& table) {
  ByteTable t;
  for (int k = 0; k < 4; ++k) t.part[k] = _mm512_load_si512(table.data() + 64 * k);
  return t;
}

[[SVREG_VBMI_TARGET]] inline __m512i Lookup(const ByteTable& t, __m512i bytes, __mmask64 upper) {
  __m512i below = _mm512_permutex2var_epi8(t.part[0], bytes, t.part[1]);
  __m512i above = _mm512_permutex2var_epi8(t.part[2], bytes, t.part[3]);
  return _mm512_mask_blend_epi8(upper, below, above);
}

// The upper 32 bytes widened to 16 bits each (the lower with _mm512_cvtepu8_epi16 of the cast).
[[SVREG_VBMI_TARGET]] inline __m512i WidenUpper(__m512i bytes) {
  return _mm512_cvtepu8_epi16(
      _mm512_castsi512_si256(_mm512_shuffle_i64x2(bytes, bytes, _MM_SHUFFLE(3, 2, 3, 2))));
}

[[SVREG_VBMI_TARGET]] std::size_t PlainRunVbmi(const PlainByteTables& tables,
                                               const std::uint8_t* data, std::size_t from,
                                               std::size_t to, char16_t*& out) {
  const ByteTable low = LoadTable(tables.low);
  const ByteTable stops = LoadTable(tables.stops);
  const ByteTable high = LoadTable(tables.high);
  std::size_t i = from;
  char16_t* o = out;
  while (i < to) {
    std::size_t n = to - i < 64 ? to - i : 64;
    __mmask64 valid = n == 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
    __m512i bytes = _mm512_maskz_loadu_epi8(valid, data + i);
    __mmask64 upper = _mm512_movepi8_mask(bytes);
    __m512i stop = Lookup(stops, bytes, upper);
    __mmask64 stopping = _mm512_test_epi8_mask(stop, stop) & valid;
    if (stopping != 0) {
      n = static_cast<std::size_t>(__builtin_ctzll(stopping));
      valid = (__mmask64{1} << n) - 1;  // n < 64 here
    }
    __m512i chars = Lookup(low, bytes, upper);
    __m512i first = _mm512_cvtepu8_epi16(_mm512_castsi512_si256(chars));
    __m512i second = WidenUpper(chars);
    if (tables.any_high) {
      __m512i highs = Lookup(high, bytes, upper);
      first = _mm512_or_si512(
          first, _mm512_slli_epi16(_mm512_cvtepu8_epi16(_mm512_castsi512_si256(highs)), 8));
      second = _mm512_or_si512(second, _mm512_slli_epi16(WidenUpper(highs), 8));
    }
    _mm512_mask_storeu_epi16(o, static_cast<__mmask32>(valid), first);
    _mm512_mask_storeu_epi16(o + 32, static_cast<__mmask32>(valid >> 32), second);
    o += n;
    i += n;
    if (stopping != 0) break;
  }
  out = o;
  return i;
}

}  // namespace
#pragma GCC diagnostic pop
#endif

PlainRunFn VectorPlainRun() {
#ifdef SVREG_PLAIN_BYTES_VBMI
  if (platform::UseAvx512Vbmi()) return &PlainRunVbmi;
#endif
  return nullptr;
}

}  // namespace svregistration::codepage
