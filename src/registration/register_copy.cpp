// The copy step of Register.
#include "registration/register_copy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/host_utilities.h"

namespace svregistration::registration {

RegisterCopy::RegisterCopy(const std::string& source, const std::string& target, std::string folder,
                           std::shared_ptr<const os::ConfinedTarget> open_folder, std::string name)
    : ends_{source, target, nullptr, nullptr},
      folder_(std::move(folder)),
      fast_(runtime::BuiltInFileUtility()),
      open_folder_(std::move(open_folder)),
      name_(std::move(name)) {
  if (open_folder_ && !open_folder_->self) open_folder_.reset();
}

void RegisterCopy::ConvertBy(CopyPlan plan, State& state) {
  plan_.emplace(std::move(plan));
  state_ = &state;
}

bool RegisterCopy::SelfContained() const {
  return fast_ && open_folder_ && !(plan_ && plan_->convert && plan_->settings.IsEbcdic);
}

// A file, not a folder, at the source path (links followed).
bool RegisterCopy::SourceExists() {
  if (!fast_) {
    source_ = os::StatusOf(ends_.from);
    return source_.exists && !source_.folder;
  }
  os::OpenedFile opened = os::OpenForReading(ends_.from);
  if (!opened.fd) {
    // Any failure but a path that leads nowhere (an unreadable file) is looked at by path.
    if (opened.missing()) return false;
    source_ = os::StatusOf(ends_.from);
    return source_.exists && !source_.folder;
  }
  source_ = os::PathStatus{true, opened.folder, opened.device, opened.inode};
  source_mode_ = opened.mode;
  // Only a regular file is copied from its descriptor; anything else fails in the copy itself.
  if (opened.regular) {
    ends_.source = std::make_unique<os::FileReader>(ends_.from, std::move(opened));
  }
  return !source_.folder;
}

// The folder, or a file where it belongs replaced by it.
bool RegisterCopy::EnsureFolder() {
  if (os::FolderExists(folder_)) return true;
  if (os::FileExists(folder_)) runtime::ThreadFileUtility().RemoveFile(folder_);
  return runtime::ThreadFileUtility().MakeFolder(folder_);
}

unsigned RegisterCopy::CreationMode() const {
  return source_mode_ == 0 ? 0666u : 0666u & (source_mode_ | S_IWUSR);
}

SVRegistrationResults RegisterCopy::Check(bool source_path_fits, bool target_path_fits,
                                          bool target_allowed) {
  const bool source_exists = SourceExists();
  if (!source_exists || !source_path_fits || !target_path_fits || !target_allowed) {
    if (!EnsureFolder()) return rErrorOnCreateSourceDirectory;
    if (!source_exists) return rSourceFileIsMissed;
    if (!source_path_fits) return rErrorOnSetOriginalSourceAttr;
    if (!target_path_fits) return rErrorOnSetSourceAttr;
    needed_ = false;  // nothing was made: nothing to take back
    return rFileAllreadyExists;
  }
  // Made where nothing is: then nothing was there, and the folder was.
  if (fast_ && ends_.source) {
    ends_.target = open_folder_ ? os::FileReplacement::MakeNewIn(open_folder_->self.get(), name_,
                                                                 ends_.to, CreationMode())
                                : os::FileReplacement::MakeNew(ends_.to);
    if (ends_.target) return rOK;
  }
  target_ = os::StatusOf(ends_.to);
  needed_ = !(target_.exists && source_.exists && target_.device == source_.device &&
              target_.inode == source_.inode);
  if (!target_.exists && !EnsureFolder()) return rErrorOnCreateSourceDirectory;
  if (needed_ && target_.exists && !target_.folder) return rFileAllreadyExists;
  return rOK;
}

void RegisterCopy::Run() {
  if (!needed_) return;
  try {
    if (plan_) {
      CopySourceTo(*state_, *plan_, ends_);
      return;
    }
    if (!fast_) ends_.source.reset();  // the host's utility copies from the paths
    CopyPlainTo(ends_);
  } catch (...) {
    ends_.target.reset();  // a target made here and not finished goes before the error is told
    throw;
  }
}

void RegisterCopy::Remove() const {
  struct stat info {};
  if (open_folder_) {
    const int folder = open_folder_->self.get();
    if (::fstatat(folder, name_.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
      ::unlinkat(folder, name_.c_str(), 0);
    return;
  }
  if (::lstat(ends_.to.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(ends_.to.c_str());
}

}  // namespace svregistration::registration
