// Reading the Registration and Encoding pages of the options documents.
#include "registration/registration_settings.h"

#include <charconv>
#include <limits>

#include "resources/message_catalogue.h"
#include "runtime/host_utilities.h"
#include "svregistration/error.h"

namespace svregistration::registration {

namespace {

constexpr const char* kSource = "SVRegistration";

pugi::xml_node OptionElement(const pugi::xml_node& element, const std::string& path) {
  return path.empty() ? element : SelectQuietly(element, path);
}

// The context of a selection that is not guarded: a missing document or list is an error.
pugi::xml_node RequireContext(const pugi::xml_node& context, const char* what) {
  if (!context) {
    throw Error(error_number::kObjectNotSet, kSource,
                std::string("Object variable not set: ") + what + " is missing");
  }
  return context;
}

Error RegistrationError(int number, int message_id, const std::vector<std::string>& args = {}) {
  std::string description = resources::LoadMessage(message_id);
  if (!args.empty()) {
    description = runtime::ThreadMessageFormatter().FormatMessage(description, args);
  }
  return Error(number, resources::LoadMessage(resources::kMsgRegistration), description);
}

// The decimal number of a locale text; 13 when it is empty or not a number.
nls::LocaleId LocaleNumber(const std::string& text, const char* option,
                           const std::string& encoding) {
  std::size_t begin = text.find_first_not_of(" \t");
  std::size_t end = text.find_last_not_of(" \t");
  std::int64_t value = 0;
  if (begin != std::string::npos) {
    const char* first = text.data() + begin;
    const char* last = text.data() + end + 1;
    if (*first == '+') ++first;
    auto [ptr, ec] = std::from_chars(first, last, value);
    if (ec == std::errc() && ptr == last) {
      if (value < std::numeric_limits<std::int32_t>::min() ||
          value > std::numeric_limits<std::int32_t>::max()) {
        throw Error(error_number::kOverflow, kSource,
                    std::string("Overflow: the ") + option + " '" + text + "' of encoding '" +
                        encoding + "' is out of range");
      }
      return static_cast<nls::LocaleId>(static_cast<std::int32_t>(value));
    }
  }
  throw Error(error_number::kTypeMismatch, kSource,
              std::string("Type mismatch: the ") + option + " of encoding '" + encoding + "' is '" +
                  text + "', not a number");
}

void ReadRegistrationPage(const pugi::xml_document* workspace_options,
                          const std::string& object_type, RegistrationSettings& settings) {
  pugi::xml_node page;
  if (workspace_options != nullptr) {
    page = SelectQuietly(*workspace_options, "//CASE[@ID='Registration']");
  }
  if (!page) return;
  pugi::xml_node entry =
      SelectQuietly(page, ".//LIST[@NAME='Extension']/CASE[@NAME='" + object_type + "']");
  if (!entry) {
    throw RegistrationError(error_number::kNoRegistrationEntry,
                            resources::kMsgIncorrectRegistrationPage);
  }
  settings.ExpandTabs = ReadOptionBool(page, "//BOOL[@ID='ExpandTabs']");
  settings.RemoveNumeration = ReadOptionBool(page, "//BOOL[@ID='RemoveNumeration']");
  settings.Numeration = ReadOptionBool(entry, "./BOOL[@NAME='Numeration']");
  settings.SosiAllowed = true;
  settings.RemoveLeadNumeration = ReadOptionBool(entry, "./BOOL[@NAME='RemoveLeadNumeration']");
}

void ReadEncodingPage(const pugi::xml_document* workspace_options,
                      const pugi::xml_document* global_options, RegistrationSettings& settings) {
  pugi::xml_node workspace_root =
      RequireContext(workspace_options ? pugi::xml_node(*workspace_options) : pugi::xml_node(),
                     "the workspace options document");
  pugi::xml_node legacy = SelectQuietly(workspace_root, "//LIST[@ID='LegacySourcesEncoding']");
  settings.IsEbcdic = ReadOptionValue(legacy, "") == "EBCDIC";
  std::string sosi = ReadOptionValue(legacy, ".//LIST[@NAME='SOSI']");
  settings.ConvertSosi = sosi != "Retained" && !settings.IsEbcdic;
  settings.SosiRemoved = sosi == "Removed";

  pugi::xml_node workspace_list =
      SelectQuietly(workspace_root, "//LIST[@NAME='ObjectComputerEncoding']");
  std::string encoding = ReadOptionValue(workspace_list, "");
  pugi::xml_node global_root =
      RequireContext(global_options ? pugi::xml_node(*global_options) : pugi::xml_node(),
                     "the global options document");
  pugi::xml_node list = SelectQuietly(global_root, "//LIST[@ID='ObjectComputerEncoding']");
  if (!list) list = workspace_list;
  RequireContext(list, "the ObjectComputerEncoding list");
  pugi::xml_node entry = SelectQuietly(list, "./CASE[@NAME='" + encoding + "']");

  CheckLocaleCodePage(nls::UserDefaultLocaleId(), "current");
  settings.EncodingTable = ReadOptionValue(entry, "./TEXT[@NAME='EncodingTable']");
  if (settings.EncodingTable.empty()) {
    settings.SourceLocale = ResolveLocale(LocaleNumber(
        ReadOptionValue(entry, "./TEXT[@NAME='SourceLocale']"), "SourceLocale", encoding));
    nls::CodePageInfo source = CheckLocaleCodePage(settings.SourceLocale, "source");
    settings.IsDbcs = source.MaxCharSize > 1;
  } else {
    settings.IsDbcs = ReadOptionValue(entry, "./BOOL[@NAME='DBCS']") == "true";
  }
  settings.RegisteredLocale = ResolveLocale(LocaleNumber(
      ReadOptionValue(entry, "./TEXT[@NAME='RegisteredLocale']"), "RegisteredLocale", encoding));
  settings.RegisteredCodePage = CheckLocaleCodePage(settings.RegisteredLocale, "registration");
  settings.SosiAllowed = settings.SosiAllowed && settings.IsDbcs;
}

}  // namespace

pugi::xml_node SelectQuietly(const pugi::xml_node& context, const std::string& path) {
  if (!context) return {};
  try {
    return context.select_node(path.c_str()).node();
  } catch (const pugi::xpath_exception&) {
    return {};
  }
}

bool RegistrationSettings::IsLeadByte(unsigned char b) const {
  if (!IsDbcs) return false;
  for (std::size_t pair = 0; pair < RegisteredCodePage.LeadByte.size(); pair += 2) {
    unsigned char first = RegisteredCodePage.LeadByte[pair];
    unsigned char last = RegisteredCodePage.LeadByte[pair + 1];
    if (first == 0 && last == 0) return false;
    if (first <= b && b <= last) return true;
  }
  return false;
}

RegistrationSettings LoadRegistrationSettings(const pugi::xml_document* workspace_options,
                                              const pugi::xml_document* global_options,
                                              const std::string& object_type) {
  RegistrationSettings settings;
  ReadRegistrationPage(workspace_options, object_type, settings);
  ReadEncodingPage(workspace_options, global_options, settings);
  return settings;
}

std::string ReadOptionValue(const pugi::xml_node& element, const std::string& path) {
  pugi::xml_node option = OptionElement(element, path);
  if (!option) return "";
  pugi::xml_attribute value = option.attribute("VALUE");
  if (!value) {
    throw Error(error_number::kInvalidUseOfNull, kSource,
                std::string("Invalid use of Null: the option element <") + option.name() +
                    "> selected by \"" + path + "\" has no VALUE");
  }
  return value.value();
}

bool ReadOptionBool(const pugi::xml_node& element, const std::string& path) {
  if (!OptionElement(element, path)) return false;
  return ReadOptionValue(element, path) == "true";
}

nls::LocaleId ResolveLocale(nls::LocaleId locale) {
  if (locale == nls::kLocaleUserDefault) return nls::UserDefaultLocaleId();
  if (locale == nls::kLocaleSystemDefault) return nls::SystemDefaultLocaleId();
  return locale;
}

nls::CodePageInfo CheckLocaleCodePage(nls::LocaleId locale, const std::string& role) {
  if (auto code_page = nls::LocaleAnsiCodePage(locale)) {
    if (auto info = nls::CodePageProperties(*code_page)) return *info;
  }
  throw RegistrationError(error_number::kUnsupportedLocale, resources::kMsgWrongEncodingOption,
                          {role, std::to_string(static_cast<std::int32_t>(locale))});
}

}  // namespace svregistration::registration
