// The settings reader: turns the workspace's options documents into the RegistrationSettings of
// one object type (tab expansion, sequence numbers, legacy encoding, shift-out/shift-in handling,
// the locales of the source and of the registered copy) and checks that every locale involved
// has an ANSI code page. Every load starts from the defaults and gives the caller its own record.
#pragma once

#include <pugixml.hpp>
#include <string>

#include "nls/locale_services.h"

namespace svregistration::registration {

struct RegistrationSettings {
  bool ExpandTabs = false;
  bool RemoveNumeration = false;
  bool Numeration = false;
  bool RemoveLeadNumeration = false;
  bool SosiAllowed = false;
  bool IsEbcdic = false;
  bool ConvertSosi = false;
  bool SosiRemoved = false;
  std::string EncodingTable;
  nls::LocaleId SourceLocale = 0;
  nls::LocaleId RegisteredLocale = 0;
  bool IsDbcs = false;
  nls::CodePageInfo RegisteredCodePage;

  /// True when b begins a double-byte character of the registered copy's code page.
  bool IsLeadByte(unsigned char b) const;
};

/// The settings of the object type from the two documents (either may be nullptr). Raises the
/// message 507 error for a Registration page without the type, the message 508 error for an
/// unsupported locale, 13 for a missing or non-numeric locale, 91 for a missing document or
/// encoding list, 94 for an option element without VALUE.
RegistrationSettings LoadRegistrationSettings(const pugi::xml_document* workspace_options,
                                              const pugi::xml_document* global_options,
                                              const std::string& object_type);

/// The first node `path` selects from `context`; an empty node when nothing is selected, the
/// context is empty, or the path is not a valid XPath expression.
pugi::xml_node SelectQuietly(const pugi::xml_node& context, const std::string& path);

/// The VALUE of the element `path` selects from `element` (the element itself for an empty
/// path); "" when nothing is selected or the path is invalid. Raises 94 when the element has no
/// VALUE.
std::string ReadOptionValue(const pugi::xml_node& element, const std::string& path);
/// True exactly when the selected element's VALUE is "true".
bool ReadOptionBool(const pugi::xml_node& element, const std::string& path);

/// 1024 becomes the user's default locale id, 2048 the system's.
nls::LocaleId ResolveLocale(nls::LocaleId locale);
/// The code page information of the locale's ANSI code page; raises the message 508 error with
/// the role ("current", "source", "registration") and the id.
nls::CodePageInfo CheckLocaleCodePage(nls::LocaleId locale, const std::string& role);

}  // namespace svregistration::registration
