// The clear archive handed to libarchive, read piece by piece.
#include "archive/rar/clear_archive_stream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace svregistration::archive {

namespace {
constexpr std::size_t kBlockSize = 64 * 1024;  // a multiple of the AES block
}

ClearArchiveStream::ClearArchiveStream(int fd, std::function<void(ClearArchiveStream&)> refill)
    : fd_(fd), refill_(std::move(refill)), buffer_(kBlockSize) {}

ClearArchiveStream::~ClearArchiveStream() = default;

void ClearArchiveStream::AppendBytes(std::string bytes) {
  appended_ += bytes.size();
  if (!bytes.empty()) pieces_.push_back({std::move(bytes), std::nullopt});
}

void ClearArchiveStream::AppendRange(SourceRange range) {
  appended_ += range.output_size;
  if (range.fd < 0) range.fd = fd_;
  if (range.output_size != 0) pieces_.push_back({std::string(), std::move(range)});
}

la_ssize_t ClearArchiveStream::Next(const void** buffer, std::string& error) {
  const la_ssize_t size = Read(buffer);
  if (size < 0) error = error_;
  return size;
}

bool ClearArchiveStream::DrainTo(int fd, std::string& error) {
  const void* buffer = nullptr;
  la_ssize_t size = 0;
  while ((size = Read(&buffer)) > 0) {
    const char* bytes = static_cast<const char*>(buffer);
    auto left = static_cast<std::size_t>(size);
    while (left > 0) {
      const ssize_t written = ::write(fd, bytes, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        error = std::string("cannot write the archive in clear to memory: ") + std::strerror(errno);
        return false;
      }
      bytes += written;
      left -= static_cast<std::size_t>(written);
    }
  }
  if (size < 0) error = error_;
  return size == 0;
}

bool ClearArchiveStream::OpenReader(::archive* reader) {
  return archive_read_open(reader, this, nullptr, &ReadCallback, nullptr) == ARCHIVE_OK;
}

la_ssize_t ClearArchiveStream::ReadCallback(::archive* reader, void* self, const void** buffer) {
  auto* stream = static_cast<ClearArchiveStream*>(self);
  const la_ssize_t size = stream->Read(buffer);
  if (size < 0) {
    archive_set_error(reader, EIO, "%s", stream->error_.c_str());
    return ARCHIVE_FATAL;
  }
  return size;
}

la_ssize_t ClearArchiveStream::Read(const void** buffer) {
  if (pieces_.empty() && refill_) refill_(*this);
  if (pieces_.empty()) return 0;
  Piece& piece = pieces_.front();
  if (!piece.range) {
    // Handed over whole; kept alive until the next call, as libarchive requires.
    current_bytes_ = std::move(piece.bytes);
    pieces_.pop_front();
    *buffer = current_bytes_.data();
    return static_cast<la_ssize_t>(current_bytes_.size());
  }
  const la_ssize_t size = ReadRange(*piece.range, buffer);
  if (size <= 0 || piece.range->output_size == 0) {
    pieces_.pop_front();
    front_started_ = false;
    decryptor_.reset();
  }
  return size;
}

la_ssize_t ClearArchiveStream::ReadRange(SourceRange& range, const void** buffer) {
  if (!front_started_) {
    front_started_ = true;
    if (!range.key.empty()) {
      decryptor_ =
          std::make_unique<CbcDecryptor>(range.key.data(), range.key.size(), range.iv.data());
    }
  }
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(range.size, kBlockSize));
  std::size_t got = 0;
  while (got < want) {
    const ssize_t n =
        ::pread(range.fd, buffer_.data() + got, want - got, static_cast<off_t>(range.offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = "cannot read " + std::to_string(want - got) + " bytes of the archive at offset " +
               std::to_string(range.offset + got) +
               (n < 0 ? std::string(": ") + std::strerror(errno) : std::string(": it ends there"));
      return -1;
    }
    got += static_cast<std::size_t>(n);
  }
  if (decryptor_) {
    if (got % 16 != 0) {
      error_ = "encrypted data of " + std::to_string(got) + " bytes is not whole AES blocks";
      return -1;
    }
    decryptor_->Decrypt(buffer_.data(), buffer_.data(), got);
  }
  const std::size_t handed =
      static_cast<std::size_t>(std::min<std::uint64_t>(got, range.output_size));
  range.offset += got;
  range.size -= got;
  range.output_size -= handed;
  *buffer = buffer_.data();
  return static_cast<la_ssize_t>(handed);
}

}  // namespace svregistration::archive
