// The workspace object a host hands to every operation, with its options documents and its log.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "svregistration/export.h"

namespace pugi {
class xml_document;
}

namespace svregistration::host {

class Repository;

/// An options document together with the means to store it.
class SVREG_API OptionsHolder {
 public:
  virtual ~OptionsHolder() = default;
  /// The document itself, to read or change; nullptr when the host has none.
  virtual pugi::xml_document* Document() = 0;
  /// The document to read only (the library never changes what it reads here): a host that
  /// counts its revisions (Workspace::OptionsRevision) need not count this as a change.
  virtual const pugi::xml_document* View() { return Document(); }
  /// Stores the document as it now stands.
  virtual void Save() = 0;
};

/// The workspace's log: records with a title, a severity (0 information, 1 warning, 2 error), an
/// object id (or none) and a text.
class SVREG_API WorkspaceLog {
 public:
  virtual ~WorkspaceLog() = default;
  virtual void Add(const std::string& title, int severity,
                   const std::optional<std::string>& object_id, const std::string& text) = 0;
};

inline constexpr int kSeverityInformation = 0;
inline constexpr int kSeverityWarning = 1;
inline constexpr int kSeverityError = 2;

/// The codes GetSolvaneName answers.
inline constexpr int kCodePageTableDirectory = 3;
inline constexpr int kWorkspaceRootDirectory = 4;

/// The workspace host's object. Calls that fail raise svregistration::Error.
class SVREG_API Workspace {
 public:
  virtual ~Workspace() = default;
  virtual std::shared_ptr<host::Repository> Repository() = 0;
  /// 4: the workspace root directory; 3: the folder of the EBCDIC code page tables.
  virtual std::string GetSolvaneName(int code) = 0;
  virtual std::shared_ptr<OptionsHolder> WorkspaceOptions() = 0;
  virtual std::shared_ptr<OptionsHolder> GlobalOptions() = 0;
  virtual std::shared_ptr<WorkspaceLog> Log() = 0;
  /// The handle of the host's main window (owner of dialogs); 0 when there is none.
  virtual std::intptr_t SolvanewareWindowHandle() = 0;
  /// Tells the host that a dialog was cancelled.
  virtual void SetCancelPressed(bool cancelled) = 0;
  /// The host's own files and folders, relative to the root ("/" or "\" between components):
  /// deleting the files of objects never deletes one of them, nor a folder holding one, nor the
  /// root itself; a path that ends with a separator protects everything below it too.
  virtual std::vector<std::string> ProtectedPaths() { return {}; }
  /// A number that changes whenever the options documents may have changed: another document
  /// handed over, a document changed, or handed over (Document()) to whoever may change it. The
  /// protected paths and the code page folder are taken to change with it. The library reads the
  /// documents again only when it changes; 0, a host that keeps no count, has them compared
  /// node by node at every call.
  virtual std::uint64_t OptionsRevision() { return 0; }
};

}  // namespace svregistration::host
