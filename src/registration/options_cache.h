// Answers read from the options documents, kept while the documents say the same. Reading the
// documents through XPath for every file of a large registration costs more than copying the
// file; comparing them with what they said costs a walk over a few hundred nodes. Whether they
// still say the same is told by their signature: every node's kind, name and value and every
// attribute, in document order, so that any change a host makes, in place or by handing over
// another document, is seen.
#pragma once

#include <initializer_list>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <utility>

namespace svregistration::registration {

/// Writes the signature of the documents (nullptr for a missing one) into `out`, replacing what
/// it held; with `with_locale`, also the environment variables that choose the user's and the
/// system's locale.
void SignatureOf(std::initializer_list<const pugi::xml_document*> documents, bool with_locale,
                 std::string& out);

/// The answers of one kind, by key (an object type), for the documents of one signature.
template <class Value>
class OptionsCache {
 public:
  /// The answer kept for the key under this signature; nullptr when there is none. Answers kept
  /// under another signature are forgotten.
  const Value* Find(const std::string& signature, const std::string& key) {
    if (signature != signature_) {
      answers_.clear();
      signature_ = signature;
    }
    auto it = answers_.find(key);
    return it == answers_.end() ? nullptr : &it->second;
  }
  /// Keeps the answer for the key under the signature last given to Find.
  void Keep(const std::string& key, Value value) { answers_[key] = std::move(value); }

 private:
  std::string signature_;
  std::unordered_map<std::string, Value> answers_;
};

}  // namespace svregistration::registration
