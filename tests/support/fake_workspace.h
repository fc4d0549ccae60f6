// A small in-memory workspace for library tests: options documents from text, a root folder, a
// recording log. Calls that are not configured fail with a clear error.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "svregistration/error.h"
#include "svregistration/host/workspace.h"

namespace svregistration::testing {

class FakeOptions final : public host::OptionsHolder {
 public:
  explicit FakeOptions(const std::string& xml) {
    if (!document_.load_string(xml.c_str())) throw std::runtime_error("bad test XML: " + xml);
  }
  pugi::xml_document* Document() override { return &document_; }
  void Save() override { ++saves; }
  int saves = 0;

 private:
  pugi::xml_document document_;
};

struct LogRecord {
  std::string title;
  int severity;
  std::optional<std::string> object_id;
  std::string text;
};

class FakeLog final : public host::WorkspaceLog {
 public:
  void Add(const std::string& title, int severity, const std::optional<std::string>& object_id,
           const std::string& text) override {
    records.push_back({title, severity, object_id, text});
  }
  std::vector<LogRecord> records;
};

class FakeWorkspace : public host::Workspace {
 public:
  /// Documents as XML text; an empty text means the workspace has no such document.
  FakeWorkspace(std::string root_dir, const std::string& workspace_xml,
                const std::string& global_xml = "<OPTIONS/>")
      : root(std::move(root_dir)), code_page_directory(root + "/codepages") {
    if (!workspace_xml.empty()) workspace_options = std::make_shared<FakeOptions>(workspace_xml);
    if (!global_xml.empty()) global_options = std::make_shared<FakeOptions>(global_xml);
  }

  std::shared_ptr<host::Repository> Repository() override {
    if (!repository) throw Error(error_number::kObjectNotSet, "FakeWorkspace", "no repository");
    return repository;
  }
  std::string GetSolvaneName(int code) override {
    if (code == host::kWorkspaceRootDirectory) return root;
    if (code == host::kCodePageTableDirectory) return code_page_directory;
    throw Error(5, "FakeWorkspace", "no such code");
  }
  std::shared_ptr<host::OptionsHolder> WorkspaceOptions() override {
    if (on_options) on_options();
    return workspace_options;
  }
  std::shared_ptr<host::OptionsHolder> GlobalOptions() override { return global_options; }
  std::shared_ptr<host::WorkspaceLog> Log() override { return log; }
  std::intptr_t SolvanewareWindowHandle() override { return 0; }
  void SetCancelPressed(bool cancelled) override { cancel_pressed = cancelled; }
  std::vector<std::string> ProtectedPaths() override {
    ++protected_asks;
    return protected_paths;
  }
  std::uint64_t OptionsRevision() override { return revision; }

  std::string root;
  std::vector<std::string> protected_paths;
  std::string code_page_directory;
  std::shared_ptr<FakeOptions> workspace_options;
  std::shared_ptr<FakeOptions> global_options;
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  std::shared_ptr<host::Repository> repository;
  bool cancel_pressed = false;
  /// What OptionsRevision answers: 0, no count, unless a test sets one.
  std::uint64_t revision = 0;
  /// Called whenever the workspace options are asked for: what a host might do meanwhile.
  std::function<void()> on_options;
  int protected_asks = 0;
};

/// A workspace options document with a Registration page (the given options, the entry of COBOL)
/// and an Encoding page.
struct OptionsSpec {
  bool expand_tabs = false;
  bool remove_numeration = false;
  bool numeration = false;
  bool remove_lead_numeration = false;
  std::string legacy = "ASCII";
  std::string sosi = "Retained";
  std::string encoding_table;
  std::string source_locale = "1033";
  std::string registered_locale = "1033";
  bool dbcs = false;
};
inline std::string WorkspaceOptionsXml(const OptionsSpec& s) {
  auto flag = [](bool b) { return b ? "true" : "false"; };
  std::string table = s.encoding_table.empty()
                          ? "<TEXT NAME='SourceLocale' VALUE='" + s.source_locale + "'/>"
                          : std::string("<BOOL NAME='DBCS' VALUE='") + flag(s.dbcs) + "'/>";
  return std::string("<OPTIONS><CASE ID='Registration'>") + "<BOOL ID='ExpandTabs' VALUE='" +
         flag(s.expand_tabs) + "'/>" + "<BOOL ID='RemoveNumeration' VALUE='" +
         flag(s.remove_numeration) + "'/>" +
         "<LIST NAME='Extension' VALUE='COBOL'><CASE NAME='COBOL'>" +
         "<BOOL NAME='Numeration' VALUE='" + flag(s.numeration) + "'/>" +
         "<BOOL NAME='RemoveLeadNumeration' VALUE='" + flag(s.remove_lead_numeration) + "'/>" +
         "</CASE></LIST></CASE><CASE ID='Encoding'>" + "<LIST ID='LegacySourcesEncoding' VALUE='" +
         s.legacy + "'>" + "<LIST NAME='SOSI' VALUE='" + s.sosi + "'/></LIST>" +
         "<LIST NAME='ObjectComputerEncoding' VALUE='Selected'><CASE NAME='Selected'>" +
         "<TEXT NAME='EncodingTable' VALUE='" + s.encoding_table + "'/>" + table +
         "<TEXT NAME='RegisteredLocale' VALUE='" + s.registered_locale + "'/>" +
         "</CASE></LIST></CASE></OPTIONS>";
}

}  // namespace svregistration::testing
