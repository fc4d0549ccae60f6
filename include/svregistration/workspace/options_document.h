// An options document kept in a file: loaded once, saved atomically (a temporary file beside it,
// renamed over it).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <pugixml.hpp>
#include <string>

#include "svregistration/export.h"
#include "svregistration/host/workspace.h"

namespace svregistration::workspace {

class SVREG_API OptionsDocument final : public host::OptionsHolder {
 public:
  /// Loads the file; raises Error 53 naming a missing file, or 75 with the parser's message and
  /// the line and column of a document that is not well-formed.
  static std::shared_ptr<OptionsDocument> Load(const std::string& path);
  /// A new document from text, not yet saved.
  static std::shared_ptr<OptionsDocument> FromText(const std::string& path, const std::string& xml);

  /// Hands the document over to be changed: from then on revision() moves at every ask, since
  /// whoever holds it may change it at any time.
  pugi::xml_document* Document() override {
    handed_over_ = true;
    return &document_;
  }
  const pugi::xml_document* View() override { return &document_; }
  void Save() override;
  const std::string& path() const { return path_; }
  /// A count that changes whenever the document may have changed (see Document()).
  std::uint64_t revision() { return handed_over_ ? ++revision_ : revision_.load(); }

 private:
  explicit OptionsDocument(std::string path) : path_(std::move(path)) {}

  std::string path_;
  pugi::xml_document document_;
  std::atomic<bool> handed_over_ = false;
  std::atomic<std::uint64_t> revision_ = 0;
};

}  // namespace svregistration::workspace
