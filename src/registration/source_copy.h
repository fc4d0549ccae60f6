// The source copy steps shared by CopySource, ReadSource, registration and refresh.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_reader.h"
#include "platform/file_system.h"
#include "registration/normaliser.h"
#include "svregistration/sv_standard.h"

namespace svregistration::host {
class Workspace;
}

namespace svregistration::registration {

struct RegistrationSettings;

/// Loads the thread's settings for the type from the workspace's two options documents, or
/// from the instance's cache while the documents say what they said when it was filled.
RegistrationSettings& LoadSettingsOf(State& state, host::Workspace& workspace,
                                     const std::string& entity_type);

/// True when any option asks for the copy to be converted or normalised.
bool NeedsConversion(const RegistrationSettings& settings);

/// The code page table file of the settings: the host's table folder and EncodingTable.
std::string TableFileOf(host::Workspace& workspace, const RegistrationSettings& settings);

/// The normalised bytes of a non-EBCDIC source; ConvertSosi becomes ConvertSosi and SosiAllowed.
std::vector<std::uint8_t> ReadNormalisedSource(const std::string& entity_type,
                                               const std::string& from_path);

/// The EBCDIC source converted through the instance's cached table and normalised.
/// The workspace form of an EBCDIC source handed to `sink` a block at a time, the file never held
/// whole (the same bytes as ConvertEbcdicSource).
void ConvertEbcdicSourceTo(registration::State& state, const std::string& from_path,
                           const std::string& table_file, const ByteSink& sink);
std::vector<std::uint8_t> ConvertEbcdicSource(registration::State& state,
                                              const std::string& entity_type,
                                              const std::string& from_path,
                                              const std::string& table_file);

/// The workspace form of the file under the loaded settings: EBCDIC or normalised.
std::vector<std::uint8_t> ConvertedSource(registration::State& state, host::Workspace& workspace,
                                          const std::string& entity_type,
                                          const std::string& from_path);

/// The error of a failed copy: 200 with message 509 naming both paths.
[[noreturn]] void RaiseCopyFailed(const std::string& from_path, const std::string& to_path);

/// The two ends of a source copy: the paths, and what the caller already holds of them (the
/// source open, the target made where nothing was), nullptr for what it does not.
struct CopyEnds {
  std::string from;
  std::string to;
  std::unique_ptr<platform::FileReader> source;
  std::unique_ptr<platform::FileReplacement> target;
};

/// True when the workspace form of `original` (settings loaded) is byte for byte what `copy`
/// holds: the original is normalised or converted a block at a time and each block compared with
/// the copy's next bytes, neither file held whole.
bool SameWorkspaceForm(State& state, host::Workspace& workspace, platform::FileReader& original,
                       const std::string& original_path, platform::FileReader& copy);

/// Replaces `copy` with the workspace form of the original (settings loaded); false when the
/// replacement cannot be written, the copy then unchanged.
bool RewriteWorkspaceForm(State& state, host::Workspace& workspace,
                          const std::string& original_path, const std::string& copy);

/// The file as it is: through the host's FileUtility, or, when the utility is the built-in one,
/// from the source already open into the target already made. Raises the copy's error.
void CopyPlainTo(CopyEnds& ends);

/// CopySource: the workspace form of the source (plain, normalised or converted as the settings
/// of the type say) written to the target, which changes only when the copy is whole.
void CopySourceTo(State& state, host::Workspace& workspace, const std::string& entity_type,
                  CopyEnds& ends);

}  // namespace svregistration::registration
