// The signature of options documents: each node's kind, its name and value (each ending in the
// NUL no name or value holds), its attributes after '@', its children between '(' and ')'. That
// of the locale variables: each value after '=', or '-' for one that is not set.
#include "registration/options_cache.h"

#include <unistd.h>

#include <array>
#include <cstring>
#include <string_view>

namespace svregistration::registration {

namespace {

// Writes a signature.
class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) { out_.clear(); }
  bool Mark(char c) {
    out_ += c;
    return true;
  }
  bool Text(const char* text) {
    out_.append(text, std::strlen(text) + 1);
    return true;
  }

 private:
  std::string& out_;
};

// Reads a signature along: false from the first difference on.
class Comparer {
 public:
  explicit Comparer(const std::string& signature)
      : at_(signature.data()), end_(signature.data() + signature.size()) {}
  bool Mark(char c) {
    if (at_ == end_ || *at_ != c) return false;
    ++at_;
    return true;
  }
  bool Text(const char* text) {
    for (;; ++text, ++at_) {
      if (at_ == end_ || *at_ != *text) return false;
      if (*text == '\0') {
        ++at_;
        return true;
      }
    }
  }
  bool AtEnd() const { return at_ == end_; }

 private:
  const char* at_;
  const char* end_;
};

template <class Sink>
bool Node(const pugi::xml_node& node, Sink& sink) {
  if (!sink.Mark(static_cast<char>('0' + node.type())) || !sink.Text(node.name()) ||
      !sink.Text(node.value())) {
    return false;
  }
  for (pugi::xml_attribute attribute = node.first_attribute(); attribute;
       attribute = attribute.next_attribute()) {
    if (!sink.Mark('@') || !sink.Text(attribute.name()) || !sink.Text(attribute.value())) {
      return false;
    }
  }
  if (!sink.Mark('(')) return false;
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (!Node(child, sink)) return false;
  }
  return sink.Mark(')');
}

template <class Sink>
bool Signature(const OptionsDocuments& documents, Sink& sink) {
  for (const pugi::xml_document* document : documents) {
    if (document == nullptr ? !sink.Mark('-') : !sink.Mark('D') || !Node(*document, sink)) {
      return false;
    }
  }
  return true;
}

constexpr std::array<std::string_view, 4> kLocaleVariables = {"LC_ALL", "LC_CTYPE", "LANG",
                                                              "SVREG_SYSTEM_LOCALE"};

// Whether a byte begins one of the names: most variables are turned away by their first byte.
constexpr std::array<bool, 256> kLocaleVariableStarts = [] {
  std::array<bool, 256> starts{};
  for (std::string_view name : kLocaleVariables) starts[static_cast<unsigned char>(name[0])] = true;
  return starts;
}();

// The values of the locale variables, as getenv gives them (the first entry of each name), in
// one walk of the environment: the check runs for every file a host has read, and a getenv for
// each variable walked the environment four times.
std::array<const char*, kLocaleVariables.size()> LocaleValues() {
  std::array<const char*, kLocaleVariables.size()> values{};
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* text = *entry;
    if (!kLocaleVariableStarts[static_cast<unsigned char>(text[0])]) continue;
    for (std::size_t i = 0; i < kLocaleVariables.size(); ++i) {
      const std::string_view name = kLocaleVariables[i];
      if (values[i] == nullptr && text[1] == name[1] &&
          std::strncmp(text, name.data(), name.size()) == 0 && text[name.size()] == '=') {
        values[i] = text + name.size() + 1;
        break;
      }
    }
  }
  return values;
}

template <class Sink>
bool Locale(Sink& sink) {
  for (const char* value : LocaleValues()) {
    if (value == nullptr ? !sink.Mark('-') : !sink.Mark('=') || !sink.Text(value)) return false;
  }
  return true;
}

}  // namespace

bool DocumentSignature::Matches(const OptionsDocuments& documents) {
  Comparer comparer(signature_);
  if (!signature_.empty() && Signature(documents, comparer) && comparer.AtEnd()) return true;
  Writer writer(signature_);
  Signature(documents, writer);
  return false;
}

bool LocaleSignature::Matches() {
  Comparer comparer(signature_);
  if (!signature_.empty() && Locale(comparer) && comparer.AtEnd()) return true;
  Writer writer(signature_);
  Locale(writer);
  return false;
}

}  // namespace svregistration::registration
