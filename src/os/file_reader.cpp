// Reading files whole or a piece at a time.
#include "os/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "os/byte_buffer.h"
#include "os/fault_injection.h"
#include "os/file_system.h"
#include "svregistration/error.h"
#include "svregistration/input_reading.h"

namespace svregistration::os {

namespace {

/// What a pipe or a device is read in, a piece at a time, since its size is not known.
constexpr std::size_t kPiece = std::size_t{1} << 16;

Error ReadError(int err, const std::string& path) {
  if (err == ENOENT) {
    return Error(error_number::kFileNotFound, "FileSystem", "File not found: '" + path + "'");
  }
  return ErrnoError(err, "read", path);
}

/// Reads everything left; a regular file exactly its size (a file that shrank while being read
/// is an error, not a shorter content).
std::vector<std::uint8_t> ReadToEnd(FileReader& reader, const std::string& path) {
  if (std::optional<std::uint64_t> size = reader.size()) {
    std::vector<std::uint8_t> bytes = AllocateBytes(static_cast<std::size_t>(*size));
    if (reader.Read(bytes.data(), bytes.size()) != bytes.size())
      throw ErrnoError(EIO, "read", path);
    return bytes;
  }
  std::vector<std::uint8_t> bytes;
  std::size_t done = 0;
  for (;;) {
    if (bytes.size() - done < kPiece) GrowBytes(bytes, std::max(2 * bytes.size(), done + kPiece));
    std::size_t n = reader.Read(bytes.data() + done, kPiece);
    done += n;
    if (n < kPiece) break;
  }
  bytes.resize(done);
  return bytes;
}

// What an open gave: the file with what it is, or the open's error.
OpenedFile Opened(int fd) {
  OpenedFile opened;
  opened.fd.reset(fd);
  struct stat info {};
  if (!opened.fd || ::fstat(opened.fd.get(), &info) != 0) {
    opened.error = errno;
    opened.fd.reset();
    return opened;
  }
  opened.folder = S_ISDIR(info.st_mode);
  opened.regular = S_ISREG(info.st_mode);
  opened.device = static_cast<std::uint64_t>(info.st_dev);
  opened.inode = static_cast<std::uint64_t>(info.st_ino);
  opened.size = static_cast<std::uint64_t>(info.st_size);
  opened.mode = info.st_mode;
  return opened;
}

}  // namespace

OpenedFile OpenForReading(const std::string& path) {
  return Opened(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

OpenedFile OpenForReadingIn(int folder, const std::string& name) {
  if (folder < 0) {
    OpenedFile none;
    none.error = ENOENT;
    return none;
  }
  return Opened(::openat(folder, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
}

bool OpenedFile::missing() const {
  return !fd && (error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG);
}

FileReader::FileReader(const std::string& path, OpenedFile&& opened)
    : path_(path), fd_(std::move(opened.fd)), size_(opened.size), mode_(opened.mode) {
  AdviseSequential(opened.size);
}

// Reading ahead more than the kernel does by itself pays only for a file larger than what it
// reads ahead anyway; for a small one the advice is one more call.
void FileReader::AdviseSequential(std::uint64_t size) {
  constexpr std::uint64_t kKernelReadAhead = 128 << 10;
  if (size > kKernelReadAhead) ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
}

FileReader::FileReader(const std::string& path, Accept accept) : path_(path) {
  if (accept == Accept::kAnyInput && path == "-") {
    path_ = "standard input";
    fd_.reset(::dup(STDIN_FILENO));  // closed with the reader, standard input stays open
    if (!fd_) throw ReadError(errno, path_);
    return;
  }
  // A source is opened non-blocking, so that a pipe where a file was expected cannot hang it.
  const int blocking = accept == Accept::kRegularFile ? O_NONBLOCK : 0;
  fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | blocking));
  int err = !fd_ ? errno : NextFileSystemFault();
  struct stat info {};
  if (err == 0 && ::fstat(fd_.get(), &info) != 0) err = errno;
  // Where a source is expected a folder counts as no file at all.
  if (err == 0 && S_ISDIR(info.st_mode)) err = accept == Accept::kRegularFile ? ENOENT : EISDIR;
  if (err != 0) throw ReadError(err, path);
  mode_ = info.st_mode;
  if (S_ISREG(info.st_mode)) {
    size_ = static_cast<std::uint64_t>(info.st_size);
    AdviseSequential(*size_);
  } else if (accept == Accept::kRegularFile) {
    throw Error(error_number::kPathFileAccessError, "FileSystem",
                "cannot read '" + path + "': it is not a regular file");
  }
}

std::size_t FileReader::Read(std::uint8_t* buffer, std::size_t capacity) {
  std::size_t done = 0;
  while (done < capacity && !at_end_) {
    ssize_t n = ::read(fd_.get(), buffer + done, capacity - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ReadError(errno, path_);
    done += static_cast<std::size_t>(n);
    read_ += static_cast<std::uint64_t>(n);
    // A regular file read to the size it had when opened is taken as whole, as ReadToEnd takes
    // it: the look for more would cost a call per file. (A size of 0 is no promise: /proc.)
    at_end_ = n == 0 || (size_ && *size_ != 0 && read_ >= *size_);
  }
  return done;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
  if (!FileExists(path)) return std::nullopt;
  FileReader reader(path);
  return ReadToEnd(reader, path);
}

}  // namespace svregistration::os

namespace svregistration {

InputReader::InputReader(const std::string& path)
    : reader_(std::make_unique<os::FileReader>(path, os::Accept::kAnyInput)) {}

InputReader::~InputReader() = default;

std::size_t InputReader::Read(std::uint8_t* buffer, std::size_t capacity) {
  return reader_->Read(buffer, capacity);
}

std::vector<std::uint8_t> ReadInputWhole(const std::string& path) {
  os::FileReader reader(path, os::Accept::kAnyInput);
  return os::ReadToEnd(reader, path);
}

}  // namespace svregistration
