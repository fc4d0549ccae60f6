// Locale ids answered from the constant tables, code pages from the tables and ICU's converters,
// and the user's and system's default locale ids taken from the environment.
#include "nls/locale_services.h"

#include <unicode/localpointer.h>
#include <unicode/ucnv.h>

#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

#include "nls/locale_table.h"
#include "nls/text.h"

namespace svregistration::nls {

namespace {

// Locale ids that stand for another one (GetLocaleInfo converts them before it looks anything
// up): the neutral locale and the custom defaults mean the user's locale.
constexpr LocaleId kLocaleNeutral = 0x0000;
constexpr LocaleId kLocaleCustomDefault = 0x0C00;
constexpr LocaleId kLocaleCustomUiDefault = 0x1400;

// The code page that code page 0 stands for when the system's locale has only Unicode text.
constexpr std::uint32_t kFallbackAnsiCodePage = 1252;

// Language codes that glibc knows under another name than the locale table does.
struct LanguageAlias {
  std::string_view alias;
  std::string_view language;
};
constexpr LanguageAlias kLanguageAliases[] = {
    {"ckb", "ku"},  // Central Kurdish
    {"in", "id"},   // Indonesian, old code
    {"iw", "he"},   // Hebrew, old code
    {"ji", "yi"},   // Yiddish, old code
    {"no", "nb"},   // Norwegian: Bokmål
    {"tl", "fil"},  // Tagalog: Filipino
};

bool IsDefaultLocalePlaceholder(LocaleId locale) {
  return locale == kLocaleNeutral || locale == kLocaleUserDefault ||
         locale == kLocaleSystemDefault || locale == kLocaleCustomDefault ||
         locale == kLocaleCustomUiDefault;
}

LocaleId ConvertDefaultLocale(LocaleId locale) {
  switch (locale) {
    case kLocaleNeutral:
    case kLocaleUserDefault:
    case kLocaleCustomDefault:
    case kLocaleCustomUiDefault:
      return UserDefaultLocaleId();
    case kLocaleSystemDefault:
      return SystemDefaultLocaleId();
    default:
      return locale;
  }
}

std::string_view LanguageOf(std::string_view name) {
  return name.substr(0, name.find_first_of("_@"));
}

// The row of a specific locale whose name is `name` (letter case ignored).
const detail::LocaleEntry* FindSpecificByName(std::string_view name) {
  for (const detail::LocaleEntry& entry : detail::LocaleTable()) {
    if (entry.kind == detail::LocaleKind::kNeutral) continue;
    if (EqualsIgnoreCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

// The specific locale a bare language name means.
const detail::LocaleEntry* FindLanguageDefault(std::string_view language) {
  for (const detail::LocaleEntry& entry : detail::LocaleTable()) {
    if (entry.kind == detail::LocaleKind::kLanguageDefault &&
        EqualsIgnoreCase(LanguageOf(entry.name), language)) {
      return &entry;
    }
  }
  return nullptr;
}

// An environment variable's value; empty when it is not set.
std::string_view Environment(const char* variable) {
  const char* value = std::getenv(variable);
  return value == nullptr ? std::string_view() : std::string_view(value);
}

// A locale id written as a decimal number or as 0x and hex digits; nullopt for anything else.
std::optional<LocaleId> ParseLocaleNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  LocaleId value = 0;
  const char* last = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), last, value, base);
  if (text.empty() || ec != std::errc() || ptr != last) return std::nullopt;
  return value;
}

// What the converter's mapping table says of a code page: its largest character and the bytes
// that begin a two-byte one, as up to six ranges. MaxCharSize stays 0 when ICU cannot open it.
CodePageInfo AskConverter(const detail::CodePageEntry& entry) {
  CodePageInfo info;
  info.DefaultChar = detail::kDefaultChar;
  UErrorCode status = U_ZERO_ERROR;
  icu::LocalUConverterPointer converter(ucnv_open(std::string(entry.converter).c_str(), &status));
  if (U_FAILURE(status)) return info;
  UBool starts[256] = {};
  if (ucnv_getType(converter.getAlias()) != UCNV_SBCS) {
    ucnv_getStarters(converter.getAlias(), starts, &status);
  }
  std::size_t slot = 0;
  for (unsigned byte = 0; byte < 256 && slot + 1 < info.LeadByte.size(); ++byte) {
    if (!starts[byte]) continue;
    unsigned last = byte;
    while (last + 1 < 256 && starts[last + 1]) ++last;
    info.LeadByte[slot++] = static_cast<std::uint8_t>(byte);
    info.LeadByte[slot++] = static_cast<std::uint8_t>(last);
    byte = last;
  }
  info.MaxCharSize = static_cast<std::uint32_t>(ucnv_getMaxCharSize(converter.getAlias()));
  return info;
}

// The properties of every code page of the table, asked of ICU once for the process.
const std::vector<CodePageInfo>& ConverterProperties() {
  static const std::vector<CodePageInfo> properties = [] {
    std::vector<CodePageInfo> all;
    for (const detail::CodePageEntry& entry : detail::CodePageTable()) {
      all.push_back(AskConverter(entry));
    }
    return all;
  }();
  return properties;
}

}  // namespace

std::optional<std::uint32_t> LocaleAnsiCodePage(LocaleId locale) {
  const detail::LocaleEntry* entry = detail::FindLocale(ConvertDefaultLocale(locale));
  if (entry == nullptr) return std::nullopt;
  return entry->ansi_code_page;
}

std::optional<CodePageInfo> CodePageProperties(std::uint32_t code_page) {
  const detail::CodePageEntry* entry =
      detail::FindCodePage(code_page == 0 ? SystemAnsiCodePage() : code_page);
  if (entry == nullptr) return std::nullopt;
  const CodePageInfo& info =
      ConverterProperties()[static_cast<std::size_t>(entry - detail::CodePageTable().data())];
  if (info.MaxCharSize == 0) return std::nullopt;
  return info;
}

// language[_TERRITORY][.codeset][@modifier]. The code set plays no part: the locale's ANSI code
// page is the table's whatever the environment's encoding is. A modifier picks a locale only
// when the table has one by that name (script, variant or sort: "sr_RS@latin"); others, such as
// "@euro", are ignored. A known language in a territory the table lacks gives the language's
// default locale ("en_DK" is en_US), the nearest Windows answer for a language it knows.
std::optional<LocaleId> LocaleIdFromPosixName(std::string_view name) {
  std::string_view modifier;
  if (std::size_t at = name.find('@'); at != std::string_view::npos) {
    modifier = name.substr(at + 1);
    name = name.substr(0, at);
  }
  name = name.substr(0, name.find('.'));
  if (name == "C" || name == "POSIX") return kLocaleEnglishUs;

  std::string_view language = name.substr(0, name.find_first_of("_-"));
  std::string_view territory =
      language.size() < name.size() ? name.substr(language.size() + 1) : std::string_view();
  if (language.empty()) return std::nullopt;
  for (const LanguageAlias& alias : kLanguageAliases) {
    if (EqualsIgnoreCase(language, alias.alias)) language = alias.language;
  }

  if (!territory.empty()) {
    std::string wanted = std::string(language) + "_" + std::string(territory);
    if (!modifier.empty()) {
      if (const auto* entry = FindSpecificByName(wanted + "@" + std::string(modifier))) {
        return entry->id;
      }
    }
    if (const auto* entry = FindSpecificByName(wanted)) return entry->id;
  }
  if (const auto* entry = FindLanguageDefault(language)) return entry->id;
  return std::nullopt;
}

LocaleId UserDefaultLocaleId() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    std::string_view value = Environment(variable);
    if (!value.empty()) return LocaleIdFromPosixName(value).value_or(kLocaleEnglishUs);
  }
  return kLocaleEnglishUs;
}

// A number is taken as it stands, known to the table or not, so that a system whose locale has
// no ANSI code page can be set up; only the ids that stand for a default locale (0, 1024, 2048
// ...) mean the user's. A name goes through the POSIX name look-up.
LocaleId SystemDefaultLocaleId() {
  std::string_view value = Environment("SVREG_SYSTEM_LOCALE");
  if (value.empty()) return UserDefaultLocaleId();
  if (auto number = ParseLocaleNumber(value)) {
    return IsDefaultLocalePlaceholder(*number) ? UserDefaultLocaleId() : *number;
  }
  return LocaleIdFromPosixName(value).value_or(kLocaleEnglishUs);
}

std::uint32_t SystemAnsiCodePage() {
  std::optional<std::uint32_t> code_page = LocaleAnsiCodePage(SystemDefaultLocaleId());
  return (code_page && *code_page != 0) ? *code_page : kFallbackAnsiCodePage;
}

}  // namespace svregistration::nls
