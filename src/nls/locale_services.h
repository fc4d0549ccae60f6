// Locale ids and code pages: the national-language services the settings reader relies on,
// answered from constant tables of Windows locale ids, ANSI code pages and their properties.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace svregistration::nls {

using LocaleId = std::uint32_t;

inline constexpr LocaleId kLocaleUserDefault = 0x400;
inline constexpr LocaleId kLocaleSystemDefault = 0x800;
inline constexpr LocaleId kLocaleEnglishUs = 1033;

/// A code page's properties as the code page query reports them.
struct CodePageInfo {
  std::uint32_t MaxCharSize = 0;  ///< largest number of bytes of one character
  std::array<std::uint8_t, 2> DefaultChar{};
  /// Up to six inclusive ranges (first, last); the first pair of two zero bytes ends the list.
  std::array<std::uint8_t, 12> LeadByte{};
};

/// The default ANSI code page of a locale id (LOCALE_IDEFAULTANSICODEPAGE); nullopt for a locale
/// id that is not known. Locales whose text is Unicode only answer 0, as Windows does.
std::optional<std::uint32_t> LocaleAnsiCodePage(LocaleId locale);

/// The properties of a code page (GetCPInfo); nullopt for a code page that is not supported.
/// Code page 0 stands for the system default locale's ANSI code page.
std::optional<CodePageInfo> CodePageProperties(std::uint32_t code_page);

/// The locale id of a POSIX locale name such as "ja_JP.UTF-8", "de_DE@euro", "C" or "POSIX"
/// (C and POSIX give 1033); nullopt when the name has no Windows locale id.
std::optional<LocaleId> LocaleIdFromPosixName(std::string_view name);

/// The user's default locale id: from LC_ALL, LC_CTYPE or LANG (the first that is set and not
/// empty), 1033 when none is or the name is unknown.
LocaleId UserDefaultLocaleId();

/// The system's default locale id: SVREG_SYSTEM_LOCALE when set, else as the user's.
LocaleId SystemDefaultLocaleId();

/// The code page that code page 0 stands for (CP_ACP): the ANSI code page of the system's
/// default locale, 1252 when that locale's text is Unicode only.
std::uint32_t SystemAnsiCodePage();

}  // namespace svregistration::nls
