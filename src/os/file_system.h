// The file system object: the file and folder operations registration relies on, with the
// semantics it relies on (forced deletes of read-only files, deletion by a wildcard pattern that
// fails when nothing matches, the count of files directly in a folder). Failures raise Error with
// the platform's number (53 file not found, 58 file already exists, 70 permission denied, 75
// path/file access error, 76 path not found) and a description naming the path and the reason.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "os/unique_fd.h"

struct stat;

namespace svregistration {
class Error;
}

namespace svregistration::os {

/// How a failed system call is told: "cannot <what> '<path>': <the reason for err>".
std::string ErrnoText(int err, std::string_view what, std::string_view path);
/// The error for a failed system call: the platform's number for `err` and its ErrnoText.
Error ErrnoError(int err, const std::string& what, const std::string& path);

bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

/// True when both paths lead to one existing file (device and inode).
bool SameFile(const std::string& a, const std::string& b);

/// What a path leads to (links followed), looked at once.
struct PathStatus {
  bool exists = false;
  bool folder = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};
PathStatus StatusOf(const std::string& path);
/// True when `path` leads to the existing file `known` describes.
bool SameFile(const PathStatus& known, const std::string& path);

/// Creates one folder; its parent must exist.
void CreateFolder(const std::string& path);
/// Deletes one file, its name taken literally (`*` and `?` are part of it on this system), or a
/// link as a link. A read-only file (no write permission bit) is deleted only when forced.
void DeleteFile(const std::string& path, bool force);
/// Deletes a folder with everything in it. Read-only contents are deleted only when forced. A
/// link in the folder's place is deleted as a link; links inside are never followed.
void DeleteFolder(const std::string& path, bool force);
/// The number of files directly in a folder (files in subfolders are not counted).
long CountFilesIn(const std::string& folder);
/// The paths of the folders directly in a folder, in name order.
std::vector<std::string> SubFolders(const std::string& folder);
std::uint64_t FileSize(const std::string& path);

/// The path without its last component and the separator before it ("" when there is none).
std::string ParentFolderName(std::string_view path);
/// The last component of a path.
std::string GetFileName(std::string_view path);
/// Joins a folder and a name with one separator.
std::string BuildPath(std::string_view folder, std::string_view name);
std::string AbsolutePathName(const std::string& path);

/// A relative path read from host data: a backslash is a separator.
std::string HostRelativePath(std::string_view relative);
/// root, the separator, and the relative path read from host data.
std::string JoinHostPath(std::string_view root, std::string_view relative);
/// The path of an existing file recorded in host data: as JoinHostPath, except that a "\" in the
/// last component stays when a file of that literal name exists there (a real file's name may hold
/// one: a source registered as "back\slash.cbl" is recorded as ".../back\slash.cbl").
std::string JoinRecordedPath(std::string_view root, std::string_view relative);

/// A file written piece by piece beside its target and put in place only by Commit, whole: the
/// target is either the old file or the new one, and a replacement dropped before Commit leaves
/// nothing. Where no file was, the new one is made exclusively under its own name (a kill can
/// leave it partial, never anything of the user's); otherwise the data goes into an unnamed file
/// (a kill leaves nothing) that takes the old one's place when whole. A replaced file keeps its
/// mode and owner; a link at the path stays a link and its target is replaced; a folder that
/// takes no new files while the file itself is writable gets the file written in place. A
/// read-only target is not replaced.
class FileReplacement {
 public:
  explicit FileReplacement(const std::string& path);
  /// The replacement of nothing: a new file made exclusively where nothing (no file, no link)
  /// is; nullptr, with errno set, when something is there or the file cannot be made.
  static std::unique_ptr<FileReplacement> MakeNew(const std::string& path);
  /// The same, made as `name` in the open folder `folder` (never through a link, whatever the
  /// path to the folder has become), which must stay open while the replacement lives; `path` is
  /// what messages name. The file is made with the permissions `mode` allows (the umask applies).
  static std::unique_ptr<FileReplacement> MakeNewIn(int folder, const std::string& name,
                                                    const std::string& path, unsigned mode = 0666);
  /// The replacement of the file `name` in the open folder `folder`, every step taken there
  /// (never through a link, whatever the path to the folder has become): a link at the name is
  /// refused (ELOOP), not followed; where nothing is, as MakeNewIn. Raises what the constructor
  /// raises.
  static std::unique_ptr<FileReplacement> ReplaceIn(int folder, const std::string& name,
                                                    const std::string& path);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  void Write(const std::uint8_t* data, std::size_t size);
  /// The descriptor being written (for copies made by the kernel).
  int descriptor() const;
  /// Withholds from the new file every permission `original_mode` withholds, but its owner's
  /// right to write it: a copy is never more readable than what it was made from.
  void LimitModeTo(unsigned original_mode);
  void Commit();

 private:
  FileReplacement() = default;
  // Makes the file where nothing is; false, with errno set, when it cannot.
  bool MakeDirect(const std::string& path);
  // Opens the new file in folder_ beside target_in_folder_, which `info` describes.
  void OpenInFolder(const struct stat& info);
  [[noreturn]] void Fail(int err);
  // Removes the file made under its own name that never became whole.
  void Drop();

  std::string path_;
  bool exists_ = false;
  bool unnamed_ = false;
  bool in_place_ = false;
  bool direct_ = false;  // made under its own name: removed when dropped
  std::string temp_;
  // A file made in an open folder (the caller's, or owned when it is a replacement's): removed
  // there when dropped.
  int folder_ = -1;
  UniqueFd owned_folder_;
  std::string name_in_folder_;
  // The most the file's permissions can be (known when it was made here): LimitModeTo need not
  // look at a file that allows nothing the original withholds.
  unsigned made_with_ = 07777;
  // The file a replacement made in an open folder takes the place of.
  std::string target_in_folder_;
  UniqueFd fd_;
};

/// Writes the bytes through a FileReplacement.
void WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace svregistration::os
