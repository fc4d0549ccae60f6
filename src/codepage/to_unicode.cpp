// CCSID::ToUnicode: EBCDIC 80-byte records with shift-out/shift-in double-byte runs to lines of
// text joined by CR LF.
//
// Every record starts unshifted, outside any literal. A shift-out byte (0x0E) starts a run in
// which bytes are read in pairs until a shift-in (0x0F), the end of the record, or, inside a
// literal, a byte that cannot begin a pair: the closing quote, or a byte up to 0x40 (except a
// 0x40 0x40 double-byte space) when the literal was not opened right after a G (as in G'...').
// A pair beginning at the last byte of a record takes the first byte of the next record; that
// record then gets no line end before it and keeps the state of the one before.
//
// The characters come out as an ANSI code page can hold them (the user's default locale's unless
// the caller names one): a pair's character when it is double-byte in that code page, otherwise
// the two bytes read as single-byte characters; a single byte whose character is double-byte
// there becomes "?". For text written in a Unicode form every pair is its own character.
//
// The conversion is resumable at any byte, so that a stream of records can be converted piece by
// piece (RecordDecoder) with the same result as the whole buffer at once (ToUnicode).
//
// Speed: what each pair comes out as in a code page is worked out once per table and code page
// (codepage/ansi_pairs.h), so a pair costs one load; with a code page of single bytes only
// (MaxCharSize 1) nothing is asked at all. Each conversion builds 256-entry tables for the single
// bytes, then one pass writes into output sized for the worst case. Where
// the processor has AVX-512 byte permutes, whole records without shift bytes and runs of plain
// single bytes take the vector forms (codepage/plain_bytes.h), chosen at run time.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "codepage/plain_bytes.h"
#include "codepage/table.h"
#include "nls/locale_services.h"
#include "os/byte_buffer.h"
#include "svregistration/record_decoder.h"

namespace svregistration {

namespace {

using codepage::kRecordLength;
using codepage::kShiftIn;
using codepage::kShiftOut;

constexpr std::uint32_t kFallbackCodePage = 1252;

// Byte classes of the single-byte path; a plain byte only appends its character.
constexpr std::uint8_t kPlain = 0;
constexpr std::uint8_t kQuote = 1;  // its character is " or '
constexpr std::uint8_t kSoSi = 2;   // shift-out or shift-in

/// The ANSI code page conversions refer to unless the caller names one: the user's default
/// locale's; for a locale whose text is Unicode only (code page 0) or that is unknown, the system
/// default locale's; else 1252.
std::uint32_t UserConversionCodePage() {
  std::optional<std::uint32_t> code_page = nls::LocaleAnsiCodePage(nls::UserDefaultLocaleId());
  if (!code_page || *code_page == 0) {
    code_page = nls::LocaleAnsiCodePage(nls::SystemDefaultLocaleId());
  }
  return (!code_page || *code_page == 0) ? kFallbackCodePage : *code_page;
}

/// The per-stream view of the table: flat arrays chosen once, outside the loop.
struct Setup {
  const std::uint16_t* sbcs = nullptr;         // the single-byte map as it is
  std::array<char16_t, 256> single{};          // a single byte's character as it is appended
  std::array<std::uint8_t, 256> byte_class{};  // kPlain, or kQuote | kSoSi bits
  // A pair's character as it comes out, 0 when it comes out as two single bytes.
  std::array<const std::uint16_t*, 256> pair{};
  // `single` in bits 0-15 and `byte_class` in bits 16-23: one load per byte on the plain path.
  std::array<std::uint32_t, 256> plain{};
  // The same for the vector form of the plain path, when the processor has one.
  codepage::PlainRunFn plain_run = nullptr;
  codepage::PlainRecordsFn plain_records = nullptr;
  codepage::PlainByteTables vector_tables;
};

/// Where the conversion stands between two pieces of a stream.
struct StreamState {
  bool shifted = false;
  bool in_literal = false;
  bool is_g = false;
  std::uint8_t quote_byte = 0;
  std::uint64_t offset = 0;                  // stream index of the next byte
  std::uint64_t record_end = kRecordLength;  // stream index where the current record ends
  char16_t last_char = 0;                    // the character appended last (0: none yet)

  void StartRecord() {
    shifted = false;
    in_literal = false;
    is_g = false;
    quote_byte = 0;
  }
};

/// The conversion of one piece, resumable at any byte. With `final` false the piece's last byte
/// is left unread (its reading depends on the byte after it). Writes at most
/// size + 2 * (size / 80 + 2) characters; answers the bytes used.
std::size_t Convert(const Setup& setup, StreamState& st, const std::uint8_t* data, std::size_t size,
                    bool final, SOSIKeepType keep, char16_t* out, std::size_t& written) {
  const std::uint64_t base = st.offset;
  const std::size_t limit = final ? size : size - 1;  // size > 0 here
  const std::size_t last = final ? size - 1 : SIZE_MAX;
  char16_t* o = out;
  std::size_t i = 0;

  // One single byte (step taken also for every byte of a run that does not begin a pair).
  auto single = [&](std::uint8_t b) {
    char16_t ch = setup.single[b];
    std::uint8_t byte_class = setup.byte_class[b];
    if (byte_class & kQuote) {
      if (st.in_literal) {
        if (b == st.quote_byte) st.in_literal = false;
      } else {
        st.in_literal = true;
        st.quote_byte = b;
        char16_t previous = o != out ? o[-1] : st.last_char;
        st.is_g = previous == u'G' || previous == u'g';
      }
    }
    st.shifted = b == kShiftOut;
    if (!(byte_class & kSoSi)) {
      *o++ = ch;
      return;
    }
    switch (keep) {
      case SOSIKeepType::KeepAll:
        *o++ = ch;
        break;
      case SOSIKeepType::RemoveAll:
        break;
      case SOSIKeepType::KeepInLiterals:
        if (st.in_literal && !st.is_g) *o++ = ch;
        break;
      case SOSIKeepType::ReplaceAll:
        *o++ = u' ';
        break;
      default:
        *o++ = u'\0';
        break;
    }
  };

  for (;;) {
    if (setup.plain_records != nullptr && !st.shifted &&
        st.record_end - base == i + kRecordLength) {
      // At a record's first byte: whole records without shift bytes in one go.
      std::size_t from = i;
      i = setup.plain_records(setup.vector_tables, data, i, limit, o);
      st.record_end += i - from;
    }
    // Where this stretch stops: the record's end, or the end of what may be read of the piece.
    const std::size_t stop =
        static_cast<std::size_t>(std::min<std::uint64_t>(st.record_end - base, limit));
    if (!st.shifted) {
      // Plain single bytes, eight at a time while none of them needs more than its character.
      const std::uint32_t* plain = setup.plain.data();
      if (setup.plain_run != nullptr) i = setup.plain_run(setup.vector_tables, data, i, stop, o);
      while (stop - i >= 8) {
        const std::uint8_t* d = data + i;
        std::uint32_t c0 = plain[d[0]], c1 = plain[d[1]], c2 = plain[d[2]], c3 = plain[d[3]];
        std::uint32_t c4 = plain[d[4]], c5 = plain[d[5]], c6 = plain[d[6]], c7 = plain[d[7]];
        if ((c0 | c1 | c2 | c3 | c4 | c5 | c6 | c7) > 0xFFFF) break;
        std::uint64_t low =
            c0 | std::uint64_t{c1} << 16 | std::uint64_t{c2} << 32 | std::uint64_t{c3} << 48;
        std::uint64_t high =
            c4 | std::uint64_t{c5} << 16 | std::uint64_t{c6} << 32 | std::uint64_t{c7} << 48;
        std::memcpy(o, &low, sizeof low);
        std::memcpy(o + 4, &high, sizeof high);
        o += 8;
        i += 8;
      }
      while (i < stop) {
        std::uint32_t c = plain[data[i]];
        if (c > 0xFFFF) break;
        *o++ = static_cast<char16_t>(c);
        ++i;
      }
    } else {
      while (i < stop) {
        std::uint8_t b = data[i];
        bool pair;
        if (i == last) {
          pair = false;
        } else if (!st.in_literal) {
          pair = b != kShiftIn;
        } else if (st.is_g) {
          pair = b != st.quote_byte && b != kShiftIn;
        } else {
          pair = (b > 0x40 || (b == 0x40 && data[i + 1] == 0x40)) && b != st.quote_byte &&
                 b != kShiftIn;
        }
        if (!pair) break;
        std::uint8_t trail = data[i + 1];
        char16_t unicode = setup.pair[b][trail];
        if (unicode != 0) {
          *o++ = unicode;
        } else {
          o[0] = setup.sbcs[b];
          o[1] = setup.sbcs[trail];
          o += 2;
        }
        i += 2;
      }
    }
    if (i < stop) {
      single(data[i++]);
      continue;
    }
    const std::uint64_t at = base + i;
    if (at > st.record_end) {
      // A pair took the first byte of the next record: that record goes on with this state.
      st.record_end += kRecordLength;
    } else if (at == st.record_end && i < limit) {
      *o++ = u'\r';
      *o++ = u'\n';
      st.StartRecord();
      st.record_end += kRecordLength;
    }
    if (i >= limit) break;
  }
  if (o != out) st.last_char = o[-1];
  st.offset = base + i;
  written = static_cast<std::size_t>(o - out);
  return i;
}

/// A conversion in progress: the table's flat view, with the pairs as `code_page` holds them,
/// and the stream state.
class Decoder {
 public:
  Decoder(codepage::Table& table, std::uint32_t code_page, SOSIKeepType keep) : keep_(keep) {
    if (code_page == 0) code_page = nls::SystemAnsiCodePage();
    const codepage::AnsiPairs& ansi = table.ansi_pairs.For(table, code_page);
    setup_.sbcs = table.sbcs_map.data();
    setup_.pair = ansi.pair;
    for (std::size_t b = 0; b < 256; ++b) {
      char16_t ch = ansi.single_is_double[b] ? u'?' : table.sbcs_map[b];
      setup_.single[b] = ch;
      setup_.byte_class[b] = (ch == u'"' || ch == u'\'') ? kQuote : kPlain;
    }
    setup_.byte_class[kShiftOut] |= kSoSi;
    setup_.byte_class[kShiftIn] |= kSoSi;
    codepage::PlainByteTables& vector = setup_.vector_tables;
    for (std::size_t b = 0; b < 256; ++b) {
      setup_.plain[b] = static_cast<std::uint32_t>(setup_.single[b]) |
                        static_cast<std::uint32_t>(setup_.byte_class[b]) << 16;
      vector.low[b] = static_cast<std::uint8_t>(setup_.single[b] & 0xFF);
      vector.high[b] = static_cast<std::uint8_t>(setup_.single[b] >> 8);
      vector.stops[b] = setup_.byte_class[b];
      vector.any_high = vector.any_high || vector.high[b] != 0;
    }
    setup_.plain_run = codepage::VectorPlainRun();
    setup_.plain_records = codepage::VectorPlainRecords();
  }

  /// The most characters a piece of `size` bytes gives.
  static std::size_t Bound(std::size_t size) { return size + 2 * (size / kRecordLength + 2); }

  std::size_t Run(const std::uint8_t* data, std::size_t size, bool final, char16_t* out,
                  std::size_t& written) {
    written = 0;
    if (size == 0 || (size == 1 && !final)) return 0;
    return Convert(setup_, state_, data, size, final, keep_, out, written);
  }

 private:
  Setup setup_;
  StreamState state_;
  SOSIKeepType keep_;
};

}  // namespace

// The output's memory is reserved once for the worst case (the input length plus a line end per
// record), with huge pages asked for. Each piece is converted into a small buffer that stays in
// the processor's caches and then appended: the result's memory is written once, never filled
// with zeros first (which costs a slow per-character loop) and then overwritten.
std::u16string CCSID::ToUnicode(const std::vector<std::uint8_t>& DBCS_Buffer,
                                SOSIKeepType KeepSOSI) {
  constexpr std::size_t kPiece = 1 << 14;
  const std::size_t size = DBCS_Buffer.size();
  if (size == 0) return {};
  Decoder decoder(*table_, UserConversionCodePage(), KeepSOSI);
  std::u16string text;
  text.reserve(Decoder::Bound(size) + Decoder::Bound(kPiece));  // the pieces' bounds add up
  os::AdviseHugePages(text.data(), text.capacity() * sizeof(char16_t));
  auto scratch = std::make_unique_for_overwrite<char16_t[]>(Decoder::Bound(kPiece));
  for (std::size_t pos = 0; pos < size;) {
    std::size_t piece = std::min(kPiece, size - pos);
    bool last = pos + piece == size;
    std::size_t written = 0;
    pos += decoder.Run(DBCS_Buffer.data() + pos, piece, last, scratch.get(), written);
    text.append(scratch.get(), written);
  }
  return text;
}

struct RecordDecoder::State {
  State(CCSID& table, std::uint32_t code_page, SOSIKeepType keep)
      : decoder(codepage::TableOf(table), code_page, keep) {}

  Decoder decoder;
};

static_assert(RecordDecoder::kUnicodeText == codepage::kUnicodeCodePage);

RecordDecoder::RecordDecoder(CCSID& table, SOSIKeepType KeepSOSI)
    : state_(std::make_unique<State>(table, UserConversionCodePage(), KeepSOSI)) {}
RecordDecoder::RecordDecoder(CCSID& table, SOSIKeepType KeepSOSI, std::uint32_t AnsiCodePage)
    : state_(std::make_unique<State>(table, AnsiCodePage, KeepSOSI)) {}
RecordDecoder::~RecordDecoder() = default;

std::size_t RecordDecoder::Decode(const std::uint8_t* bytes, std::size_t size, bool last,
                                  std::u16string& text) {
  std::size_t start = text.size();
  text.resize(start + Decoder::Bound(size));
  std::size_t written = 0;
  std::size_t used = state_->decoder.Run(bytes, size, last, text.data() + start, written);
  text.resize(start + written);
  return used;
}

std::size_t RecordDecoder::MaxTextSize(std::size_t size) { return Decoder::Bound(size); }

std::size_t RecordDecoder::Decode(const std::uint8_t* bytes, std::size_t size, bool last,
                                  char16_t* out, std::size_t& written) {
  return state_->decoder.Run(bytes, size, last, out, written);
}

}  // namespace svregistration
