// Unregister, GroupUnregister, Invalidate, StrongInvalidate and GroupStrongInvalidate: the host
// unregisters or invalidates objects and the files it names for them are deleted. The last
// folder object of a workspace is never unregistered, and objects leave their folders first.
#include "nls/text.h"
#include "registration/file_removal.h"
#include "registration/sv_standard_state.h"
#include "resources/message_catalogue.h"
#include "runtime/host_utilities.h"
#include "svregistration/error.h"

namespace svregistration {

namespace {

constexpr const char* kFolderType = "FOLDER";
constexpr const char* kBelongsTo = "BelongsTo";

bool IsFolderType(const std::string& type_code) {
  return nls::EqualsIgnoreCase(type_code, kFolderType);
}

// The ids of the folders the object belongs to, in the order its relations cursor lists them.
std::vector<std::string> FoldersOf(host::RepositoryObject& object) {
  std::vector<std::string> folders;
  auto relations = object.Relations();
  while (!relations->Eof()) {
    if (IsFolderType(relations->Relation()->TargetType()->TypeCode())) {
      folders.push_back(relations->Item()->Id());
    }
    relations->MoveNext();
  }
  return folders;
}

// Detaches every listed object from every folder of the workspace; a relation that does not
// exist is no failure.
void RemoveFolderMemberships(host::Repository& repository, const host::IdCollection& ids) {
  std::vector<std::string> folders;
  auto cursor = repository.SelectObjects("Folder", "", "");
  while (!cursor->Eof()) {
    folders.push_back(cursor->Item()->Id());
    cursor->MoveNext();
  }
  for (const std::string& id : ids) {
    auto object = repository.ObjectById(id);
    for (const std::string& folder : folders) {
      try {
        object->RemoveRelation(kBelongsTo, folder);
      } catch (const Error&) {
      }
    }
  }
}

}  // namespace

bool SVStandard::Unregister(std::shared_ptr<host::Workspace> SVWS_Object,
                            const std::string& ObjId) {
  registration::State& s = *state_;
  s.AttachWorkspace(std::move(SVWS_Object));
  bool result = false;
  std::shared_ptr<host::RepositoryObject> object;
  try {
    object = s.Repository->ObjectById(ObjId);
  } catch (const Error&) {
  }
  if (object) {
    std::string name = object->Name();
    std::string display_name = object->ObjectType()->DisplayName();
    std::string type_code = object->ObjectType()->TypeCode();
    bool allowed = true;
    if (IsFolderType(type_code)) {
      // The last folder of a workspace stays.
      auto folders = s.Workspace->Repository()->PrepareCollection(kFolderType, "");
      allowed = folders && folders->Count() >= 2;
    } else {
      for (const std::string& folder : FoldersOf(*object))
        object->RemoveRelation(kBelongsTo, folder);
    }
    bool removed = false;
    if (allowed) {
      try {
        registration::RemoveUnregisteredObjectFiles(s, *object);
        removed = true;
      } catch (const Error&) {
      }
    }
    if (removed) {
      std::string text = runtime::ThreadTextUtility().FormatMessage(
          resources::LoadMessage(resources::kMsgObjectUnregistered), {name, display_name});
      s.Workspace->Log()->Add(resources::LoadMessage(resources::kMsgUnregister),
                              host::kSeverityInformation, std::nullopt, text);
      result = true;
    }
  }
  s.ReleaseBinding();
  return result;
}

bool SVStandard::GroupUnregister(std::shared_ptr<host::Workspace> SVWS_Object,
                                 host::IdCollection& ObjIDs) {
  registration::State& s = *state_;
  s.AttachWorkspace(std::move(SVWS_Object));
  long folder_count = s.Repository->CountObjects(kFolderType, "");
  // Walking down keeps back the folders nearest the start of the collection.
  for (std::size_t i = ObjIDs.size(); i > 0; --i) {
    if (!IsFolderType(runtime::ThreadIdUtility().ObjectTypeOfId(ObjIDs[i - 1]))) continue;
    if (folder_count <= 1) {
      ObjIDs.erase(ObjIDs.begin() + static_cast<std::ptrdiff_t>(i - 1));
    } else {
      --folder_count;
    }
  }
  RemoveFolderMemberships(*s.Repository, ObjIDs);
  bool result = false;
  try {
    registration::RemoveUnregisteredGroupFiles(s, ObjIDs);
    result = true;
  } catch (const Error&) {
  }
  s.ReleaseBinding();
  return result;
}

bool SVStandard::Invalidate(std::shared_ptr<host::Workspace> SVWS_Object,
                            const std::string& ObjId) {
  registration::State& s = *state_;
  const bool binds = SVWS_Object != nullptr;
  if (binds) s.AttachWorkspace(std::move(SVWS_Object));
  bool result = false;
  try {
    if (!s.Repository) {
      throw Error(error_number::kObjectNotSet, "SVRegistration",
                  "Object variable not set: no workspace is bound");
    }
    auto object = s.Repository->ObjectById(ObjId);
    registration::RemoveInvalidatedObjectFiles(s, *object);
    result = true;
  } catch (const Error&) {
  }
  if (binds) s.ReleaseBinding();
  return result;
}

bool SVStandard::StrongInvalidate(std::shared_ptr<host::Workspace> SVWS_Object,
                                  const std::string& ObjId) {
  registration::State& s = *state_;
  s.AttachWorkspace(std::move(SVWS_Object));
  bool result = false;
  try {
    auto object = s.Repository->ObjectById(ObjId);
    registration::RemoveInvalidatedObjectFiles(s, *object);
    result = true;
  } catch (const Error&) {
  }
  s.ReleaseBinding();
  return result;
}

bool SVStandard::GroupStrongInvalidate(std::shared_ptr<host::Workspace> SVWS_Object,
                                       host::IdCollection& ObjIDs) {
  registration::State& s = *state_;
  s.AttachWorkspace(std::move(SVWS_Object));
  registration::RemoveInvalidatedGroupFiles(s, ObjIDs);
  s.ReleaseBinding();
  return true;
}

}  // namespace svregistration
