// The record step of registration, and Register and RegisterEx, which plan, make and record one
// copy: find or create the source's repository object, record where the copy lies and where it
// came from, and let the type's registration handler accept it.
#include <optional>

#include "os/file_system.h"
#include "registration/file_removal.h"
#include "registration/planned_copy.h"
#include "registration/sv_standard_state.h"
#include "svregistration/class_registry.h"
#include "svregistration/error.h"
#include "svregistration/host/registration_handler.h"
#include "svregistration/registration_steps.h"

namespace svregistration {

namespace {

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
                                     const std::string& source_file,
                                     const std::vector<std::pair<std::string, std::string>>& more) {
  if (!object->GetAttribute(source_attribute).empty()) return rObjectAllreadyExists;
  object->BeginUpdate();
  object->SetAttribute(source_attribute, relative_path);
  object->SetAttribute("OriginalSource", source_file);
  for (const auto& [attribute, value] : more) object->SetAttribute(attribute, value);
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

SVRegistrationResults RegistrationSteps::Record(
    RegistrationCopy& copy, std::string& ObjName,
    const std::vector<std::pair<std::string, std::string>>& attributes) {
  registration::State& s = registration::StateOf(service_);
  registration::LibraryCallScope call(s.call);
  registration::PlannedCopy& p = *copy.planned_;
  p.recorded = true;  // whatever comes of it is told here, and a copy to take back goes here
  s.AttachWorkspace(workspace_);
  s.RegisteredObjectId.clear();
  if (!p.made) copy.Make();
  if (!p.folder_usable) {
    s.Workspace->Log()->Add("Register", host::kSeverityWarning, std::nullopt,
                            "Not registered: '" + p.source + "': the Sources folder '" +
                                p.sources_directory + "' of the type " + p.type +
                                " is not used: " + p.refused);
    s.ReleaseBinding();
    return rErrorOnCreateSourceDirectory;
  }
  if (p.check_failure) std::rethrow_exception(p.check_failure);
  const bool copy_needed = p.copy->needed();
  if (!p.target_allowed && p.refusal == rFileAllreadyExists) {
    s.Workspace->Log()->Add("Register", host::kSeverityWarning, std::nullopt,
                            "Not registered: '" + p.source + "': its copy '" + p.relative_path +
                                "' is not written: " + p.refused);
  }

  SVRegistrationResults result = rNoRefreshNeeded;
  std::optional<Error> caught;
  if (p.refusal != rOK) {
    result = p.refusal;
  } else {
    if (p.copy_failure) std::rethrow_exception(p.copy_failure);
    caught = p.copy_error;
    std::shared_ptr<host::RepositoryObject> object;
    bool is_new = false;
    if (!caught) {
      object = FindObjectToRegister(*s.Repository, p.type, ObjName, p.source_attribute);
      if (!object) {
        caught = Guarded([&] { object = s.Repository->NewObject(p.type, ObjName); });
        is_new = true;
      }
    }
    if (!caught) {
      result = RegisterObject(s, object, is_new, p.source_attribute, p.relative_path, p.source,
                              attributes);
    }
  }

  if (caught) {
    if (copy_needed) {
      try {
        os::DeleteFile(p.target, false);
      } catch (const Error&) {
      }
    }
    s.Workspace->Log()->Add("Register", host::kSeverityError, std::nullopt, caught->description());
    result = rUnexpectedRegistrationError;
  }
  s.ReleaseBinding();
  return result;
}

SVRegistrationResults SVStandard::Register(std::shared_ptr<host::Workspace> SVWS_Object,
                                           const std::string& ObjType, std::string& ObjName,
                                           const std::string& SrcFile) {
  registration::State& s = *state_;
  registration::LibraryCallScope call(s.call);
  RegistrationSteps steps(*this, std::move(SVWS_Object), s.WithEncoding);
  RegistrationCopy copy = steps.Plan(ObjType, SrcFile);
  copy.Make();
  return steps.Record(copy, ObjName);
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
