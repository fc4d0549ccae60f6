// Answers read from the options documents, kept while the documents say the same. Reading the
// documents through XPath for every file of a large registration or refresh costs more than
// copying the file. Whether they still say the same is told by the host's revision when it
// counts one: while the count stays, the documents are not read at all. Otherwise by their
// signature: every node's kind, name and value and every attribute, in document order, so that
// any change a host makes, in place or by handing over another document, is seen. The settings
// also depend on the environment variables that choose the locales, compared at every check.
// The documents are checked at most once per call of the library (a refresh of a folder is one
// call): a host that changes them while a call runs (from a handler or interface the call
// reaches) is heard from its next call on.
#pragma once

#include <cstdint>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "svregistration/host/workspace.h"

namespace svregistration::registration {

/// Documents in a fixed order, nullptr for one the host does not have.
using OptionsDocuments = std::vector<const pugi::xml_document*>;

/// The signature of a set of documents, and whether they still match it.
class DocumentSignature {
 public:
  /// True when the documents are what they were at the last call; false the first time. Takes
  /// the new signature when they are not.
  bool Matches(const OptionsDocuments& documents);

 private:
  std::string signature_;
};

/// The locale variables as they were at the last call, and whether they still are.
class LocaleSignature {
 public:
  /// False the first time and whenever a variable changed; takes the new values then.
  bool Matches();

 private:
  std::string signature_;
};

/// The host whose options were last read and the revision it gave for them then.
class HostRevision {
 public:
  /// True when `host` is that host, alive, and gives the same revision, not 0.
  bool Same(const std::shared_ptr<host::Workspace>& host) const {
    return revision_ != 0 && host && host_.lock() == host && host->OptionsRevision() == revision_;
  }
  /// Takes the host's revision as it stands, after its documents were read.
  void Take(const std::shared_ptr<host::Workspace>& host) {
    host_ = host;
    revision_ = host ? host->OptionsRevision() : 0;
  }

 private:
  std::weak_ptr<host::Workspace> host_;
  std::uint64_t revision_ = 0;
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
  /// Forgets the answers when the documents (and with `with_locale` the locale variables) have
  /// changed; within one call they are checked once. `read` gives the documents of `host`
  /// (nullptr: one that cannot say whether they changed); it is not called while the host's
  /// revision says they are as they were.
  template <class Read>
  void Validate(const LibraryCall& call, const std::shared_ptr<host::Workspace>& host, Read&& read,
                bool with_locale) {
    if (call.depth > 0 && call.serial == checked_in_) return;
    checked_in_ = call.depth > 0 ? call.serial : 0;
    const bool same_locale = !with_locale || locale_.Matches();
    if (same_locale && revision_.Same(host)) return;
    const OptionsDocuments documents = read();
    revision_.Take(host);
    if (!signature_.Matches(documents) || !same_locale) answers_.clear();
  }
  /// The answer kept for the key; nullptr when there is none.
  const Value* Find(const std::string& key) const {
    auto it = answers_.find(key);
    return it == answers_.end() ? nullptr : &it->second;
  }
  void Keep(const std::string& key, Value value) { answers_[key] = std::move(value); }

 private:
  DocumentSignature signature_;
  LocaleSignature locale_;
  HostRevision revision_;
  unsigned checked_in_ = 0;
  std::unordered_map<std::string, Value> answers_;
};

}  // namespace svregistration::registration
