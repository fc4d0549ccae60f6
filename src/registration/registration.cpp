// Register and RegisterEx: copy a source into its type's Sources directory, find or create its
// repository object, record where the copy lies and where it came from, and let the type's
// registration handler accept it.
#include <optional>

#include "nls/text.h"
#include "os/file_system.h"
#include "registration/file_removal.h"
#include "registration/register_copy.h"
#include "registration/registration_settings.h"
#include "registration/sources_directory.h"
#include "registration/sv_standard_state.h"
#include "registration/workspace_files.h"
#include "runtime/host_utilities.h"
#include "svregistration/class_registry.h"
#include "svregistration/error.h"
#include "svregistration/host/registration_handler.h"

namespace svregistration {

namespace {

constexpr std::size_t kMaxPathCharacters = 254;

// UTF-16 code units, not bytes: a character beyond U+FFFF counts two, as in the host's strings.
std::size_t CharacterCount(const std::string& text) { return nls::Utf16Length(text); }

std::shared_ptr<host::RepositoryObject> FindQuietly(host::Repository& repository,
                                                    const std::string& type, std::string& name) {
  try {
    return repository.FindObject(type, name, "");
  } catch (const Error&) {
    return nullptr;  // a failing look-up leaves the object not found
  }
}

// Finds the object by its name, or by the name without its extension when that object has no
// registered source yet (it then takes the full name).
std::shared_ptr<host::RepositoryObject> FindObjectToRegister(host::Repository& repository,
                                                             const std::string& type,
                                                             std::string& name,
                                                             const std::string& source_attribute) {
  try {
    if (auto found = FindQuietly(repository, type, name)) return found;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return nullptr;
    std::string short_name = name.substr(0, dot);
    auto found = FindQuietly(repository, type, short_name);
    if (!found || !found->GetAttribute(source_attribute).empty()) return nullptr;
    found->BeginUpdate();
    found->SetAttribute("Name", name);
    found->EndUpdate();
    return found;
  } catch (const Error&) {
    return nullptr;
  }
}

// Creates the handler afresh and asks it; a missing handler or a failing call refuses.
bool HandlerAccepts(registration::State& state, std::shared_ptr<host::RepositoryObject>& object) {
  try {
    auto handler = ClassRegistry::Instance().Create<host::RegistrationHandler>(
        object->ObjectType()->RegistrationHandler());
    return handler->OnObjectRegister(state.Workspace, object);
  } catch (const std::exception&) {
    return false;
  }
}

// Runs a step whose errors registration turns into its result.
template <class Step>
std::optional<Error> Guarded(Step&& step) {
  try {
    step();
  } catch (const Error& e) {
    return e;
  }
  return std::nullopt;
}

// The object steps after it was found or created: refuse one that already has a source, record
// the sources, discard what was generated for an existing object, and ask the handler. Errors
// here are not guarded.
SVRegistrationResults RegisterObject(registration::State& s,
                                     std::shared_ptr<host::RepositoryObject>& object, bool is_new,
                                     const std::string& source_attribute,
                                     const std::string& relative_path,
                                     const std::string& source_file) {
  if (!object->GetAttribute(source_attribute).empty()) return rObjectAllreadyExists;
  object->BeginUpdate();
  object->SetAttribute(source_attribute, relative_path);
  object->SetAttribute("OriginalSource", source_file);
  object->EndUpdate();
  if (!is_new) registration::RemoveInvalidatedObjectFiles(s, *object);
  if (HandlerAccepts(s, object)) {
    s.RegisteredObjectId = object->Id();
    return rOK;
  }
  if (is_new) {
    // A refused new object is unregistered again, with the files the host names for it; the
    // registered copy stays in the Sources directory whatever the host lists.
    try {
      registration::RemoveUnregisteredObjectFiles(s, *object, relative_path);
    } catch (const Error&) {
    }
  }
  return rNoRefreshNeeded;
}

}  // namespace

SVRegistrationResults SVStandard::Register(std::shared_ptr<host::Workspace> SVWS_Object,
                                           const std::string& ObjType, std::string& ObjName,
                                           const std::string& SrcFile) {
  registration::State& s = *state_;
  registration::LibraryCallScope call(s.call);
  s.AttachWorkspace(std::move(SVWS_Object));
  s.RegisteredObjectId.clear();
  SVRegistrationResults result = rNoRefreshNeeded;

  const std::shared_ptr<host::ObjectType> schema_type = s.Repository->SchemaObjectType(ObjType);
  const std::string source_attribute = schema_type->SourceAttribute();
  // The Sources folder is spelled as the schema spells the type: "cobol" and "COBOL" are one
  // type but would be two folders on a case-sensitive file system.
  const std::string schema_code = schema_type->TypeCode();
  const std::string sources_directory = registration::SourcesDirectory(
      s, nls::EqualsIgnoreCase(schema_code, ObjType) ? schema_code : ObjType);
  host::SplitPathResult parts = runtime::ThreadFileUtility().SplitPath(SrcFile);
  const std::string file_name = parts.base_name + parts.extension;  // may hold a "\"
  const std::string relative_path = sources_directory + "/" + file_name;
  const std::string target =
      os::JoinHostPath(s.WorkspaceDirectory, sources_directory) + "/" + file_name;
  // The Sources folder and the copy come from the options and the file's name: both must stay
  // inside the workspace, clear of its own files, and never lead through a link out of it.
  registration::WorkspaceFiles files(s);
  std::string refused;
  if (!files.SourcesFolder(sources_directory, refused)) {
    s.Workspace->Log()->Add("Register", host::kSeverityWarning, std::nullopt,
                            "Not registered: '" + SrcFile + "': the Sources folder '" +
                                sources_directory + "' of the type " + ObjType +
                                " is not used: " + refused);
    s.ReleaseBinding();
    return rErrorOnCreateSourceDirectory;
  }
  const bool target_allowed = files.CopyInFolder(file_name, refused);
  registration::RegisterCopy copy(SrcFile, target,
                                  os::JoinHostPath(s.WorkspaceDirectory, sources_directory));
  copy.MakeIn(files.FolderDescriptor(), file_name);
  // "Already in its place" means the very same file, not a path that differs in letter case.
  const SVRegistrationResults refusal =
      copy.Check(CharacterCount(SrcFile) <= kMaxPathCharacters,
                 CharacterCount(relative_path) <= kMaxPathCharacters, target_allowed);
  const bool copy_needed = copy.needed();
  if (!target_allowed && refusal == rFileAllreadyExists) {
    s.Workspace->Log()->Add("Register", host::kSeverityWarning, std::nullopt,
                            "Not registered: '" + SrcFile + "': its copy '" + relative_path +
                                "' is not written: " + refused);
  }

  std::optional<Error> caught;
  if (refusal != rOK) {
    result = refusal;
  } else {
    caught = Guarded([&] { copy.Run(s, *s.Workspace, ObjType, s.WithEncoding); });
    std::shared_ptr<host::RepositoryObject> object;
    bool is_new = false;
    if (!caught) {
      object = FindObjectToRegister(*s.Repository, ObjType, ObjName, source_attribute);
      if (!object) {
        caught = Guarded([&] { object = s.Repository->NewObject(ObjType, ObjName); });
        is_new = true;
      }
    }
    if (!caught) {
      result = RegisterObject(s, object, is_new, source_attribute, relative_path, SrcFile);
    }
  }

  if (caught) {
    if (copy_needed) {
      try {
        os::DeleteFile(target, false);
      } catch (const Error&) {
      }
    }
    s.Workspace->Log()->Add("Register", host::kSeverityError, std::nullopt, caught->description());
    result = rUnexpectedRegistrationError;
  }
  s.ReleaseBinding();
  return result;
}

SVRegistrationResults SVStandard::RegisterEx(std::shared_ptr<host::Workspace> SVWS_Object,
                                             const std::string& ObjType, std::string& ObjName,
                                             const std::string& SrcFile, bool WithEncoding) {
  state_->WithEncoding = WithEncoding;
  SVRegistrationResults result;
  try {
    result = Register(std::move(SVWS_Object), ObjType, ObjName, SrcFile);
  } catch (const std::exception&) {
    result = rUnexpectedRegistrationError;  // RegisterEx never raises; nothing is logged
  }
  state_->WithEncoding = false;
  return result;
}

}  // namespace svregistration
