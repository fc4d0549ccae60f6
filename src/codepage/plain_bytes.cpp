// Plain single-byte runs with AVX-512 byte permutes: the 256-entry tables sit in four registers
// each, and two two-register permutes (bytes below and from 0x80) give 64 lookups. Runs end at a
// byte whose stop entry is set; the last stretch of a run is loaded and stored under a mask.
#include "codepage/plain_bytes.h"

#include <cstring>

#include "runtime/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SVREG_PLAIN_BYTES_VBMI 1
#endif

namespace svregistration::codepage {

#ifdef SVREG_PLAIN_BYTES_VBMI
// GCC 12's AVX-512 intrinsics start some results from an undefined register and then warn that
// it may be used uninitialized (a known false positive of those headers).
// Clang has no such warning and would warn of the unknown name instead.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
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

// The characters of the bytes of `chars` (low bytes) and `highs`, widened: the first 32 of them
// with `upper` false, the next 32 with it true.
[[SVREG_VBMI_TARGET]] inline __m512i Widen(__m512i chars, __m512i highs, bool any_high,
                                           bool upper) {
  __m512i wide = upper ? WidenUpper(chars) : _mm512_cvtepu8_epi16(_mm512_castsi512_si256(chars));
  if (!any_high) return wide;
  __m512i high = upper ? WidenUpper(highs) : _mm512_cvtepu8_epi16(_mm512_castsi512_si256(highs));
  return _mm512_or_si512(wide, _mm512_slli_epi16(high, 8));
}

[[SVREG_VBMI_TARGET]] std::size_t PlainRecordsVbmi(const PlainByteTables& tables,
                                                   const std::uint8_t* data, std::size_t from,
                                                   std::size_t limit, char16_t*& out) {
  constexpr std::size_t kRecord = 80;
  constexpr __mmask64 kRest = (__mmask64{1} << (kRecord - 64)) - 1;
  const ByteTable low = LoadTable(tables.low);
  const ByteTable high = LoadTable(tables.high);
  const __m512i shift_out = _mm512_set1_epi8(0x0E);
  const __m512i shift_in = _mm512_set1_epi8(0x0F);
  const std::uint32_t line_end = 0x000A000D;  // CR LF
  std::size_t i = from;
  char16_t* o = out;
  while (limit - i > kRecord) {
    __m512i head = _mm512_loadu_si512(data + i);
    __m512i rest = _mm512_maskz_loadu_epi8(kRest, data + i + 64);
    __mmask64 shifts =
        _mm512_cmpeq_epi8_mask(head, shift_out) | _mm512_cmpeq_epi8_mask(head, shift_in) |
        ((_mm512_cmpeq_epi8_mask(rest, shift_out) | _mm512_cmpeq_epi8_mask(rest, shift_in)) &
         kRest);
    if (shifts != 0) break;
    __mmask64 head_upper = _mm512_movepi8_mask(head);
    __mmask64 rest_upper = _mm512_movepi8_mask(rest);
    __m512i head_chars = Lookup(low, head, head_upper);
    __m512i rest_chars = Lookup(low, rest, rest_upper);
    __m512i head_highs = head_chars, rest_highs = rest_chars;
    if (tables.any_high) {
      head_highs = Lookup(high, head, head_upper);
      rest_highs = Lookup(high, rest, rest_upper);
    }
    _mm512_storeu_si512(o, Widen(head_chars, head_highs, tables.any_high, false));
    _mm512_storeu_si512(o + 32, Widen(head_chars, head_highs, tables.any_high, true));
    _mm512_mask_storeu_epi16(o + 64, 0xFFFF, Widen(rest_chars, rest_highs, tables.any_high, false));
    std::memcpy(o + kRecord, &line_end, sizeof line_end);
    o += kRecord + 2;
    i += kRecord;
  }
  out = o;
  return i;
}

}  // namespace
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

PlainRecordsFn VectorPlainRecords() {
#ifdef SVREG_PLAIN_BYTES_VBMI
  if (runtime::UseAvx512Vbmi()) return &PlainRecordsVbmi;
#endif
  return nullptr;
}

PlainRunFn VectorPlainRun() {
#ifdef SVREG_PLAIN_BYTES_VBMI
  if (runtime::UseAvx512Vbmi()) return &PlainRunVbmi;
#endif
  return nullptr;
}

}  // namespace svregistration::codepage
