// The unzip library: the interface ZipGlobals drives (name lists, options, callbacks, return
// codes) and its stand-in over libarchive.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace svregistration::archive {

inline constexpr int kNameListSize = 100;

/// A list of member names as the unzip library takes it: 100 entries, `count` of them in use;
/// an entry never set is empty (a null pointer to the library).
struct NameList {
  std::array<std::optional<std::string>, kNameListSize> entries;
  int count = 0;
};

/// What the library is asked to do. Folders stored in the archive are always kept under
/// `extract_dir` and existing files always overwritten; the other switches of the original option
/// record (newer only, freshen, CR LF conversion, listing, testing, comments) are all off and have
/// no counterpart here.
struct UnzipOptions {
  std::string zip_file;
  std::string extract_dir;
};

/// The callbacks the library calls on the calling thread while it works. There is no replace
/// callback (existing files are always overwritten, so the library never asks) and no listing
/// callback (it extracts, it never lists).
struct UnzipCallbacks {
  /// Diagnostic text; the result is ignored.
  int (*print)(std::string_view text) = nullptr;
  /// Asks for the password of `member` with `prompt`. Writes it NUL-terminated into `buffer` of
  /// `size` bytes and returns 0, or returns 1 when there is none.
  int (*password)(char* buffer, int size, const char* prompt, const char* member) = nullptr;
  /// Told of each selected member before it is extracted; a non-zero answer stops the run.
  int (*service)(const char* member, std::uint64_t size) = nullptr;
};

/// Size of the buffer the library hands to the password callback: answers are cut to 255 bytes.
inline constexpr int kPasswordBufferSize = 256;

/// Return codes of the library.
inline constexpr int kUnzipOk = 0;
inline constexpr int kUnzipWarning = 1;          ///< some members were refused or failed
inline constexpr int kUnzipCannotOpen = 9;       ///< the archive is missing or not a zip archive
inline constexpr int kUnzipNothingMatched = 11;  ///< no member matched the include list

/// The library's entry point: extracts the members that the include list selects (all when it
/// is empty) and the exclude list does not, names matched with WildcardMatch.
using UnzipEntryPoint = int (*)(const NameList& include, const NameList& exclude,
                                const UnzipOptions& options, const UnzipCallbacks& callbacks);

/// The stand-in for the unzip library, over libarchive. Members are written through
/// SafeExtractor, their data streamed; a member that is refused or fails is reported through
/// `print` and the rest go on. The password callback is asked whenever an encrypted member needs
/// a password that none of its earlier answers gives (traditional and AES encryption). Raises
/// Error only when libarchive cannot be set up to read zip archives.
int SingleEntryUnzip(const NameList& include, const NameList& exclude, const UnzipOptions& options,
                     const UnzipCallbacks& callbacks);

}  // namespace svregistration::archive
