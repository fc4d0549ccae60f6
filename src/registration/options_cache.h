// Answers read from the options documents, kept while the documents say the same. Reading the
// documents through XPath for every file of a large registration or refresh costs more than
// copying the file. Whether they still say the same is told by their signature: every node's
// kind, name and value and every attribute, in document order (with the environment variables
// that choose the locales, for the settings), so that any change a host makes, in place or by
// handing over another document, is seen. The documents are compared at most once per call of
// the library (a refresh of a folder is one call): a host that changes them while a call runs
// (from a handler or interface the call reaches) is heard from its next call on.
#pragma once

#include <initializer_list>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <utility>

namespace svregistration::registration {

/// The signature of a set of documents, and whether they still match it.
class DocumentSignature {
 public:
  /// True when the documents (nullptr for a missing one), and with `with_locale` the locale
  /// variables, are what they were at the last call; false the first time. Takes the new
  /// signature when they are not.
  bool Matches(std::initializer_list<const pugi::xml_document*> documents, bool with_locale);

 private:
  std::string signature_;
};

/// One call of the library: the documents are compared at most once within it. Calls made
/// inside another (a refresh that registers) belong to the outer one.
struct LibraryCall {
  unsigned serial = 0;  ///< the current outermost call; 0 outside any
  int depth = 0;
};

class LibraryCallScope {
 public:
  explicit LibraryCallScope(LibraryCall& call) : call_(call) {
    if (call_.depth++ == 0) call_.serial = call_.serial == ~0u ? 1 : call_.serial + 1;
  }
  ~LibraryCallScope() { --call_.depth; }
  LibraryCallScope(const LibraryCallScope&) = delete;
  LibraryCallScope& operator=(const LibraryCallScope&) = delete;

 private:
  LibraryCall& call_;
};

/// The answers of one kind, by key (an object type).
template <class Value>
class OptionsCache {
 public:
  /// Forgets the answers when the documents have changed; within one call they are compared once.
  void Validate(const LibraryCall& call, std::initializer_list<const pugi::xml_document*> documents,
                bool with_locale) {
    if (call.depth > 0 && call.serial == checked_in_) return;
    checked_in_ = call.depth > 0 ? call.serial : 0;
    if (!signature_.Matches(documents, with_locale)) answers_.clear();
  }
  /// The answer kept for the key; nullptr when there is none.
  const Value* Find(const std::string& key) const {
    auto it = answers_.find(key);
    return it == answers_.end() ? nullptr : &it->second;
  }
  void Keep(const std::string& key, Value value) { answers_[key] = std::move(value); }

 private:
  DocumentSignature signature_;
  unsigned checked_in_ = 0;
  std::unordered_map<std::string, Value> answers_;
};

}  // namespace svregistration::registration
