// CopySource and ReadSource: the workspace form of a source file, plain or normalised.
#include "registration/source_copy.h"

#include <sys/stat.h>

#include <cstring>
#include <optional>

#include "normaliser/normaliser.h"
#include "os/file_reader.h"
#include "os/file_system.h"
#include "registration/registration_settings.h"
#include "registration/source_files.h"
#include "registration/sv_standard_state.h"
#include "resources/message_catalogue.h"
#include "runtime/host_utilities.h"
#include "svregistration/error.h"

namespace svregistration {

namespace registration {

std::vector<std::uint8_t> ConvertedSource(State& state, const CopyPlan& plan,
                                          const std::string& from_path) {
  std::vector<std::uint8_t> bytes;
  WorkspaceFormTo(state, plan, nullptr, from_path, [&](const std::uint8_t* data, std::size_t size) {
    bytes.insert(bytes.end(), data, data + size);
  });
  return bytes;
}

void WorkspaceFormTo(State& state, const CopyPlan& plan, os::FileReader* reader,
                     const std::string& path, const ByteSink& sink) {
  if (plan.settings.IsEbcdic) {
    ConvertEbcdicSourceTo(state, plan, path, sink);
  } else if (reader == nullptr) {
    NormaliseFileTo(path, plan.normaliser, sink);
  } else {
    NormaliseStreamTo(
        [&](std::uint8_t* buffer, std::size_t capacity) { return reader->Read(buffer, capacity); },
        plan.normaliser, sink);
  }
}

void RequireWorkspace(const std::shared_ptr<host::Workspace>& workspace) {
  if (!workspace) {
    throw Error(error_number::kObjectNotSet, "SVRegistration",
                "Object variable not set: no workspace was given");
  }
}

void RaiseCopyFailed(const std::string& from_path, const std::string& to_path) {
  std::string text = runtime::ThreadMessageFormatter().FormatMessage(
      resources::LoadMessage(resources::kMsgUnableToCopyFile), {from_path, to_path});
  throw Error(error_number::kFileCopyFailed, "SVRegistration", text);
}

namespace {

// A copy is never more readable than its original: what the original withholds from its group
// and others, the copy withholds too (a row naming somebody's private file as an original does
// not publish it in a shared workspace).
void LimitToOriginalMode(os::FileReplacement& target, const os::FileReader* reader,
                         const std::string& path) {
  if (reader != nullptr && reader->mode() != 0) {
    target.LimitModeTo(reader->mode());  // as the file was when it was opened
    return;
  }
  struct stat info {};
  const int looked =
      reader != nullptr ? ::fstat(reader->descriptor(), &info) : ::stat(path.c_str(), &info);
  if (looked == 0) target.LimitModeTo(info.st_mode);
}

// Writes the workspace form into the replacement and puts it in place; false when it cannot be
// written, the target then unchanged.
bool WriteWorkspaceForm(State& state, const CopyPlan& plan, os::FileReader* reader,
                        const std::string& path, os::FileReplacement& target) {
  bool written = true;
  try {
    LimitToOriginalMode(target, reader, path);
  } catch (const Error&) {
    return false;
  }
  WorkspaceFormTo(state, plan, reader, path, [&](const std::uint8_t* bytes, std::size_t size) {
    if (!written) return;
    try {
      target.Write(bytes, size);
    } catch (const Error&) {
      written = false;
    }
  });
  try {
    if (written) target.Commit();
  } catch (const Error&) {
    written = false;
  }
  return written;
}

}  // namespace

bool SameWorkspaceForm(State& state, const CopyPlan& plan, os::FileReader& original,
                       const std::string& original_path, os::FileReader& copy) {
  thread_local std::vector<std::uint8_t> held;  // the copy's bytes beside each block
  bool same = true;
  WorkspaceFormTo(
      state, plan, &original, original_path, [&](const std::uint8_t* bytes, std::size_t size) {
        if (!same) return;
        if (held.size() < size) held.resize(size);
        same = copy.Read(held.data(), size) == size && std::memcmp(held.data(), bytes, size) == 0;
      });
  std::uint8_t past_end = 0;
  return same && copy.Read(&past_end, 1) == 0;
}

bool RewriteWorkspaceFormIn(State& state, const CopyPlan& plan, const std::string& original_path,
                            int folder, const std::string& name, const std::string& copy) {
  std::unique_ptr<os::FileReplacement> replacement;
  try {
    replacement = os::FileReplacement::ReplaceIn(folder, name, copy);
  } catch (const Error&) {
    return false;
  }
  return WriteWorkspaceForm(state, plan, nullptr, original_path, *replacement);
}

void CopyPlainTo(CopyEnds& ends) {
  if (!ends.source || !runtime::BuiltInFileUtility()) {
    if (!runtime::ThreadFileUtility().CopyFileTo(ends.from, ends.to)) {
      RaiseCopyFailed(ends.from, ends.to);
    }
    return;
  }
  try {
    if (!ends.target) ends.target = std::make_unique<os::FileReplacement>(ends.to);
    LimitToOriginalMode(*ends.target, ends.source.get(), ends.from);
    if (runtime::CopyBytes(*ends.source, *ends.target)) {
      ends.target->Commit();
      return;
    }
  } catch (const Error&) {
  }
  ends.target.reset();  // what was written goes before the error is reported
  RaiseCopyFailed(ends.from, ends.to);
}

void CopySourceTo(State& state, const CopyPlan& plan, CopyEnds& ends) {
  if (!plan.convert) {
    CopyPlainTo(ends);
    return;
  }
  // Streamed into the replacement, so that a source of any size (a single long line included)
  // is never held whole; the target changes only when the copy is whole.
  try {
    if (!ends.target) ends.target = std::make_unique<os::FileReplacement>(ends.to);
  } catch (const Error&) {
    RaiseCopyFailed(ends.from, ends.to);
  }
  if (!WriteWorkspaceForm(state, plan, ends.source.get(), ends.from, *ends.target)) {
    ends.target.reset();  // what was written goes before the error is reported
    RaiseCopyFailed(ends.from, ends.to);
  }
}

}  // namespace registration

void SVStandard::CopySource(std::shared_ptr<host::Workspace> SVWS, const std::string& EntityType,
                            const std::string& FromPath, const std::string& ToPath) {
  registration::RequireWorkspace(SVWS);
  registration::LibraryCallScope call(state_->call);
  registration::CopyEnds ends{FromPath, ToPath, nullptr, nullptr};
  registration::CopySourceTo(*state_, registration::PlanCopy(*state_, SVWS, EntityType), ends);
}

std::vector<std::uint8_t> SVStandard::ReadSource(std::shared_ptr<host::Workspace> SVWS,
                                                 const std::string& EntityType,
                                                 const std::string& FromPath) {
  registration::RequireWorkspace(SVWS);
  return registration::ConvertedSource(*state_, registration::PlanCopy(*state_, SVWS, EntityType),
                                       FromPath);
}

void SVStandard::ReadSourceTo(std::shared_ptr<host::Workspace> SVWS, const std::string& EntityType,
                              const std::string& FromPath,
                              const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
  registration::RequireWorkspace(SVWS);
  registration::WorkspaceFormTo(*state_, registration::PlanCopy(*state_, SVWS, EntityType), nullptr,
                                FromPath, sink);
}

}  // namespace svregistration
