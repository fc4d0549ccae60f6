// The clear archive handed to libarchive, read piece by piece.
#include "archive/clear_archive_stream.h"

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
  if (!bytes.empty()) pieces_.push_back({std::move(bytes), std::nullopt});
}

void ClearArchiveStream::AppendRange(SourceRange range) {
  if (range.output_size != 0) pieces_.push_back({std::string(), std::move(range)});
}

bool ClearArchiveStream::OpenReader(::archive* reader) {
  return archive_read_open(reader, this, nullptr, &ReadCallback, nullptr) == ARCHIVE_OK;
}

la_ssize_t ClearArchiveStream::ReadCallback(::archive* reader, void* self, const void** buffer) {
  return static_cast<ClearArchiveStream*>(self)->Read(reader, buffer);
}

la_ssize_t ClearArchiveStream::Read(::archive* reader, const void** buffer) {
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
  const la_ssize_t size = ReadRange(reader, *piece.range, buffer);
  if (size <= 0 || piece.range->output_size == 0) {
    pieces_.pop_front();
    front_started_ = false;
    decryptor_.reset();
  }
  return size;
}

la_ssize_t ClearArchiveStream::ReadRange(::archive* reader, SourceRange& range,
                                         const void** buffer) {
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
        ::pread(fd_, buffer_.data() + got, want - got, static_cast<off_t>(range.offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      archive_set_error(reader, n < 0 ? errno : EIO,
                        "cannot read %zu bytes of the archive at offset %llu", want - got,
                        static_cast<unsigned long long>(range.offset + got));
      return ARCHIVE_FATAL;
    }
    got += static_cast<std::size_t>(n);
  }
  if (decryptor_) {
    if (got % 16 != 0) {
      archive_set_error(reader, EINVAL, "encrypted data of %zu bytes is not whole AES blocks", got);
      return ARCHIVE_FATAL;
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
