// CopySource and ReadSource: the workspace form of a source file, plain or normalised.
#include "registration/source_copy.h"

#include <sys/stat.h>

#include <cstring>
#include <optional>

#include "platform/file_reader.h"
#include "platform/file_system.h"
#include "platform/host_utilities.h"
#include "registration/normaliser.h"
#include "registration/registration_settings.h"
#include "registration/source_files.h"
#include "registration/sv_standard_state.h"
#include "resources/message_catalogue.h"
#include "svregistration/error.h"

namespace svregistration {

namespace registration {

namespace {

const pugi::xml_document* DocumentOf(const std::shared_ptr<host::OptionsHolder>& holder) {
  return holder ? holder->Document() : nullptr;
}

}  // namespace

RegistrationSettings& LoadSettingsOf(State& state, host::Workspace& workspace,
                                     const std::string& entity_type) {
  auto workspace_options = workspace.WorkspaceOptions();
  auto global_options = workspace.GlobalOptions();
  const pugi::xml_document* workspace_document = DocumentOf(workspace_options);
  const pugi::xml_document* global_document = DocumentOf(global_options);
  state.Settings.Validate(state.Call, {workspace_document, global_document}, true);
  if (const RegistrationSettings* kept = state.Settings.Find(entity_type)) {
    return ThreadRegistrationSettings() = *kept;
  }
  RegistrationSettings& settings =
      LoadRegistrationSettings(workspace_document, global_document, entity_type);
  state.Settings.Keep(entity_type, settings);
  return settings;
}

bool NeedsConversion(const RegistrationSettings& s) {
  return (s.SourceLocale != 0 && s.SourceLocale != s.RegisteredLocale) || s.RemoveLeadNumeration ||
         (s.Numeration && s.RemoveNumeration) || (s.SosiAllowed && s.ConvertSosi) || s.ExpandTabs ||
         s.IsEbcdic;
}

std::string TableFileOf(host::Workspace& workspace, const RegistrationSettings& settings) {
  return platform::JoinHostPath(workspace.GetSolvaneName(host::kCodePageTableDirectory),
                                settings.EncodingTable);
}

std::vector<std::uint8_t> ReadNormalisedSource(const std::string& /*entity_type*/,
                                               const std::string& from_path) {
  std::vector<std::uint8_t> bytes = ReadExistingFileBytes(from_path);
  RegistrationSettings& settings = ThreadRegistrationSettings();
  settings.ConvertSosi = settings.ConvertSosi && settings.SosiAllowed;
  return NormaliseSource(bytes, NormaliserOptions::From(settings));
}

std::vector<std::uint8_t> ConvertedSource(registration::State& state, host::Workspace& workspace,
                                          const std::string& entity_type,
                                          const std::string& from_path) {
  const RegistrationSettings& settings = ThreadRegistrationSettings();
  if (settings.IsEbcdic) {
    return ConvertEbcdicSource(state, entity_type, from_path, TableFileOf(workspace, settings));
  }
  return ReadNormalisedSource(entity_type, from_path);
}

void RaiseCopyFailed(const std::string& from_path, const std::string& to_path) {
  std::string text = platform::ThreadMessageFormatter().FormatMessage(
      resources::LoadMessage(resources::kMsgUnableToCopyFile), {from_path, to_path});
  throw Error(error_number::kFileCopyFailed, "SVRegistration", text);
}

namespace {

// The workspace form of the original under the loaded settings, handed to `sink` a block at a
// time; from `reader` when the caller holds the file open, else from the path.
void WorkspaceFormTo(State& state, host::Workspace& workspace, platform::FileReader* reader,
                     const std::string& path, const ByteSink& sink) {
  RegistrationSettings& settings = ThreadRegistrationSettings();
  if (settings.IsEbcdic) {
    ConvertEbcdicSourceTo(state, path, TableFileOf(workspace, settings), sink);
    return;
  }
  settings.ConvertSosi = settings.ConvertSosi && settings.SosiAllowed;
  if (reader == nullptr) {
    NormaliseFileTo(path, NormaliserOptions::From(settings), sink);
    return;
  }
  NormaliseStreamTo(
      [&](std::uint8_t* buffer, std::size_t capacity) { return reader->Read(buffer, capacity); },
      NormaliserOptions::From(settings), sink);
}

// A copy is never more readable than its original: what the original withholds from its group
// and others, the copy withholds too (a row naming somebody's private file as an original does
// not publish it in a shared workspace).
void LimitToOriginalMode(platform::FileReplacement& target, const platform::FileReader* reader,
                         const std::string& path) {
  struct stat info {};
  const int looked = reader != nullptr ? ::fstat(reader->descriptor(), &info)
                                       : ::stat(path.c_str(), &info);
  if (looked == 0) target.LimitModeTo(info.st_mode);
}

// Writes the workspace form into the replacement and puts it in place; false when it cannot be
// written, the target then unchanged.
bool WriteWorkspaceForm(State& state, host::Workspace& workspace, platform::FileReader* reader,
                        const std::string& path, platform::FileReplacement& target) {
  bool written = true;
  try {
    LimitToOriginalMode(target, reader, path);
  } catch (const Error&) {
    return false;
  }
  WorkspaceFormTo(state, workspace, reader, path, [&](const std::uint8_t* bytes, std::size_t size) {
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

bool SameWorkspaceForm(State& state, host::Workspace& workspace, platform::FileReader& original,
                       const std::string& original_path, platform::FileReader& copy) {
  thread_local std::vector<std::uint8_t> held;  // the copy's bytes beside each block
  bool same = true;
  WorkspaceFormTo(
      state, workspace, &original, original_path, [&](const std::uint8_t* bytes, std::size_t size) {
        if (!same) return;
        if (held.size() < size) held.resize(size);
        same = copy.Read(held.data(), size) == size && std::memcmp(held.data(), bytes, size) == 0;
      });
  std::uint8_t past_end = 0;
  return same && copy.Read(&past_end, 1) == 0;
}

bool RewriteWorkspaceForm(State& state, host::Workspace& workspace,
                          const std::string& original_path, const std::string& copy) {
  std::optional<platform::FileReplacement> replacement;
  try {
    replacement.emplace(copy);
  } catch (const Error&) {
    return false;
  }
  return WriteWorkspaceForm(state, workspace, nullptr, original_path, *replacement);
}

void CopyPlainTo(CopyEnds& ends) {
  if (!ends.source || !platform::BuiltInFileUtility()) {
    if (!platform::ThreadFileUtility().CopyFileTo(ends.from, ends.to)) {
      RaiseCopyFailed(ends.from, ends.to);
    }
    return;
  }
  try {
    if (!ends.target) ends.target = std::make_unique<platform::FileReplacement>(ends.to);
    LimitToOriginalMode(*ends.target, ends.source.get(), ends.from);
    if (platform::CopyBytes(*ends.source, *ends.target)) {
      ends.target->Commit();
      return;
    }
  } catch (const Error&) {
  }
  ends.target.reset();  // what was written goes before the error is reported
  RaiseCopyFailed(ends.from, ends.to);
}

void CopySourceTo(State& state, host::Workspace& workspace, const std::string& entity_type,
                  CopyEnds& ends) {
  RegistrationSettings& settings = LoadSettingsOf(state, workspace, entity_type);
  if (!NeedsConversion(settings)) {
    CopyPlainTo(ends);
    return;
  }
  // Streamed into the replacement, so that a source of any size (a single long line included)
  // is never held whole; the target changes only when the copy is whole.
  try {
    if (!ends.target) ends.target = std::make_unique<platform::FileReplacement>(ends.to);
  } catch (const Error&) {
    RaiseCopyFailed(ends.from, ends.to);
  }
  if (!WriteWorkspaceForm(state, workspace, ends.source.get(), ends.from, *ends.target)) {
    ends.target.reset();  // what was written goes before the error is reported
    RaiseCopyFailed(ends.from, ends.to);
  }
}

}  // namespace registration

void SVStandard::CopySource(std::shared_ptr<host::Workspace> SVWS, const std::string& EntityType,
                            const std::string& FromPath, const std::string& ToPath) {
  if (!SVWS) {
    throw Error(error_number::kObjectNotSet, "SVRegistration",
                "Object variable not set: no workspace was given");
  }
  registration::LibraryCallScope call(state_->Call);
  registration::CopyEnds ends{FromPath, ToPath, nullptr, nullptr};
  registration::CopySourceTo(*state_, *SVWS, EntityType, ends);
}

std::vector<std::uint8_t> SVStandard::ReadSource(std::shared_ptr<host::Workspace> SVWS,
                                                 const std::string& EntityType,
                                                 const std::string& FromPath) {
  using namespace registration;
  if (!SVWS) {
    throw Error(error_number::kObjectNotSet, "SVRegistration",
                "Object variable not set: no workspace was given");
  }
  LoadSettingsOf(*state_, *SVWS, EntityType);
  return ConvertedSource(*state_, *SVWS, EntityType, FromPath);
}

}  // namespace svregistration

namespace svregistration {

void SVStandard::ReadSourceTo(std::shared_ptr<host::Workspace> SVWS, const std::string& EntityType,
                              const std::string& FromPath,
                              const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
  using namespace registration;
  if (!SVWS) {
    throw Error(error_number::kObjectNotSet, "SVRegistration",
                "Object variable not set: no workspace was given");
  }
  RegistrationSettings& settings = LoadSettingsOf(*state_, *SVWS, EntityType);
  if (settings.IsEbcdic) {
    ConvertEbcdicSourceTo(*state_, FromPath, TableFileOf(*SVWS, settings), sink);
    return;
  }
  settings.ConvertSosi = settings.ConvertSosi && settings.SosiAllowed;
  NormaliseFileTo(FromPath, NormaliserOptions::From(settings), sink);
}

}  // namespace svregistration
