// UTF-8 around CCSID: records decoded a piece at a time and written as UTF-8, and UTF-8 read as
// UTF-16. Runs of ASCII, most of any record, are copied with vector instructions.
#include "svregistration/record_text.h"

#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <cstdint>
#include <cstring>
#include <memory>

#include "runtime/cpu_features.h"
#include "svregistration/record_decoder.h"

namespace svregistration {

namespace {

#if defined(__x86_64__) || defined(__i386__)
/// ASCII units from `p` (32 at a time) written as bytes at `o`; answers how many.
[[gnu::target("avx2")]] std::size_t AsciiRunAvx2(const char16_t* p, const char16_t* end, char* o) {
  std::size_t done = 0;
  while (end - (p + done) >= 32) {
    __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + done));
    __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + done + 16));
    if (!_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_set1_epi16(-0x80))) break;
    // The pack works within 128-bit lanes; the permute puts the four quarters back in order.
    __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(low, high), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(o + done), bytes);
    done += 32;
  }
  return done;
}
#endif

/// Writes the UTF-8 form of UTF-16 text to `out`, which has room for 3 bytes per unit, and
/// answers its length; an unpaired surrogate becomes U+FFFD. Runs of ASCII are copied here with
/// vector instructions, and ICU encodes the rest: records are mostly ASCII, and ICU alone makes
/// decoding three times slower on them.
std::size_t EncodeUtf8(std::u16string_view text, char* out) {
  const char16_t* p = text.data();
  const char16_t* const end = p + text.size();
  char* o = out;
#if defined(__x86_64__) || defined(__i386__)
  static const bool wide = runtime::UseAvx2();
#endif
  while (p < end) {
#if defined(__x86_64__) || defined(__i386__)
    if (wide) {
      std::size_t ascii = AsciiRunAvx2(p, end, o);
      p += ascii;
      o += ascii;
    }
#endif
    // Runs of ASCII, sixteen units at a time.
#if defined(__SSE2__)
    while (end - p >= 16) {
      __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 8));
      __m128i beyond = _mm_and_si128(_mm_or_si128(low, high), _mm_set1_epi16(-0x80));
      if (_mm_movemask_epi8(_mm_cmpeq_epi16(beyond, _mm_setzero_si128())) != 0xFFFF) break;
      _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(low, high));
      o += 16;
      p += 16;
    }
#else
    while (end - p >= 16) {
      unsigned any = 0;
      for (int k = 0; k < 16; ++k) any |= p[k];
      if (any >= 0x80) break;
      for (int k = 0; k < 16; ++k) o[k] = static_cast<char>(p[k]);
      o += 16;
      p += 16;
    }
#endif
    while (p < end && *p < 0x80) *o++ = static_cast<char>(*p++);
    // The units up to the next ASCII one (a surrogate pair never straddles it) go to ICU.
    const char16_t* stretch = p;
    while (p < end && *p >= 0x80) ++p;
    if (p == stretch) continue;
    std::int32_t written = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strToUTF8WithSub(o, static_cast<std::int32_t>(3 * (p - stretch)), &written, stretch,
                       static_cast<std::int32_t>(p - stretch), 0xFFFD, nullptr, &status);
    o += written;
  }
  return static_cast<std::size_t>(o - out);
}

/// The UTF-16 form of UTF-8 text; each byte that does not belong to a well-formed sequence
/// becomes U+FFFD. ICU's own substitution would give one U+FFFD for a whole ill-formed stretch
/// ("\xE0\xA0" before an ASCII byte is one there, two here), so ICU decodes and the tool
/// substitutes.
std::u16string FromUtf8(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');  // never more units than bytes
  const auto* const utf8 = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::int64_t size = static_cast<std::int64_t>(bytes.size());
  std::int64_t written = 0;
  for (std::int64_t i = 0; i < size;) {
    const std::int64_t start = i;
    UChar32 c = 0;
    U8_NEXT(utf8, i, size, c);
    if (c < 0) {
      c = 0xFFFD;
      i = start + 1;
    }
    U16_APPEND_UNSAFE(text.data(), written, c);
  }
  text.resize(static_cast<std::size_t>(written));
  return text;
}

/// Decodes the records of an input piece by piece and hands the UTF-8 text of each piece to
/// `sink`: neither the input nor its text is ever held whole, and pieces of 128 KiB keep the
/// input, its text and the UTF-8 bytes in the processor's caches.
void DecodeStream(CCSID& table, SOSIKeepType keep, InputReader& input,
                  const std::function<void(std::string_view)>& sink) {
  constexpr std::size_t kPiece = 1 << 17;
  // UTF-8 holds every character: the pairs never depend on the locale's code page.
  RecordDecoder decoder(table, keep, RecordDecoder::kUnicodeText);
  // Buffers of the worst-case sizes, left uninitialised: pages that a piece never needs (most of
  // the UTF-8 room for ASCII text) are never touched.
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece + 1);
  std::size_t held = 0;  // bytes the decoder left for the next piece
  // One unit more for a high surrogate carried over from the piece before.
  const std::size_t text_size = RecordDecoder::MaxTextSize(kPiece + 1) + 1;
  auto text = std::make_unique_for_overwrite<char16_t[]>(text_size);
  auto utf8 = std::make_unique_for_overwrite<char[]>(3 * text_size);
  std::size_t carried = 0;  // 1 when text[0] is the first half of a pair cut off at a piece end
  for (;;) {
    std::size_t n = input.Read(buffer.get() + held, kPiece);
    bool last = n == 0;
    std::size_t size = held + n;
    std::size_t written = 0;
    std::size_t used = decoder.Decode(buffer.get(), size, last, text.get() + carried, written);
    held = size - used;
    std::memmove(buffer.get(), buffer.get() + used, held);
    std::size_t length = carried + written;
    carried = 0;
    if (!last && length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) {
      carried = 1;
      --length;
    }
    std::size_t bytes = EncodeUtf8({text.get(), length}, utf8.get());
    sink(std::string_view(utf8.get(), bytes));
    if (carried) text[0] = text[length];
    if (last) break;
  }
}

}  // namespace

void DecodeRecordsToUtf8(CCSID& table, SOSIKeepType KeepSOSI, InputReader& input,
                         const std::function<void(std::string_view utf8)>& sink) {
  DecodeStream(table, KeepSOSI, input, sink);
}

std::u16string Utf16FromUtf8(std::string_view utf8) { return FromUtf8(utf8); }

}  // namespace svregistration
