// The reference workspace host: a workspace is a folder with options/workspace.xml,
// options/global.xml, codepages/ (the EBCDIC code page tables), Sources/ and its repository
// with the log: workspace.db, or the PostgreSQL database that options/repository names.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/host/workspace.h"
#include "svregistration/workspace/options_document.h"
#include "svregistration/workspace/repository.h"
#include "svregistration/workspace/repository_log.h"

namespace svregistration::workspace {

class SVREG_API WorkspaceHost final : public host::Workspace {
 public:
  /// Creates a workspace in `directory` (created when missing; it must not hold a workspace).
  /// With a `repository` connection string (see CheckConnectionString) the repository is made in
  /// that PostgreSQL database and the folder records where it is; without, in workspace.db.
  static std::shared_ptr<WorkspaceHost> Create(const std::string& directory,
                                               const std::string& repository = "");
  /// Opens the workspace in `directory`; raises Error naming the folder when it is none.
  static std::shared_ptr<WorkspaceHost> Open(const std::string& directory);

  std::shared_ptr<host::Repository> Repository() override;
  std::string GetSolvaneName(int code) override;
  std::shared_ptr<host::OptionsHolder> WorkspaceOptions() override { return workspace_options_; }
  std::shared_ptr<host::OptionsHolder> GlobalOptions() override { return global_options_; }
  std::shared_ptr<host::WorkspaceLog> Log() override;
  std::intptr_t SolvanewareWindowHandle() override { return 0; }
  void SetCancelPressed(bool cancelled) override { cancel_pressed_ = cancelled; }
  /// The database, the options, the code page tables, the journals, Sources and each type's
  /// Sources folder.
  std::vector<std::string> ProtectedPaths() override;
  /// Moves when another document is loaded, or one handed over to be changed (see
  /// OptionsDocument::revision); never 0.
  std::uint64_t OptionsRevision() override;

  const std::string& root() const { return root_; }
  /// The repository and the log with the members the host offers beyond the library's
  /// interfaces (listings, folders, generated entries, the records this process wrote).
  std::shared_ptr<WorkspaceRepository> workspace_repository() { return repository_; }
  std::shared_ptr<RepositoryLog> repository_log() { return log_; }
  std::string CodePageDirectory() const;
  /// The Sources directory of an object type relative to the root, as registration places copies
  /// there: the type's Directory on the Inventory page of the global options, or Sources/<type>.
  std::string SourcesDirectoryOf(const std::string& type) const;
  /// The type as the schema spells it ("cobol" is COBOL); the text itself when no type matches.
  std::string SchemaTypeName(const std::string& type);
  /// The type as the schema spells it; Error 9 naming the type, the workspace and the types it
  /// has when there is no such type. Every caller that takes a type from a user checks it here,
  /// so that the same mistake gets the same answer.
  std::string KnownType(const std::string& type);
  /// The object with the id; Error 9 naming the id and the workspace when no object has it.
  std::shared_ptr<host::RepositoryObject> KnownObject(const std::string& id);
  std::shared_ptr<OptionsDocument> workspace_options() { return workspace_options_; }
  std::shared_ptr<OptionsDocument> global_options() { return global_options_; }
  bool cancel_pressed() const { return cancel_pressed_; }

 private:
  explicit WorkspaceHost(std::string root);
  void LoadOptions();
  void Connect(std::shared_ptr<Database> database);
  void SaveDefaultCodePageTables();

  std::string root_;
  std::shared_ptr<OptionsDocument> workspace_options_;
  std::shared_ptr<OptionsDocument> global_options_;
  std::shared_ptr<WorkspaceRepository> repository_;
  std::shared_ptr<RepositoryLog> log_;
  bool cancel_pressed_ = false;
  /// Added to the documents' own revisions; raised past them when others are loaded.
  std::uint64_t loaded_ = 1;
};

/// Finishes or undoes what runs that were killed left pending (see PendingWork): copies that no
/// object records are deleted, and the objects whose refresh was cut short have the generated
/// files of their changed copies discarded.
SVREG_API void RecoverInterruptedWork(const std::shared_ptr<WorkspaceHost>& workspace);

}  // namespace svregistration::workspace
