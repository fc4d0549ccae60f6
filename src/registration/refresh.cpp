// RefreshSource and RefreshObjectSource: bring registered copies up to date with their originals,
// re-create missing copies, and register objects whose original is found in the default source
// directory.
#include <cerrno>

#include "nls/text.h"
#include "os/file_reader.h"
#include "os/file_system.h"
#include "registration/original_search.h"
#include "registration/registration_settings.h"
#include "registration/source_copy.h"
#include "registration/sources_directory.h"
#include "registration/sv_standard_state.h"
#include "registration/workspace_files.h"
#include "resources/message_catalogue.h"
#include "runtime/host_utilities.h"
#include "svregistration/error.h"
#include "svregistration/user_interface.h"

namespace svregistration {

namespace {

using resources::LoadMessage;

std::string FormatMessage(int id, const std::vector<std::string>& args) {
  return runtime::ThreadMessageFormatter().FormatMessage(LoadMessage(id), args);
}

// The log text of a reported code.
std::string ReportText(registration::State& s, host::RepositoryObject& object, int code) {
  switch (code) {
    case rSourceFileIsMissed:
      return LoadMessage(resources::kMsgOriginalSourceNotFound);
    case rErrorOnCreateSourceDirectory:
      return FormatMessage(
          resources::kMsgCannotCreateDirectory,
          {os::JoinHostPath(s.WorkspaceDirectory,
                            registration::SourcesDirectory(s, object.ObjectType()->TypeCode()))});
    case rOriginalSourceUnknown:
      return LoadMessage(resources::kMsgOriginalSourceNotKnown);
    default:
      return FormatMessage(resources::kMsgUnexpectedError, {std::to_string(code)});
  }
}

void WriteRefreshLog(registration::State& s, const std::string& object_id,
                     const std::string& text) {
  s.Workspace->Log()->Add(LoadMessage(resources::kMsgRefreshSources), host::kSeverityError,
                          object_id, text);
}

void RecordOriginal(host::RepositoryObject& object, const std::string& original_source) {
  object.BeginUpdate();
  object.SetAttribute("OriginalSource", original_source);
  object.EndUpdate();
}

[[noreturn]] void RefuseLinkAt(const std::string& relative) {
  throw Error(error_number::kPathFileAccessError, "SVRegistration",
              "the registered copy '" + relative + "' is not written: a link stands at its name");
}

// The whole copy opened in its folder; what keeps it from being read (a copy that cannot be
// opened, or no plain file) is raised.
std::vector<std::uint8_t> BytesOf(const std::string& copy, os::OpenedFile&& file) {
  if (!file.fd) throw os::ErrnoError(file.error, "read", copy);
  if (!file.regular) {
    throw Error(error_number::kPathFileAccessError, "FileSystem",
                "cannot read '" + copy + "': it is not a regular file");
  }
  std::vector<std::uint8_t> bytes(file.size + 1);
  os::FileReader reader(copy, std::move(file));
  std::size_t done = 0;
  for (std::size_t got; (got = reader.Read(bytes.data() + done, bytes.size() - done)) != 0;) {
    done += got;
    if (done == bytes.size()) bytes.resize(2 * bytes.size());
  }
  bytes.resize(done);
  return bytes;
}

// RefreshObjectSource of a bound instance, its Sources folder to be made before any change.
SVRegistrationResults RefreshMember(SVStandard& service, registration::State& s,
                                    host::RepositoryObject& o, const std::string& type,
                                    registration::SourcesFolder& sources,
                                    const registration::WorkspaceFiles* files,
                                    const std::optional<std::string>& source_dir,
                                    const std::string& original_source) {
  std::string original = original_source;
  std::string relative = o.GetAttribute(o.ObjectType()->SourceAttribute());
  if (relative.empty()) {
    if (!sources.Ready()) return rErrorOnCreateSourceDirectory;
    // An absent directory counts as empty: the default source directory is used.
    std::string directory = source_dir.value_or("");
    if (directory.empty()) directory = registration::ChooseDefaultSourceDir(s);
    if (directory.empty()) return rOriginalSourceUnknown;
    registration::FindOriginalSource(s, o, original, directory);
    if (original.empty()) return rSourceFileIsMissed;
    std::string name = os::GetFileName(original);
    return service.RegisterEx(s.Workspace, type, name, original, true);
  }

  // An unchanged copy has its original recorded all the same (the host need not write a value
  // it already holds).
  if (original.empty()) original = o.GetAttribute("OriginalSource");
  if (original.empty()) return rOriginalSourceUnknown;
  // The recorded path is data: the copy is read and rewritten only in its folder opened beneath
  // the workspace, never through a link at its name.
  const os::ConfinedTarget target =
      files != nullptr ? files->RecordedCopyTarget(relative)
                       : registration::WorkspaceFiles(s).RecordedCopyTarget(relative);
  const std::string& copy = target.path;
  const int folder = files != nullptr ? files->FolderOf(target) : target.parent.get();
  if (nls::EqualsIgnoreCase(original, copy)) return rNoRefreshNeeded;
  os::OpenedFile original_file = os::OpenForReading(original);
  if (original_file.missing() || (!original_file.fd && !os::FileExists(original)) ||
      original_file.folder) {
    return rSourceFileIsMissed;
  }
  os::OpenedFile copy_file = os::OpenForReadingIn(folder, target.name);
  if (copy_file.error == ELOOP) RefuseLinkAt(relative);  // swapped in since it was looked at
  if (copy_file.fd && !copy_file.folder) sources.ShownBy(copy);
  if (!sources.Ready()) return rErrorOnCreateSourceDirectory;

  if (!copy_file.missing() && !copy_file.folder) {
    // The workspace form is made under the options as they are now; the plan reads them once.
    if (original_file.regular && copy_file.regular) {
      const registration::CopyPlan plan = registration::PlanCopy(s, s.Workspace, type);
      os::FileReader original_reader(original, std::move(original_file));
      os::FileReader copy_reader(copy, std::move(copy_file));
      if (registration::SameWorkspaceForm(s, plan, original_reader, original, copy_reader)) {
        RecordOriginal(o, original);
        return rNoRefreshNeeded;
      }
    } else {
      std::vector<std::uint8_t> current = BytesOf(copy, std::move(copy_file));
      const registration::CopyPlan plan = registration::PlanCopy(s, s.Workspace, type);
      if (registration::ConvertedSource(s, plan, original) == current) {
        RecordOriginal(o, original);
        return rNoRefreshNeeded;
      }
    }
    if (!registration::RewriteWorkspaceFormIn(s, registration::PlanCopy(s, s.Workspace, type),
                                              original, folder, target.name, copy)) {
      return rUnexpectedRegistrationError;
    }
    RecordOriginal(o, original);
  } else {
    service.CopySource(s.Workspace, type, original, copy);
  }
  return service.Invalidate(nullptr, o.Id()) ? rOK : rUnexpectedRegistrationError;
}

}  // namespace

int SVStandard::RefreshSource(std::shared_ptr<host::Workspace> SVWS_Object,
                              const std::string& ObjId, long& nNumCopiedFiles,
                              const std::string& SourceFileName) {
  registration::State& s = *state_;
  registration::LibraryCallScope call(s.call);
  std::shared_ptr<host::Workspace> workspace = SVWS_Object;
  s.AttachWorkspace(std::move(SVWS_Object));
  auto object = s.Repository->ObjectById(ObjId);
  s.RegisteredObjectId = ObjId;
  nNumCopiedFiles = 0;
  int result = rOK;

  // An error while an object is refreshed is logged with its description; only the
  // unsupported-locale error stops the run.
  auto on_error = [&](const Error& e, const std::string& id) {
    if (!s.Workspace) s.AttachWorkspace(workspace);
    std::string text = e.description().empty()
                           ? FormatMessage(resources::kMsgUnexpectedError, {"0"})
                           : e.description();
    WriteRefreshLog(s, id, text);
    if (e.number() == error_number::kUnsupportedLocale) {
      result |= rUnexpectedRegistrationError;
      return false;
    }
    return true;
  };

  // Refreshes one object; false when the run must stop.
  auto refresh_one = [&](std::shared_ptr<host::RepositoryObject> member) {
    std::string member_id;
    try {
      // A member registered through RegisterEx releases the binding: every member starts bound.
      if (!s.Workspace) s.AttachWorkspace(workspace);
      member_id = member->Id();
      int code = RefreshObjectSource(member, std::string(), SourceFileName);
      if (code == rNoRefreshNeeded) return true;
      if (code == rOK) {
        ++nNumCopiedFiles;
        return true;
      }
      if (!s.Workspace) s.AttachWorkspace(workspace);
      WriteRefreshLog(s, member_id, ReportText(s, *member, code));
      result |= code;
      return code != rUnexpectedRegistrationError;
    } catch (const Error& e) {
      return on_error(e, member_id);
    }
  };

  try {
    if (!nls::EqualsIgnoreCase(object->ObjectType()->TypeCode(), "FOLDER")) {
      refresh_one(object);
    } else if (auto members = object->Members()) {
      long total = members->Count();
      long done = 0;
      while (!members->Eof()) {
        if (!refresh_one(members->Item())) break;
        s.interface->ReportProgress("refresh", ++done, total);
        members->MoveNext();
      }
    }
  } catch (const Error& e) {
    on_error(e, ObjId);  // the object or its members cursor failed: the run cannot go on
  }
  s.ReleaseBinding();
  return result;
}

SVRegistrationResults SVStandard::RefreshObjectSource(std::shared_ptr<host::RepositoryObject>& o,
                                                      std::optional<std::string> OriginalSourceDir,
                                                      const std::string& OriginalSource) {
  registration::State& s = *state_;
  registration::LibraryCallScope call(s.call);
  if (!s.Workspace || !o) {  // a host may call this on an instance no operation has bound
    throw Error(
        error_number::kObjectNotSet, "SVRegistration",
        "Object variable not set: RefreshObjectSource needs a bound workspace and an object");
  }
  std::string type;
  std::string folder;
  bool usable = true;
  std::shared_ptr<const registration::WorkspaceFiles> kept;
  const registration::WorkspaceFiles* files = nullptr;
  try {
    type = o->ObjectType()->TypeCode();
    std::string why;
    std::optional<std::string> confined;
    registration::WorkspaceFiles::Kept(s, registration::SourcesDirectory(s, type), confined, why);
    kept = s.kept_files;  // held for this call whatever the calls below keep
    files = kept.get();
    usable = confined.has_value();
    folder = confined.value_or("");
  } catch (const Error&) {
    // Ignored like the rest of this step: the reads below raise it again.
  }
  // The folder is made (or found missing) before anything is changed, as if first; it is looked
  // at only when the copy, opened inside it, does not show it there.
  registration::SourcesFolder sources(folder, usable);
  try {
    const SVRegistrationResults result =
        RefreshMember(*this, s, *o, type, sources, files, OriginalSourceDir, OriginalSource);
    return sources.Ready() ? result : rErrorOnCreateSourceDirectory;
  } catch (const Error&) {
    if (!sources.Ready()) return rErrorOnCreateSourceDirectory;
    throw;
  }
}

}  // namespace svregistration
