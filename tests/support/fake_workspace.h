// A small in-memory workspace for library tests: options documents from text, a root folder, a
// recording log. Calls that are not configured fail with a clear error.
#pragma once

#include <memory>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "svregistration/host/workspace.h"

namespace svregistration::testing {

class FakeOptions final : public host::OptionsHolder {
 public:
  explicit FakeOptions(const std::string& xml);
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
  FakeWorkspace(std::string root, const std::string& workspace_xml,
                const std::string& global_xml = "<OPTIONS/>");

  std::shared_ptr<host::Repository> Repository() override;
  std::string GetSolvaneName(int code) override;
  std::shared_ptr<host::OptionsHolder> WorkspaceOptions() override { return workspace_options; }
  std::shared_ptr<host::OptionsHolder> GlobalOptions() override { return global_options; }
  std::shared_ptr<host::WorkspaceLog> Log() override { return log; }
  std::intptr_t SolvanewareWindowHandle() override { return 0; }
  void SetCancelPressed(bool cancelled) override { cancel_pressed = cancelled; }
  std::vector<std::string> ProtectedPaths() override { return protected_paths; }

  std::string root;
  std::vector<std::string> protected_paths;
  std::string code_page_directory;
  std::shared_ptr<FakeOptions> workspace_options;
  std::shared_ptr<FakeOptions> global_options;
  std::shared_ptr<FakeLog> log = std::make_shared<FakeLog>();
  std::shared_ptr<host::Repository> repository;
  bool cancel_pressed = false;
};

/// A workspace options document with a Registration page (the given options, one type entry)
/// and an Encoding page.
struct OptionsSpec {
  std::string type = "COBOL";
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
std::string WorkspaceOptionsXml(const OptionsSpec& options);

}  // namespace svregistration::testing
