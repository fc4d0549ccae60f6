// The signature of options documents.
#include "registration/options_cache.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace svregistration::registration {

namespace {

// Each text with its length before it, so that no two different documents share a signature.
void AppendText(const char* text, std::string& out) {
  const std::uint32_t size = static_cast<std::uint32_t>(std::strlen(text));
  out.append(reinterpret_cast<const char*>(&size), sizeof size);
  out.append(text, size);
}

void AppendNode(const pugi::xml_node& node, std::string& out) {
  out += static_cast<char>('0' + node.type());
  AppendText(node.name(), out);
  AppendText(node.value(), out);
  for (const pugi::xml_attribute& attribute : node.attributes()) {
    out += '@';
    AppendText(attribute.name(), out);
    AppendText(attribute.value(), out);
  }
  out += '(';
  for (const pugi::xml_node& child : node.children()) AppendNode(child, out);
  out += ')';
}

}  // namespace

void SignatureOf(std::initializer_list<const pugi::xml_document*> documents, bool with_locale,
                 std::string& out) {
  out.clear();
  for (const pugi::xml_document* document : documents) {
    if (document == nullptr) {
      out += '-';
    } else {
      AppendNode(*document, out);
    }
  }
  if (!with_locale) return;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG", "SVREG_SYSTEM_LOCALE"}) {
    const char* value = std::getenv(variable);
    out += value == nullptr ? '-' : '=';
    if (value != nullptr) AppendText(value, out);
  }
}

}  // namespace svregistration::registration
