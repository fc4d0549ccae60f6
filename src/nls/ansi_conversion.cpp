// Unicode text to a Windows code page and back through ICU converters, a few of them kept open
// per thread, and the AnsiCode of single characters from a table per code page. Characters go
// to their best-fit bytes where the code page has one, others to its default character; bytes
// it does not map become U+FFFD.
#include "nls/ansi_conversion.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

#include "nls/locale_services.h"
#include "nls/locale_table.h"
#include "svregistration/error.h"

namespace svregistration::nls {

namespace {

static_assert(std::is_same_v<UChar, char16_t>, "ICU's UChar must be char16_t");

constexpr int kInvalidProcedureCall = 5;
constexpr const char* kSource = "CodePage";

[[noreturn]] void ThrowUnsupported(std::uint32_t code_page, std::string_view reason) {
  throw Error(kInvalidProcedureCall, kSource,
              "Invalid procedure call or argument: code page " + std::to_string(code_page) + " " +
                  std::string(reason));
}

// The table row of a code page; 0 stands for the system's ANSI code page.
const detail::CodePageEntry& ResolveCodePage(std::uint32_t code_page) {
  const detail::CodePageEntry* entry =
      detail::FindCodePage(code_page == 0 ? SystemAnsiCodePage() : code_page);
  if (entry == nullptr) ThrowUnsupported(code_page, "is not supported");
  return *entry;
}

// Writes the substitution bytes for every character the code page lacks and for every lone
// surrogate. ICU's own substituting callback drops unassigned default-ignorable characters
// (U+00AD, U+034F, U+200B ...) without a trace; here they become the default character too.
void SubstituteEveryCharacter(const void* /*context*/, UConverterFromUnicodeArgs* args,
                              const UChar* /*code_units*/, std::int32_t /*length*/,
                              UChar32 /*code_point*/, UConverterCallbackReason reason,
                              UErrorCode* status) {
  if (reason > UCNV_IRREGULAR) return;  // reset, close or clone: nothing to write
  *status = U_ZERO_ERROR;
  ucnv_cbFromUWriteSub(args, 0, status);
}

// Opens the converter of a code page with its best-fit (fallback) mappings on, as a Windows
// conversion has them: in 932 the wave dash U+301C is 0x8160 and the minus sign U+2212 is 0x817C
// rather than "?". Characters without even a best fit become the code page's default character;
// setting the substitution bytes also switches off ICU's single-byte substitute (0x1A, or 0x7F
// for code page 932) that would otherwise replace characters below U+0100.
icu::LocalUConverterPointer OpenConverter(const detail::CodePageEntry& entry) {
  UErrorCode status = U_ZERO_ERROR;
  std::string name(entry.converter);
  icu::LocalUConverterPointer converter(ucnv_open(name.c_str(), &status));
  if (U_FAILURE(status) || converter.isNull()) {
    ThrowUnsupported(entry.code_page,
                     "cannot be opened as ICU converter '" + name + "': " + u_errorName(status));
  }
  ucnv_setFallback(converter.getAlias(), true);
  const char substitute[1] = {static_cast<char>(detail::kDefaultChar[0])};
  ucnv_setSubstChars(converter.getAlias(), substitute, 1, &status);
  ucnv_setFromUCallBack(converter.getAlias(), SubstituteEveryCharacter, nullptr, nullptr, nullptr,
                        &status);
  ucnv_setToUCallBack(converter.getAlias(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr,
                      nullptr, &status);
  if (U_FAILURE(status)) {
    ThrowUnsupported(entry.code_page, std::string("cannot be set up: ") + u_errorName(status));
  }
  return converter;
}

// The converters of the code pages this thread used last. ICU converters keep conversion state
// and must not be shared between threads; opening one costs far more than converting a line.
class ConverterCache {
 public:
  UConverter* Get(const detail::CodePageEntry& entry) {
    for (Slot& slot : slots_) {
      if (slot.converter.isValid() && slot.code_page == entry.code_page)
        return slot.converter.getAlias();
    }
    Slot& slot = slots_[next_];
    next_ = (next_ + 1) % slots_.size();
    slot.converter.adoptInstead(nullptr);
    slot.converter = OpenConverter(entry);
    slot.code_page = entry.code_page;
    return slot.converter.getAlias();
  }

 private:
  struct Slot {
    std::uint32_t code_page = 0;
    icu::LocalUConverterPointer converter;
  };
  std::array<Slot, 4> slots_;
  std::size_t next_ = 0;
};

UConverter* ThreadConverter(const detail::CodePageEntry& entry) {
  thread_local ConverterCache cache;
  return cache.Get(entry);
}

[[noreturn]] void ThrowConversionFailed(std::uint32_t code_page, UErrorCode status) {
  throw Error(
      kInvalidProcedureCall, kSource,
      "conversion with code page " + std::to_string(code_page) + " failed: " + u_errorName(status));
}

// AnsiCode of every UTF-16 code unit in a code page: all code units but the surrogates are
// converted in one call, and the offsets ICU reports tell which bytes came from which unit.
// A surrogate alone is no character: it gets the default character.
std::unique_ptr<std::int16_t[]> BuildAnsiCodeTable(const detail::CodePageEntry& entry) {
  constexpr std::size_t kUnits = 0x10000;
  auto table = std::make_unique<std::int16_t[]>(kUnits);
  std::fill_n(table.get(), kUnits, static_cast<std::int16_t>(detail::kDefaultChar[0]));

  std::u16string units;
  units.reserve(kUnits);
  for (std::size_t unit = 0; unit < kUnits; ++unit) {
    if (unit < 0xD800 || unit > 0xDFFF) units.push_back(static_cast<char16_t>(unit));
  }
  UConverter* converter = ThreadConverter(entry);
  std::vector<char> bytes((units.size() + 10) *
                          static_cast<std::size_t>(ucnv_getMaxCharSize(converter)));
  std::vector<std::int32_t> offsets(bytes.size());
  ucnv_resetFromUnicode(converter);
  const UChar* source = units.data();
  char* target = bytes.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_fromUnicode(converter, &target, bytes.data() + bytes.size(), &source,
                   units.data() + units.size(), offsets.data(), true, &status);
  if (U_FAILURE(status)) ThrowConversionFailed(entry.code_page, status);

  const auto written = static_cast<std::size_t>(target - bytes.data());
  for (std::size_t i = 0; i < written;) {
    std::int32_t offset = offsets[i];
    std::size_t length = 1;
    while (i + length < written && offsets[i + length] == offset) ++length;
    if (offset >= 0 && length <= 2) {
      auto first = static_cast<std::uint8_t>(bytes[i]);
      std::int16_t code = static_cast<std::int16_t>(first);
      if (length == 2) {
        auto second = static_cast<std::uint8_t>(bytes[i + 1]);
        code = static_cast<std::int16_t>(static_cast<std::uint16_t>(first << 8 | second));
      }
      table[units[static_cast<std::size_t>(offset)]] = code;
    }
    i += length;
  }
  return table;
}

// The AnsiCode tables of the code pages used so far, built once and shared by all threads
// (128 KiB each, kept for the life of the process).
const std::int16_t* AnsiCodeTable(const detail::CodePageEntry& entry) {
  static std::mutex mutex;
  static std::vector<std::unique_ptr<std::int16_t[]>> tables(detail::CodePageTable().size());
  auto index = static_cast<std::size_t>(&entry - detail::CodePageTable().data());
  std::lock_guard lock(mutex);
  if (!tables[index]) tables[index] = BuildAnsiCodeTable(entry);
  return tables[index].get();
}

}  // namespace

// The output is sized once for the worst case ((n + 10) * MaxCharSize bytes covers every
// substitution and the flush) and ICU converts the whole text in one call; the loop only runs
// again if that bound were ever wrong.
std::vector<std::uint8_t> UnicodeToAnsi(std::u16string_view text, std::uint32_t code_page) {
  const detail::CodePageEntry& entry = ResolveCodePage(code_page);
  if (text.empty()) return {};
  UConverter* converter = ThreadConverter(entry);
  ucnv_resetFromUnicode(converter);

  std::vector<std::uint8_t> bytes((text.size() + 10) *
                                  static_cast<std::size_t>(ucnv_getMaxCharSize(converter)));
  const UChar* source = text.data();
  const UChar* source_limit = text.data() + text.size();
  std::size_t written = 0;
  for (;;) {
    char* target = reinterpret_cast<char*>(bytes.data()) + written;
    char* target_limit = reinterpret_cast<char*>(bytes.data()) + bytes.size();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_fromUnicode(converter, &target, target_limit, &source, source_limit, nullptr, true,
                     &status);
    written = static_cast<std::size_t>(target - reinterpret_cast<char*>(bytes.data()));
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      bytes.resize(bytes.size() * 2);
      continue;
    }
    if (U_FAILURE(status)) ThrowConversionFailed(entry.code_page, status);
    break;
  }
  bytes.resize(written);
  return bytes;
}

std::u16string AnsiToUnicode(const std::uint8_t* bytes, std::size_t size, std::uint32_t code_page) {
  const detail::CodePageEntry& entry = ResolveCodePage(code_page);
  if (size == 0) return {};
  UConverter* converter = ThreadConverter(entry);
  ucnv_resetToUnicode(converter);

  // Every byte of these code pages gives at most one UTF-16 code unit.
  std::u16string text(size + 16, u'\0');
  const char* source = reinterpret_cast<const char*>(bytes);
  const char* source_limit = source + size;
  std::size_t written = 0;
  for (;;) {
    UChar* target = text.data() + written;
    UChar* target_limit = text.data() + text.size();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_toUnicode(converter, &target, target_limit, &source, source_limit, nullptr, true, &status);
    written = static_cast<std::size_t>(target - text.data());
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      text.resize(text.size() * 2);
      continue;
    }
    if (U_FAILURE(status)) ThrowConversionFailed(entry.code_page, status);
    break;
  }
  text.resize(written);
  return text;
}

// The first call for a code page builds its table; later calls for the code page this thread
// asked last are one load. Code page 0 is resolved on every call, as the system's locale may
// change: callers that ask for many characters resolve it once (SystemAnsiCodePage()).
std::int16_t AnsiCode(char16_t ch, std::uint32_t code_page) {
  thread_local std::uint32_t last_code_page = 0;
  thread_local const std::int16_t* last_table = nullptr;
  if (code_page != 0 && code_page == last_code_page) return last_table[ch];
  const std::int16_t* table = AnsiCodeTable(ResolveCodePage(code_page));
  if (code_page != 0) {
    last_code_page = code_page;
    last_table = table;
  }
  return table[ch];
}

}  // namespace svregistration::nls
