// The first two steps of registration: the plan of a file's copy, made on the calling thread
// from the options and the workspace, and the copy itself, made from the plan alone.
#include "svregistration/registration_steps.h"

#include <map>

#include "nls/text.h"
#include "os/file_system.h"
#include "registration/copy_plan.h"
#include "registration/planned_copy.h"
#include "registration/sources_directory.h"
#include "registration/sv_standard_state.h"
#include "registration/workspace_files.h"
#include "runtime/host_utilities.h"
#include "svregistration/sv_standard.h"

namespace svregistration {

namespace {

constexpr std::size_t kMaxPathCharacters = 254;

// UTF-16 code units, not bytes: a character beyond U+FFFF counts two, as in the host's strings.
bool Fits(const std::string& path) { return nls::Utf16Length(path) <= kMaxPathCharacters; }

}  // namespace

RegistrationCopy::RegistrationCopy(std::unique_ptr<registration::PlannedCopy> planned)
    : planned_(std::move(planned)) {}

RegistrationCopy::RegistrationCopy(RegistrationCopy&& other) noexcept = default;
RegistrationCopy& RegistrationCopy::operator=(RegistrationCopy&& other) noexcept {
  if (this != &other) {
    RegistrationCopy replaced(std::move(*this));  // goes as a copy dropped does
    planned_ = std::move(other.planned_);
  }
  return *this;
}

// A copy nobody recorded is this program's leftover: it goes.
RegistrationCopy::~RegistrationCopy() {
  if (planned_ && !planned_->recorded && planned_->Written()) planned_->copy->Remove();
}

const std::string& RegistrationCopy::relative_path() const { return planned_->relative_path; }

bool RegistrationCopy::fresh() const { return planned_->fresh; }

bool RegistrationCopy::makes_anywhere() const {
  return !planned_->copy || planned_->copy->SelfContained();
}

void RegistrationCopy::Make() noexcept {
  registration::PlannedCopy& p = *planned_;
  p.made = true;
  if (!p.copy) return;  // the Sources folder is refused: Record says so
  try {
    p.refusal = p.copy->Check(p.source_fits, p.target_fits, p.target_allowed);
  } catch (...) {
    p.check_failure = std::current_exception();
    return;
  }
  if (p.refusal != rOK) return;
  if (p.plan_error) {
    p.copy->DropTarget();
    p.copy_error = p.plan_error;
    return;
  }
  try {
    p.copy->Run();
  } catch (const Error& e) {
    p.copy_error = e;
  } catch (...) {
    p.copy_failure = std::current_exception();
  }
}

struct RegistrationSteps::Open {
  explicit Open(registration::State& state) : files(state) {}

  // The Sources folder `relative`, open beneath the workspace; nullptr, with `why`, when it may
  // not be written. A folder that exists is resolved once; one that does not is looked at again.
  std::shared_ptr<const os::ConfinedTarget> Folder(const std::string& relative, std::string& why) {
    auto found = folders.find(relative);
    if (found != folders.end()) return found->second;
    if (!files.SourcesFolder(relative, why)) return nullptr;
    std::shared_ptr<const os::ConfinedTarget> folder = files.Folder();
    if (folder->self) folders.emplace(relative, folder);
    return folder;
  }

  registration::WorkspaceFiles files;
  std::map<std::string, std::shared_ptr<const os::ConfinedTarget>> folders;
};

RegistrationSteps::RegistrationSteps(SVStandard& service,
                                     std::shared_ptr<host::Workspace> workspace, bool with_encoding)
    : service_(service), workspace_(std::move(workspace)), with_encoding_(with_encoding) {}

RegistrationSteps::~RegistrationSteps() = default;

RegistrationCopy RegistrationSteps::Plan(const std::string& type, const std::string& source) {
  registration::State& s = registration::StateOf(service_);
  registration::LibraryCallScope call(s.call);
  s.AttachWorkspace(workspace_);
  auto p = std::make_unique<registration::PlannedCopy>();
  p->type = type;
  p->source = source;
  const std::shared_ptr<host::ObjectType> schema_type = s.Repository->SchemaObjectType(type);
  p->source_attribute = schema_type->SourceAttribute();
  // The Sources folder is spelled as the schema spells the type: "cobol" and "COBOL" are one
  // type but would be two folders on a case-sensitive file system.
  const std::string schema_code = schema_type->TypeCode();
  p->sources_directory = registration::SourcesDirectory(
      s, nls::EqualsIgnoreCase(schema_code, type) ? schema_code : type);
  host::SplitPathResult parts = runtime::ThreadFileUtility().SplitPath(source);
  const std::string file_name = parts.base_name + parts.extension;  // may hold a "\"
  p->relative_path = p->sources_directory + "/" + file_name;
  const std::string folder_path = os::JoinHostPath(s.WorkspaceDirectory, p->sources_directory);
  p->target = folder_path + "/" + file_name;
  // The Sources folder and the copy come from the options and the file's name: both must stay
  // inside the workspace, clear of its own files, and never lead through a link out of it.
  if (!open_) open_ = std::make_unique<Open>(s);
  std::shared_ptr<const os::ConfinedTarget> folder =
      open_->Folder(p->sources_directory, p->refused);
  if (!folder) {
    p->folder_usable = false;
    s.ReleaseBinding();
    return RegistrationCopy(std::move(p));
  }
  p->target_allowed = open_->files.CopyIn(*folder, file_name, p->refused, p->fresh);
  p->source_fits = Fits(source);
  p->target_fits = Fits(p->relative_path);
  p->copy.emplace(source, p->target, folder_path, folder, file_name);
  if (with_encoding_) {
    try {
      p->copy->ConvertBy(registration::PlanCopy(s, *s.Workspace, type), s);
    } catch (const Error& e) {
      p->plan_error = e;  // the copy fails with it, as a copy that cannot be made does
    }
  }
  s.ReleaseBinding();
  return RegistrationCopy(std::move(p));
}

}  // namespace svregistration
