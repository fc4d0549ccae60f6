// svreg codepage import|from-icu|decode|encode: code page tables from character maps or ICU's
// converters, and conversions of EBCDIC 80-byte records to UTF-8 text and back.
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "output.h"
#include "svregistration/ccsid.h"
#include "svregistration/error.h"
#include "svregistration/icu_table.h"
#include "svregistration/input_reading.h"
#include "svregistration/record_decoder.h"

namespace svreg {

namespace {

using svregistration::CCSID;
using svregistration::SOSIKeepType;

/// The input path of a command: a file, or stdin when the path is empty or "-".
std::string InputPath(const std::string& source) { return source.empty() ? "-" : source; }

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
  // The tool sees only the library's public API, so it asks the processor itself; SVREG_SIMD=scalar
  // forces the portable loop here as in the library.
  static const bool wide =
      __builtin_cpu_supports("avx2") &&
      std::string_view(std::getenv("SVREG_SIMD") ? std::getenv("SVREG_SIMD") : "") != "scalar";
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
std::u16string FromUtf8(const std::vector<std::uint8_t>& bytes) {
  std::u16string text(bytes.size(), u'\0');  // never more units than bytes
  const std::uint8_t* const utf8 = bytes.data();
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
template <class Sink>
void DecodeStream(CCSID& table, SOSIKeepType keep, svregistration::InputReader& input, Sink sink) {
  constexpr std::size_t kPiece = 1 << 17;
  // UTF-8 holds every character: the pairs never depend on the locale's code page.
  svregistration::RecordDecoder decoder(table, keep, svregistration::RecordDecoder::kUnicodeText);
  // Buffers of the worst-case sizes, left uninitialised: pages that a piece never needs (most of
  // the UTF-8 room for ASCII text) are never touched.
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece + 1);
  std::size_t held = 0;  // bytes the decoder left for the next piece
  // One unit more for a high surrogate carried over from the piece before.
  const std::size_t text_size = svregistration::RecordDecoder::MaxTextSize(kPiece + 1) + 1;
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

std::size_t LeadByteCount(const CCSID& table) {
  std::size_t count = 0;
  for (int b = 0; b < 256; ++b) {
    if (table.isDBCS(static_cast<std::uint8_t>(b))) ++count;
  }
  return count;
}

/// The summary of a saved table: its path, size in bytes and number of lead bytes.
nlohmann::json TableSummary(const CCSID& table, const std::string& path) {
  std::size_t leads = LeadByteCount(table);
  return {{"table", path},
          {"ccsid", table.CcsidNumber()},
          {"bytes", 1024 + 512 * leads},
          {"lead_bytes", leads}};
}

struct CodepageArgs {
  std::string source;  // character map, converter name, or input file
  std::string table;
  std::int32_t ccsid = 0;
  std::string sosi = "keep-all";
  bool json = false;
};

// The choices by their own names and by the words of the options document's SOSI list.
const std::map<std::string, SOSIKeepType>& SosiChoices() {
  static const std::map<std::string, SOSIKeepType> choices = {
      {"keep-all", SOSIKeepType::KeepAll},
      {"retained", SOSIKeepType::KeepAll},
      {"remove-all", SOSIKeepType::RemoveAll},
      {"removed", SOSIKeepType::RemoveAll},
      {"keep-in-literals", SOSIKeepType::KeepInLiterals},
      {"replace-all", SOSIKeepType::ReplaceAll},
      {"replaced", SOSIKeepType::ReplaceAll}};
  return choices;
}

// A character map has a CHARMAP section with at least one mapping line ("<U0041> \xC1 |0"): a
// file without one is refused before anything is written.
void CheckCharacterMap(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw svregistration::Error(svregistration::error_number::kFileNotFound, "svreg",
                                "cannot open the character map '" + path + "'");
  }
  std::string line;
  bool in_map = false;
  long number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.rfind("CHARMAP", 0) == 0) {
      in_map = true;
    } else if (in_map && line.rfind("<U", 0) == 0) {
      return;
    } else if (line.rfind("END CHARMAP", 0) == 0) {
      break;
    }
  }
  throw svregistration::Error(
      svregistration::error_number::kInvalidProcedureCall, "svreg",
      fmt::format("'{}' is not a character map: {}", path,
                  in_map ? "its CHARMAP section maps no character"
                         : fmt::format("none of its {} lines starts a CHARMAP section", number)));
}

}  // namespace

void AddCodepageCommands(CLI::App& app, Context& /*context*/) {
  auto* codepage =
      app.add_subcommand("codepage", "Build code page tables and convert EBCDIC records");
  codepage->require_subcommand(1);

  auto import_args = std::make_shared<CodepageArgs>();
  auto* import_command = codepage->add_subcommand(
      "import", "Build a table from a character map (.ucm) and save it as a table file");
  import_command->add_option("UCM", import_args->source, "The character map file")->required();
  import_command->add_option("TABLE", import_args->table, "The table file to write")->required();
  import_command->add_option("--ccsid", import_args->ccsid, "The coded character set id to record");
  import_command->add_flag("--json", import_args->json, "Print a summary as JSON");
  import_command->callback([import_args] {
    CheckCharacterMap(import_args->source);
    CCSID table;
    table.Import(import_args->source, import_args->ccsid);
    table.Save(import_args->table);
    nlohmann::json summary = TableSummary(table, import_args->table);
    if (import_args->json) {
      summary["ok"] = true;
      PrintJson(summary);
    } else {
      WriteStdout(fmt::format("saved {} (CCSID {}, {} bytes, {} lead bytes)\n", import_args->table,
                              table.CcsidNumber(), summary["bytes"].dump(),
                              summary["lead_bytes"].dump()));
    }
  });

  auto icu_args = std::make_shared<CodepageArgs>();
  auto* from_icu = codepage->add_subcommand(
      "from-icu", "Build a table from one of ICU's converters (ibm-37, ibm-930...) and save it");
  from_icu->add_option("CONVERTER", icu_args->source, "The ICU converter name")->required();
  from_icu->add_option("TABLE", icu_args->table, "The table file to write")->required();
  from_icu->add_flag("--json", icu_args->json, "Print a summary as JSON");
  from_icu->callback([icu_args] {
    CCSID table;
    svregistration::FillFromIcu(table, icu_args->source);
    table.Save(icu_args->table);
    nlohmann::json summary = TableSummary(table, icu_args->table);
    if (icu_args->json) {
      summary["ok"] = true;
      PrintJson(summary);
    } else {
      WriteStdout(fmt::format("saved {} from {} ({} bytes, {} lead bytes)\n", icu_args->table,
                              icu_args->source, summary["bytes"].dump(),
                              summary["lead_bytes"].dump()));
    }
  });

  auto decode_args = std::make_shared<CodepageArgs>();
  auto* decode = codepage->add_subcommand(
      "decode", "Convert EBCDIC 80-byte records to lines of UTF-8 text on stdout");
  decode->add_option("TABLE", decode_args->table, "The table file")->required();
  decode->add_option("FILE", decode_args->source, "The records (stdin when absent or -)");
  decode
      ->add_option("--sosi", decode_args->sosi,
                   "What shift-out and shift-in bytes become: keep-all (Retained), remove-all "
                   "(Removed), keep-in-literals, replace-all (Replaced)")
      ->transform([](std::string value) {
        for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (SosiChoices().count(value) == 0) {
          throw CLI::ValidationError(
              "--sosi", "'" + value +
                            "' is none of keep-all, remove-all, "
                            "keep-in-literals, replace-all, Retained, Removed, Replaced");
        }
        return value;
      });
  decode->add_flag("--json", decode_args->json, "Print {\"text\": ...} instead of the text");
  decode->callback([decode_args] {
    CCSID table;
    table.Load(decode_args->table, 0);
    svregistration::InputReader input(InputPath(decode_args->source));
    SOSIKeepType keep = SosiChoices().at(decode_args->sosi);
    if (decode_args->json) {
      std::string whole;
      DecodeStream(table, keep, input, [&whole](std::string_view piece) { whole += piece; });
      PrintJson({{"text", whole}});
    } else {
      DecodeStream(table, keep, input, [](std::string_view piece) { WriteStdout(piece); });
    }
  });

  auto encode_args = std::make_shared<CodepageArgs>();
  auto* encode =
      codepage->add_subcommand("encode", "Convert UTF-8 text to EBCDIC 80-byte records on stdout");
  encode->add_option("TABLE", encode_args->table, "The table file")->required();
  encode->add_option("FILE", encode_args->source, "The text (stdin when absent or -)");
  encode->add_flag("--json", encode_args->json, "Print {\"hex\": ...} instead of the bytes");
  encode->callback([encode_args] {
    CCSID table;
    table.Load(encode_args->table, 0);
    std::u16string text = FromUtf8(svregistration::ReadInputWhole(InputPath(encode_args->source)));
    std::vector<std::uint8_t> bytes = table.ToEBCDIC(text);
    if (encode_args->json) {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      std::string hex;
      hex.reserve(2 * bytes.size());
      for (std::uint8_t b : bytes) {
        hex.push_back(kDigits[b >> 4]);
        hex.push_back(kDigits[b & 0x0F]);
      }
      PrintJson({{"hex", hex}});
    } else {
      WriteStdout({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    }
  });
}

}  // namespace svreg
