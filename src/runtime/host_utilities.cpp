// The per-thread host utilities and the built-in FileUtility, MessageFormatter and TextUtility.
#include "runtime/host_utilities.h"

#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "nls/text.h"
#include "os/fault_injection.h"
#include "os/file_reader.h"
#include "os/file_system.h"
#include "svregistration/class_registry.h"
#include "svregistration/error.h"

namespace svregistration::runtime {

namespace {

class DefaultFileUtility final : public host::FileUtility {
 public:
  // The path of a real file: on Linux "\" is a character of its name, not a separator.
  host::SplitPathResult SplitPath(const std::string& path) override {
    host::SplitPathResult parts;
    std::size_t slash = path.find_last_of('/');
    std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    parts.folder = path.substr(0, name_start);
    std::string name = path.substr(name_start);
    std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) {
      parts.base_name = name;
    } else {
      parts.base_name = name.substr(0, dot);
      parts.extension = name.substr(dot);
    }
    return parts;
  }

  // Into a replacement that takes the target's place only when whole.
  bool CopyFileTo(const std::string& from, const std::string& to) override {
    try {
      os::FileReader source(from);  // a missing file or a folder raises: the copy fails
      os::FileReplacement copy(to);
      if (!CopyBytes(source, copy)) return false;
      copy.Commit();
      return true;
    } catch (const Error&) {
      return false;  // the host reports a failed copy as False, not as an error
    }
  }

  // Creates the missing folders above it too.
  bool MakeFolder(const std::string& path) override {
    if (os::NextFileSystemFault() != 0) return false;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return !ec && os::FolderExists(path);
  }

  bool RemoveFile(const std::string& path) override {
    try {
      os::DeleteFile(path, true);
      return true;
    } catch (const Error&) {
      return false;
    }
  }

  bool RemoveFolder(const std::string& path) override {
    try {
      os::DeleteFolder(path, true);
      return true;
    } catch (const Error&) {
      return false;
    }
  }

  // A manifest that is already gone lists nothing, so that a removal interrupted after deleting
  // it can be completed; a pipe or device in its place is refused, never waited on.
  std::vector<std::string> ReadListFile(const std::string& path) override {
    std::optional<std::vector<std::uint8_t>> bytes;
    try {
      bytes = os::ReadWholeFile(path);
    } catch (const Error& e) {
      throw Error(e.number(), "FileUtility", "cannot read the list file: " + e.description());
    }
    std::vector<std::string> lines;
    if (!bytes) return lines;
    std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    while (!text.empty()) {
      std::size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines.emplace_back(line);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
  }
};

class DefaultMessageFormatter final : public host::MessageFormatter {
 public:
  std::string FormatMessage(const std::string& message_template,
                            const std::vector<std::string>& args) override {
    return nls::FillPlaceholders(message_template, args);
  }
};

class DefaultTextUtility final : public host::TextUtility {
 public:
  std::string FormatMessage(const std::string& message_template,
                            const std::vector<std::string>& args) override {
    return nls::FillPlaceholders(message_template, args);
  }
};

template <class Interface, class Default>
std::shared_ptr<Interface> CreateUtility(const char* class_name) {
  ClassRegistry& registry = ClassRegistry::Instance();
  if constexpr (!std::is_same_v<Default, void>) {
    if (!registry.Contains(class_name)) {
      registry.Register<Interface>(class_name, [] { return std::make_shared<Default>(); });
    }
  }
  return registry.Create<Interface>(class_name);
}

struct ThreadUtilities {
  std::shared_ptr<host::FileUtility> file;
  std::shared_ptr<host::MessageFormatter> formatter;
  std::shared_ptr<host::TextUtility> text;
  std::shared_ptr<host::IdUtility> id;
};

thread_local ThreadUtilities t_utilities;

// Copies between two open files in the kernel: copy_file_range within one file system (where it
// may share the blocks), sendfile across two (page cache to page cache, as a workspace on another
// file system or a network share needs). Both go on from the files' current offsets, so nullopt,
// when neither applies to these files, leaves the rest to a copy through a buffer. A file whose
// size was known when it was opened is copied up to that size: the call that would only find
// its end is not made (a file that grows meanwhile is copied as it was when opened).
std::optional<bool> KernelCopy(int from, int to, std::optional<std::uint64_t> size) {
  constexpr std::size_t kChunk = std::size_t{1} << 30;
  const std::uint64_t expected = size.value_or(0);
  std::uint64_t copied = 0;
  bool same_file_system = true;
  for (;;) {
    ssize_t n = same_file_system ? ::copy_file_range(from, nullptr, to, nullptr, kChunk, 0)
                                 : ::sendfile(to, from, nullptr, kChunk);
    if (n == 0) return true;
    if (n > 0) {
      copied += static_cast<std::uint64_t>(n);
      if (expected != 0 && copied >= expected) return true;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    if (!same_file_system) return std::nullopt;
    same_file_system = false;
  }
}

// The buffer of copies the kernel cannot make, one per thread and never cleared: a fresh buffer
// per file would cost its page faults and zeroing on every file.
constexpr std::size_t kCopyBufferSize = std::size_t{256} << 10;

std::uint8_t* ThreadCopyBuffer() {
  thread_local auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kCopyBufferSize);
  return buffer.get();
}

}  // namespace

host::FileUtility& ThreadFileUtility() {
  if (!t_utilities.file) {
    t_utilities.file =
        CreateUtility<host::FileUtility, DefaultFileUtility>(host::kFileUtilityClass);
  }
  return *t_utilities.file;
}

host::MessageFormatter& ThreadMessageFormatter() {
  if (!t_utilities.formatter) {
    t_utilities.formatter = CreateUtility<host::MessageFormatter, DefaultMessageFormatter>(
        host::kMessageFormatterClass);
  }
  return *t_utilities.formatter;
}

host::TextUtility& ThreadTextUtility() {
  if (!t_utilities.text) {
    t_utilities.text =
        CreateUtility<host::TextUtility, DefaultTextUtility>(host::kTextUtilityClass);
  }
  return *t_utilities.text;
}

host::IdUtility& ThreadIdUtility() {
  if (!t_utilities.id) t_utilities.id = CreateUtility<host::IdUtility, void>(host::kIdUtilityClass);
  return *t_utilities.id;
}

void ResetThreadUtilities() { t_utilities = {}; }

bool BuiltInFileUtility() {
  return dynamic_cast<DefaultFileUtility*>(&ThreadFileUtility()) != nullptr;
}

bool CopyBytes(os::FileReader& source, os::FileReplacement& copy) {
  try {
    if (os::NextFileSystemFault() != 0) return false;
    std::optional<bool> copied = KernelCopy(source.descriptor(), copy.descriptor(), source.size());
    if (copied) return *copied;
    std::uint8_t* buffer = ThreadCopyBuffer();
    while (std::size_t got = source.Read(buffer, kCopyBufferSize)) copy.Write(buffer, got);
    return true;
  } catch (const Error&) {
    return false;
  }
}

}  // namespace svregistration::runtime
