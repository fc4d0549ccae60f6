// The constant tables behind the locale services: every Windows locale id with its POSIX-style
// name and default ANSI code page, and every supported code page with the ICU converter whose
// mapping table matches it. What ICU knows of a code page (its largest character, its lead
// bytes) is asked of the converter; the tables hold only what ICU lacks: the ANSI code page of
// each locale, and the POSIX-style names the environment uses (ICU names one locale id in six
// differently: scripts as subtags where glibc has modifiers, "sr_RS" as Latin where glibc's is
// Cyrillic, sorts as collation keywords).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "nls/locale_services.h"

namespace svregistration::nls::detail {

/// What a locale id stands for.
enum class LocaleKind : std::uint8_t {
  kSpecific,         ///< a language in a territory
  kLanguageDefault,  ///< a specific locale that a bare language name ("ja") also means
  kNeutral,          ///< a language alone, or a language in one script, without a territory
  kAlternateSort,    ///< a specific locale with a sort id other than 0 (bits 16-19)
};

/// One locale id. Layout of the table (LocaleTable()):
/// - sorted by `id`, ascending and without duplicates, so that a look-up is a binary search;
/// - `id` is sort id << 16 | sublanguage << 10 | primary language, as Windows composes it;
/// - `ansi_code_page` is the locale's default ANSI code page (LOCALE_IDEFAULTANSICODEPAGE), 0
///   for a locale whose text is Unicode only;
/// - `name` is language[_TERRITORY][@modifier] in POSIX style; the modifier tells apart locales
///   of one language and territory by script ("sr_RS@latin", "uz_UZ@cyrillic"), variant
///   ("ca_ES@valencia") or sort ("de_DE@phoneb", "es_ES@tradnl"). Names follow glibc where it
///   has the locale: "sr_RS" is Cyrillic, "uz_UZ" and "az_AZ" are Latin. Neutral rows carry the
///   language (and script) only; the invariant locales have an empty name.
/// - exactly one row per language of the specific rows is kLanguageDefault.
struct LocaleEntry {
  LocaleId id;
  std::uint16_t ansi_code_page;
  LocaleKind kind;
  std::string_view name;
};

/// One code page. Layout of the table (CodePageTable()): sorted by `code_page`, ascending and
/// without duplicates; `converter` is the canonical name of the ICU converter with the same
/// mapping table.
struct CodePageEntry {
  std::uint32_t code_page;
  std::string_view converter;
};

/// The default character of every ANSI and OEM code page: "?". ICU's tables substitute other
/// bytes (0x1A, 0x7F, 0xFC 0xFC), so it is not taken from them.
inline constexpr std::array<std::uint8_t, 2> kDefaultChar = {0x3F, 0x00};

std::span<const LocaleEntry> LocaleTable();
std::span<const CodePageEntry> CodePageTable();

/// The row of a locale id; nullptr when the id is not in the table.
const LocaleEntry* FindLocale(LocaleId id);

/// The row of a code page; nullptr when the code page is not in the table (0 included).
const CodePageEntry* FindCodePage(std::uint32_t code_page);

}  // namespace svregistration::nls::detail
