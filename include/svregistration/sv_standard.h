// SVStandard: the source registration service. It copies legacy sources into a workspace,
// normalising them, records them as repository objects, and unregisters, invalidates and
// refreshes them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/host/repository.h"
#include "svregistration/results.h"

namespace svregistration {

namespace host {
class Workspace;
}

class SVStandard;

namespace registration {
struct State;
/// The library's own way to the fields behind an SVStandard.
struct StateAccess;
}  // namespace registration

class UserInterface;

class SVREG_API SVStandard {
 public:
  SVStandard();
  ~SVStandard();
  SVStandard(const SVStandard&) = delete;
  SVStandard& operator=(const SVStandard&) = delete;

  /// Where this object asks the user (the folder chooser), reports progress and processes
  /// pending events; nullptr restores the terminal.
  void SetUserInterface(std::shared_ptr<UserInterface> ui);

  /// The id of the object the last successful Register registered; "" at first.
  const std::string& RegisteredObjectId() const;
  void SetRegisteredObjectId(std::string id);

  /// Registers SrcFile as an object of ObjType named ObjName; the copy is normalised when
  /// WithEncoding is true. Never raises: an unexpected error gives rUnexpectedRegistrationError.
  SVRegistrationResults RegisterEx(std::shared_ptr<host::Workspace> SVWS_Object,
                                   const std::string& ObjType, std::string& ObjName,
                                   const std::string& SrcFile, bool WithEncoding = false);
  /// As RegisterEx with a byte-for-byte copy; errors outside the guarded steps are raised.
  SVRegistrationResults Register(std::shared_ptr<host::Workspace> SVWS_Object,
                                 const std::string& ObjType, std::string& ObjName,
                                 const std::string& SrcFile);

  bool Unregister(std::shared_ptr<host::Workspace> SVWS_Object, const std::string& ObjId);
  /// Removes from ObjIDs the folder ids that stay registered.
  bool GroupUnregister(std::shared_ptr<host::Workspace> SVWS_Object, host::IdCollection& ObjIDs);
  /// SVWS_Object may be nullptr: the binding of the running operation is used.
  bool Invalidate(std::shared_ptr<host::Workspace> SVWS_Object, const std::string& ObjId);
  bool StrongInvalidate(std::shared_ptr<host::Workspace> SVWS_Object, const std::string& ObjId);
  bool GroupStrongInvalidate(std::shared_ptr<host::Workspace> SVWS_Object,
                             host::IdCollection& ObjIDs);

  /// rOK combined with the results of the refreshed objects.
  int RefreshSource(std::shared_ptr<host::Workspace> SVWS_Object, const std::string& ObjId,
                    long& nNumCopiedFiles, const std::string& SourceFileName = "");
  /// Works on the workspace the instance is bound to.
  SVRegistrationResults RefreshObjectSource(std::shared_ptr<host::RepositoryObject>& o,
                                            std::optional<std::string> OriginalSourceDir = {},
                                            const std::string& OriginalSource = "");

  /// Writes the workspace form of FromPath to ToPath.
  void CopySource(std::shared_ptr<host::Workspace> SVWS, const std::string& EntityType,
                  const std::string& FromPath, const std::string& ToPath);
  /// The workspace form of FromPath.
  std::vector<std::uint8_t> ReadSource(std::shared_ptr<host::Workspace> SVWS,
                                       const std::string& EntityType, const std::string& FromPath);

  /// The same bytes as ReadSource, handed to `sink` in blocks as they are produced, so that a
  /// large source is never held whole in memory.
  void ReadSourceTo(std::shared_ptr<host::Workspace> SVWS, const std::string& EntityType,
                    const std::string& FromPath,
                    const std::function<void(const std::uint8_t*, std::size_t)>& sink);

 private:
  friend struct registration::StateAccess;
  std::unique_ptr<registration::State> state_;
};

}  // namespace svregistration
