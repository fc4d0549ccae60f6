// The EBCDIC source conversion: 80-byte EBCDIC records through the instance's cached code page
// table to text, to the registered locale's ANSI code page, then through the line normaliser.
#include "platform/ansi_conversion.h"
#include "platform/locale_services.h"
#include "platform/text.h"
#include "registration/normaliser.h"
#include "registration/registration_settings.h"
#include "registration/source_copy.h"
#include "registration/source_files.h"
#include "registration/sv_standard_state.h"

namespace svregistration::registration {

std::vector<std::uint8_t> ConvertEbcdicSource(registration::State& state,
                                              const std::string& /*entity_type*/,
                                              const std::string& from_path,
                                              const std::string& table_file) {
  std::vector<std::uint8_t> bytes = ReadExistingFileBytes(from_path);
  if (bytes.empty()) return {};
  if (!state.CodePageTable ||
      !platform::EqualsIgnoreCase(state.CodePageTable->FileName(), table_file)) {
    // A table whose Load failed is not kept: the next conversion tries the file again instead of
    // reusing an empty table under the file's name.
    state.CodePageTable.reset();
    auto table = std::make_shared<CCSID>();
    table->Load(table_file, 0);
    state.CodePageTable = std::move(table);
  }
  std::u16string text = state.CodePageTable->ToUnicode(bytes, SOSIKeepType::KeepAll);
  RegistrationSettings& settings = ThreadRegistrationSettings();
  auto code_page = platform::LocaleAnsiCodePage(settings.RegisteredLocale);
  std::vector<std::uint8_t> ansi = platform::UnicodeToAnsi(text, code_page.value_or(0));
  settings.ConvertSosi = false;
  settings.ExpandTabs = false;
  return NormaliseSource(ansi, NormaliserOptions::From(settings));
}

}  // namespace svregistration::registration
