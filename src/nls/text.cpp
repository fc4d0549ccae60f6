// Placeholder filling for message templates and the UTF-16 length of UTF-8 text.
#include "nls/text.h"

#include <unicode/ustring.h>

namespace svregistration::nls {

std::size_t Utf16Length(std::string_view utf8) {
  std::int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  // Preflighting: no output buffer, ICU only counts (and reports the overflow).
  u_strFromUTF8WithSub(nullptr, 0, &length, utf8.data(), static_cast<std::int32_t>(utf8.size()),
                       0xFFFD, nullptr, &status);
  return static_cast<std::size_t>(length);
}

std::string FillPlaceholders(std::string_view message_template,
                             const std::vector<std::string>& args) {
  std::string out;
  out.reserve(message_template.size() + 32);
  for (std::size_t i = 0; i < message_template.size(); ++i) {
    char c = message_template[i];
    if (c == '%' && i + 1 < message_template.size() && message_template[i + 1] >= '1' &&
        message_template[i + 1] <= '9') {
      auto index = static_cast<std::size_t>(message_template[i + 1] - '1');
      if (index < args.size()) {
        out += args[index];
        ++i;
        continue;
      }
    }
    out.push_back(c);
  }
  return out;
}

}  // namespace svregistration::nls
