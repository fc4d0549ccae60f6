// Placeholder filling for message templates.
#include "platform/text.h"

namespace svregistration::platform {

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

}  // namespace svregistration::platform
