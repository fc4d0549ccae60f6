// The writer both archive classes extract through: members go under one output folder and nowhere
// else, whatever names, links and folders an archive holds, and their data streams from the
// archive reader to disk a block at a time.
#pragma once

#include <archive.h>
#include <archive_entry.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "archive/report_builder.h"
#include "os/unique_fd.h"

namespace svregistration::archive {

/// Where the data of the member being written comes from: libarchive's reader, or another
/// decoder behind the same calls.
class MemberData {
 public:
  virtual ~MemberData() = default;
  /// The next block of data and where it goes: ARCHIVE_OK with a block (possibly empty),
  /// ARCHIVE_EOF at the end, anything else an error that ErrorText describes.
  virtual int Next(const void*& data, std::size_t& size, la_int64_t& offset) = 0;
  virtual std::string ErrorText() = 0;
};

/// The data of the member a libarchive reader has just read the header of.
class LibarchiveData final : public MemberData {
 public:
  explicit LibarchiveData(::archive* reader) : reader_(reader) {}
  int Next(const void*& data, std::size_t& size, la_int64_t& offset) override;
  std::string ErrorText() override;

 private:
  ::archive* reader_;
};

enum class MemberOutcome {
  kExtracted,
  /// Not written because it would land outside the output folder or is of a kind never written
  /// (devices, pipes, sockets, links that leave the folder).
  kRefused,
  /// Written in part or not at all because reading or writing failed; what was written is gone.
  kFailed,
};

/// Extracts members into one folder. A member is refused when its name is absolute, has a ".."
/// component or names the folder itself; when it is a symbolic link whose target is absolute or
/// leads to the folder or above it, resolved from where the link lies through the links already
/// there (chains included; parts that do not exist yet count as folders); when it is a hard link
/// to anything but a file inside the folder; and when it is not a file, folder or link. Since a
/// later member can change what an earlier link passes through, the links made are checked again
/// when the extractor goes, and those that lead out by then are removed.
///
/// A file is written under a name no one else uses (an unnamed file of the folder, or
/// ".svreg-extract-" and a random part where the file system has no unnamed files) and put in
/// place only when its data is whole and the reader found it sound (checksum, password); until
/// then a file at the member's name stays as it was, whatever fails, and a killed run leaves at
/// most a file of that recognisable name.
///
/// Nothing is written through a symbolic link: below the output folder every folder is opened
/// from its parent's descriptor without following links, so a link (or a file) in the way of a
/// member's folder is never followed: when this extraction made it, it is replaced by a real
/// folder; when it was there before, it stays and the member is not extracted. A link where a
/// member file goes is replaced, never written through. Existing files are replaced (a hard link
/// to a file elsewhere is not written through either); existing folders are kept with their
/// own mode and time, and a folder the extraction did not make never gives way to a file. Files,
/// folders and links get their stored modification times and their permissions less the umask (a
/// member that stores no permissions keeps those of the file it replaces); folders get theirs when
/// the extractor goes, so that a read-only folder still takes its members.
///
/// Descending by descriptors is also what keeps extraction fast: the folder of the last member
/// stays open, and a file costs an open, its writes, a time stamp and a close.
class SafeExtractor {
 public:
  /// Extraction under `output_path` (the current folder when it is empty), outcomes reported to
  /// `report`. The folder is created, with its parents, when the first member is written; the
  /// path to it is the caller's and is followed as it is.
  SafeExtractor(std::string output_path, ReportBuilder& report);
  ~SafeExtractor();
  SafeExtractor(const SafeExtractor&) = delete;
  SafeExtractor& operator=(const SafeExtractor&) = delete;

  /// Writes the member whose header `reader` has just read into `entry`, and reports the outcome
  /// to the extraction's report. Regular files stream their data from `reader`; the first
  /// block is read before anything is made, so a member whose data cannot be read at all (a
  /// refused password, an unknown method) does not even create its folder.
  /// A regular file is put in place only when `verify` (given the descriptor of the whole
  /// written data) accepts it, so a member failing a check of its own leaves the old file.
  MemberOutcome Extract(::archive* reader, archive_entry* entry,
                        const std::function<bool(int fd)>& verify = {});
  /// The same for a member whose data comes from `data`.
  MemberOutcome Extract(MemberData& data, archive_entry* entry,
                        const std::function<bool(int fd)>& verify = {});

  /// Why the last member was refused or failed.
  const std::string& last_error() const { return error_; }

 private:
  struct DataBlock {
    const void* data = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
  };
  struct FolderFixup {
    std::string relative;
    mode_t mode = 0;
    bool has_time = false;
    timespec mtime{};
  };

  /// A file being written: its descriptor and, when it has a name, its temporary name.
  struct Temporary {
    os::UniqueFd fd;
    std::string name;
  };

  MemberOutcome ExtractMember(MemberData& data, archive_entry* entry);
  /// The check of the member being extracted, if it has one.
  const std::function<bool(int fd)>* verify_ = nullptr;
  MemberOutcome Refuse(std::string reason);
  MemberOutcome Fail(std::string reason);
  /// The descriptor of the folder at `relative` (the output folder when empty), or -1 with
  /// errno set. With `create`, missing folders are made and anything else in the way replaced.
  int OpenFolder(std::string_view relative, bool create);
  /// Removes what lies at `name` in `parent` (`relative` from the output folder) so a member can
  /// take its place: a file, link or empty folder that this extraction wrote. Anything else is
  /// the user's and stays (false, errno EEXIST); false with errno set when it cannot be removed.
  bool RemoveInTheWay(int parent, const char* name, std::string_view relative);
  static int NextBlock(MemberData& data, DataBlock& block);
  MemberOutcome WriteFile(MemberData& data, archive_entry* entry, const std::string& relative,
                          int parent, const char* name, DataBlock& block, int status);
  /// A new file in `parent` that no one else can see or open by name, or -1 with errno set.
  Temporary CreateTemporary(int parent, mode_t mode);
  /// Whether unnamed files can be made in `parent` and linked in through their /proc names.
  bool CanLinkUnnamed(int parent);
  /// Puts the whole file at `name` in `parent`, replacing what is there. False with errno set.
  bool PutInPlace(int parent, Temporary& file, const char* name, std::string_view relative);
  /// True when a link at `relative` to `target` resolves strictly below the output folder.
  bool LinkResolvesInside(std::string_view relative, std::string_view target);
  /// Removes the links made by this extractor that now lead out of the output folder.
  void RemoveLinksLeadingOut();
  void ApplyFolderFixups();

  std::string root_;
  ReportBuilder& report_;
  os::UniqueFd root_fd_;
  os::UniqueFd cached_fd_;  // the folder last opened below the output folder
  std::string cached_relative_;
  std::vector<FolderFixup> fixups_;
  std::vector<std::string> links_made_;      // relative paths of the symbolic links written
  std::unordered_set<std::string> written_;  // relative paths of everything this extraction made
  bool unnamed_files_ = true;  // whether files are written unnamed (O_TMPFILE) and linked in place
  bool unnamed_files_checked_ = false;
  std::string error_;
};

}  // namespace svregistration::archive
