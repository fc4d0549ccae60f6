// Reading files a piece at a time.
#include "platform/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/fault_injection.h"
#include "platform/file_system.h"
#include "svregistration/error.h"

namespace svregistration::platform {

namespace {

Error ReadError(int err, const std::string& path) {
  if (err == ENOENT) {
    return Error(error_number::kFileNotFound, "FileSystem", "File not found: '" + path + "'");
  }
  return ErrnoError(err, "read", path);
}

}  // namespace

OpenedFile OpenForReading(const std::string& path) {
  OpenedFile opened;
  opened.fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
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
  return opened;
}

bool OpenedFile::missing() const {
  return !fd && (error == ENOENT || error == ENOTDIR || error == ELOOP || error == ENAMETOOLONG);
}

FileReader::FileReader(const std::string& path, OpenedFile&& opened)
    : path_(path), fd_(opened.fd.release()) {
  AdviseSequential(opened.size);
}

// Reading ahead more than the kernel does by itself pays only for a file larger than what it
// reads ahead anyway; for a small one the advice is one more call.
void FileReader::AdviseSequential(std::uint64_t size) {
  constexpr std::uint64_t kKernelReadAhead = 128 << 10;
  if (size > kKernelReadAhead) ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

FileReader::FileReader(const std::string& path) : path_(path) {
  // Non-blocking, so that a pipe where a file was expected cannot hang the read.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  int err = fd_ < 0 ? errno : NextFileSystemFault();
  struct stat info {};
  if (err == 0 && ::fstat(fd_, &info) != 0) err = errno;
  if (err == 0 && S_ISDIR(info.st_mode)) err = ENOENT;
  if (err == 0 && !S_ISREG(info.st_mode)) {
    ::close(fd_);
    throw Error(error_number::kPathFileAccessError, "FileSystem",
                "cannot read '" + path + "': it is not a regular file");
  }
  if (err != 0) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    throw ReadError(err, path);
  }
  AdviseSequential(static_cast<std::uint64_t>(info.st_size));
}

FileReader::~FileReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::size_t FileReader::Read(std::uint8_t* buffer, std::size_t capacity) {
  std::size_t done = 0;
  while (done < capacity && !at_end_) {
    ssize_t n = ::read(fd_, buffer + done, capacity - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw ReadError(errno, path_);
    at_end_ = n == 0;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace svregistration::platform
