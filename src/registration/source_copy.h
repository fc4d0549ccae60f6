// The source copy steps shared by CopySource, ReadSource, registration and refresh.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "normaliser/normaliser.h"
#include "os/file_reader.h"
#include "os/file_system.h"
#include "registration/copy_plan.h"
#include "svregistration/sv_standard.h"

namespace svregistration::host {
class Workspace;
}

namespace svregistration::registration {

/// Raises the error of a public call given no workspace (91).
void RequireWorkspace(const std::shared_ptr<host::Workspace>& workspace);

/// The workspace form of the file under the plan (EBCDIC converted, or normalised), handed to
/// `sink` a block at a time; read from `reader` when the caller holds the file open, else from
/// the path. The file is never held whole.
void WorkspaceFormTo(State& state, const CopyPlan& plan, os::FileReader* reader,
                     const std::string& path, const ByteSink& sink);
/// The same bytes, whole.
std::vector<std::uint8_t> ConvertedSource(State& state, const CopyPlan& plan,
                                          const std::string& from_path);

/// The workspace form of an EBCDIC source: its records through the instance's cached code page
/// table, in the registered locale's code page, then through the line normaliser.
void ConvertEbcdicSourceTo(State& state, const CopyPlan& plan, const std::string& from_path,
                           const ByteSink& sink);

/// The error of a failed copy: 200 with message 509 naming both paths.
[[noreturn]] void RaiseCopyFailed(const std::string& from_path, const std::string& to_path);

/// The two ends of a source copy: the paths, and what the caller already holds of them (the
/// source open, the target made where nothing was), nullptr for what it does not.
struct CopyEnds {
  std::string from;
  std::string to;
  std::unique_ptr<os::FileReader> source;
  std::unique_ptr<os::FileReplacement> target;
};

/// True when the workspace form of `original` under the plan is byte for byte what `copy` holds:
/// the original is normalised or converted a block at a time and each block compared with the
/// copy's next bytes, neither file held whole.
bool SameWorkspaceForm(State& state, const CopyPlan& plan, os::FileReader& original,
                       const std::string& original_path, os::FileReader& copy);

/// Replaces the copy `name` in the open folder `folder` (`copy` its path, for messages) with the
/// workspace form of the original under the plan, written and put in place in that folder, never
/// through a link at its name; false when the replacement cannot be written, the copy then
/// unchanged.
bool RewriteWorkspaceFormIn(State& state, const CopyPlan& plan, const std::string& original_path,
                            int folder, const std::string& name, const std::string& copy);

/// The file as it is: through the host's FileUtility, or, when the utility is the built-in one,
/// from the source already open into the target already made. Raises the copy's error.
void CopyPlainTo(CopyEnds& ends);

/// CopySource: the workspace form of the source (plain, normalised or converted as the plan
/// says) written to the target, which changes only when the copy is whole.
void CopySourceTo(State& state, const CopyPlan& plan, CopyEnds& ends);

}  // namespace svregistration::registration
