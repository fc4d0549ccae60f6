// The user's ANSI code page for archive names and passwords.
#include "archive/zip/user_code_page.h"

#include <optional>

#include "nls/locale_services.h"

namespace svregistration::archive {

std::uint32_t UserAnsiCodePage() {
  std::optional<std::uint32_t> code_page = nls::LocaleAnsiCodePage(nls::UserDefaultLocaleId());
  if (code_page && *code_page != 0) return *code_page;
  return nls::SystemAnsiCodePage();
}

}  // namespace svregistration::archive
