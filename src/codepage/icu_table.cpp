// FillFromIcu: a code page table from one of ICU's own converters, equal to what an import of the
// converter's character map gives.
//
// ICU does not hand out its mapping lines, so they are rebuilt from both directions of the
// converter and then stored exactly as an import stores the lines of a file:
//   - every character that converts to bytes (round trip or fallback, fallbacks switched on)
//     gives a line; it is a round trip (marker 0) when the bytes convert back to that character,
//     else a fallback (marker 1);
//   - every single byte and every pair that converts to a character of which it is not the
//     round-trip encoding gives a reverse fallback line (marker 3);
//   - the lines are sorted as character maps sort them: by character, then by the length of the
//     bytes, then by the bytes. The order matters because the first line wins an entry.
// Substitution mappings (marker 2) do not convert without a substitution and so give no line.
//
// What a 16-bit table cannot hold is left out: characters beyond U+FFFF and byte sequences that
// convert to several characters. An import of a character map reads only the first four digits
// of such a line's first character (<U2A38C> stores U+2A38, <U00E6><U0300> stores U+00E6), so
// for maps that hold such lines (ibm-1390, ibm-1399) the import stores those truncated values
// where this table has none. A character map may also hold a second CHARMAP section, which ICU
// builds into the converter as its extension but an import never reads (reading stops at the
// first END CHARMAP): ibm-930, ibm-1390 and ibm-1399 keep most of their single bytes there, so
// their tables from ICU hold single bytes that an import of the file lacks.
#include "svregistration/icu_table.h"

#include <unicode/ucnv.h>
#include <unicode/uset.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "codepage/table.h"
#include "svregistration/error.h"

namespace svregistration {

namespace {

constexpr int kInvalidProcedureCall = 5;

Error IcuError(const std::string& converter_name, const std::string& what, UErrorCode code) {
  return Error(kInvalidProcedureCall, codepage::kErrorSource,
               "ICU converter '" + converter_name + "': " + what + " (" + u_errorName(code) + ")");
}

/// How the converter writes its characters.
enum class Shape { kSingle, kDouble, kShifted };

/// One rebuilt mapping line: the character, its bytes (1 or 2) and the marker.
struct Line {
  std::uint16_t unicode;
  std::uint8_t length;
  std::uint8_t b0;
  std::uint8_t b1;
  std::uint8_t marker;
};

/// A byte sequence as one number: a single byte b is b, a pair is 256 + lead * 256 + trail.
constexpr std::int32_t kNoBytes = -1;
constexpr std::int32_t SingleKey(std::uint8_t b) { return b; }  // a single byte's key
constexpr std::int32_t PairKey(std::uint8_t lead, std::uint8_t trail) {
  return 256 + lead * 256 + trail;
}
constexpr std::size_t kKeys = 256 + 65536;

class IcuReader {
 public:
  IcuReader(const std::string& name) : name_(name) {
    UErrorCode status = U_ZERO_ERROR;
    converter_.adoptInstead(ucnv_open(name.c_str(), &status));
    if (U_FAILURE(status) || converter_.isNull()) {
      throw IcuError(name, "ICU has no converter of that name", status);
    }
    UConverter* cnv = converter_.getAlias();
    UConverterType type = ucnv_getType(cnv);
    if (type == UCNV_EBCDIC_STATEFUL) {
      shape_ = Shape::kShifted;
    } else if (type == UCNV_SBCS || ucnv_getMaxCharSize(cnv) == 1) {
      shape_ = Shape::kSingle;
    } else if ((type == UCNV_DBCS || type == UCNV_MBCS) && ucnv_getMaxCharSize(cnv) == 2) {
      shape_ = Shape::kDouble;
    } else {
      throw IcuError(name, "its characters are not single bytes and pairs", U_UNSUPPORTED_ERROR);
    }
    ucnv_setFallback(cnv, true);
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    if (U_FAILURE(status)) throw IcuError(name, "cannot set its callbacks", status);
  }

  std::vector<Line> Lines() {
    std::vector<std::int32_t> to_unicode = ReadToUnicode();
    std::vector<std::int32_t> from_unicode = ReadFromUnicode();
    std::vector<Line> lines;
    lines.reserve(from_unicode.size() / 4);
    for (std::size_t u = 0; u < from_unicode.size(); ++u) {
      std::int32_t key = from_unicode[u];
      if (key == kNoBytes) continue;
      bool round_trip = to_unicode[static_cast<std::size_t>(key)] == static_cast<std::int32_t>(u);
      lines.push_back(MakeLine(static_cast<std::uint16_t>(u), key, round_trip ? 0 : 1));
    }
    for (std::size_t key = 0; key < kKeys; ++key) {
      std::int32_t u = to_unicode[key];
      if (u == kNoBytes || from_unicode[static_cast<std::size_t>(u)] == static_cast<int>(key)) {
        continue;
      }
      lines.push_back(MakeLine(static_cast<std::uint16_t>(u), static_cast<std::int32_t>(key), 3));
    }
    std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
      if (a.unicode != b.unicode) return a.unicode < b.unicode;
      if (a.length != b.length) return a.length < b.length;
      if (a.b0 != b.b0) return a.b0 < b.b0;
      return a.b1 < b.b1;
    });
    return lines;
  }

 private:
  static Line MakeLine(std::uint16_t unicode, std::int32_t key, std::uint8_t marker) {
    if (key < 256) return Line{unicode, 1, static_cast<std::uint8_t>(key), 0, marker};
    auto pair = static_cast<unsigned>(key - 256);
    return Line{unicode, 2, static_cast<std::uint8_t>(pair >> 8),
                static_cast<std::uint8_t>(pair & 0xFF), marker};
  }

  /// The character each single byte and each pair converts to by itself, kNoBytes when it
  /// converts to none, or to more than one 16-bit unit.
  std::vector<std::int32_t> ReadToUnicode() {
    std::vector<std::int32_t> result(kKeys, kNoBytes);
    for (unsigned b = 0; b < 256; ++b) {
      const char bytes[] = {static_cast<char>(b)};
      result[b] = OneCharacter(bytes, 1, 0);
    }
    if (shape_ == Shape::kSingle) return result;
    for (unsigned lead = 0; lead < 256; ++lead) {
      for (unsigned trail = 0; trail < 256; ++trail) {
        auto key = static_cast<std::size_t>(
            PairKey(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)));
        if (shape_ == Shape::kShifted) {
          const char bytes[] = {static_cast<char>(codepage::kShiftOut), static_cast<char>(lead),
                                static_cast<char>(trail)};
          result[key] = OneCharacter(bytes, 3, 1);
        } else {
          const char bytes[] = {static_cast<char>(lead), static_cast<char>(trail)};
          result[key] = OneCharacter(bytes, 2, 0);
        }
      }
    }
    return result;
  }

  /// The one 16-bit character `bytes` convert to, when it comes from the byte at `offset` and
  /// the bytes give nothing else; kNoBytes otherwise.
  std::int32_t OneCharacter(const char* bytes, int length, std::int32_t offset) {
    UConverter* cnv = converter_.getAlias();
    ucnv_reset(cnv);
    UChar buffer[8];
    std::int32_t offsets[8];
    UChar* target = buffer;
    const char* source = bytes;
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(cnv, &target, buffer + 8, &source, bytes + length, offsets, true, &status);
    if (U_FAILURE(status) || target - buffer != 1 || offsets[0] != offset ||
        U16_IS_SURROGATE(buffer[0])) {
      return kNoBytes;
    }
    return buffer[0];
  }

  /// The bytes of every 16-bit character that converts to bytes (round trip or fallback).
  std::vector<std::int32_t> ReadFromUnicode() {
    std::vector<std::int32_t> result(65536, kNoBytes);
    UErrorCode status = U_ZERO_ERROR;
    icu::LocalUSetPointer set(uset_openEmpty());
    ucnv_getUnicodeSet(converter_.getAlias(), set.getAlias(), UCNV_ROUNDTRIP_AND_FALLBACK_SET,
                       &status);
    if (U_FAILURE(status)) throw IcuError(name_, "cannot list its characters", status);
    std::int32_t items = uset_getItemCount(set.getAlias());
    for (std::int32_t item = 0; item < items; ++item) {
      UChar32 start = 0;
      UChar32 end = 0;
      status = U_ZERO_ERROR;
      // A string item (a sequence of characters) answers its length; only ranges are read.
      if (uset_getItem(set.getAlias(), item, &start, &end, nullptr, 0, &status) != 0) continue;
      for (UChar32 c = start; c <= std::min<UChar32>(end, 0xFFFF); ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;  // surrogates convert to nothing alone
        result[static_cast<std::size_t>(c)] = BytesOf(static_cast<UChar>(c));
      }
    }
    return result;
  }

  std::int32_t BytesOf(UChar c) {
    char bytes[8];
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t length =
        ucnv_fromUChars(converter_.getAlias(), bytes, sizeof bytes, &c, 1, &status);
    if (U_FAILURE(status)) return kNoBytes;
    auto byte = [&](int i) { return static_cast<std::uint8_t>(bytes[i]); };
    if (length == 1) return SingleKey(byte(0));
    if (shape_ == Shape::kDouble && length == 2) return PairKey(byte(0), byte(1));
    if (shape_ == Shape::kShifted && length == 4 && byte(0) == codepage::kShiftOut &&
        byte(3) == codepage::kShiftIn) {
      return PairKey(byte(1), byte(2));
    }
    return kNoBytes;
  }

  std::string name_;
  icu::LocalUConverterPointer converter_;
  Shape shape_ = Shape::kSingle;
};

}  // namespace

void FillFromIcu(CCSID& table, const std::string& converter_name) {
  std::vector<Line> lines = IcuReader(converter_name).Lines();
  codepage::Table& maps = codepage::TableOf(table);
  maps.ansi_pairs.Clear();
  maps.sbcs_map.fill(0);
  for (LeadEntry& entry : maps.lead_map) entry = LeadEntry{};
  maps.reverse_map = codepage::NewZeroReverseMap();
  for (const Line& line : lines) {
    codepage::StoreMapping(
        maps, codepage::Mapping{line.unicode, line.length == 2, line.b0, line.b1, line.marker});
  }
  (*maps.reverse_map)[0xFFFD] = 0x3F;
}

}  // namespace svregistration
