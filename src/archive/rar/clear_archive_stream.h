// An archive in clear built on the fly: a queue of pieces, each either bytes made here
// (rewritten headers) or a range of an archive file, copied or decrypted with AES-CBC as it is
// read, a block at a time. libarchive reads it through its custom read callbacks; a decoder that
// reads files only gets it drained into an anonymous memory file. Nothing is written to disk.
#pragma once

#include <archive.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/rar/rar_crypto.h"

namespace svregistration::archive {

/// A range of the original file as it goes into the clear archive.
struct SourceRange {
  int fd = -1;  ///< the file it lies in; -1 for the stream's own
  std::uint64_t offset = 0;
  std::uint64_t size = 0;         ///< bytes of the file (the padded size when encrypted)
  std::uint64_t output_size = 0;  ///< bytes handed on, at most `size`: the exact data size
  std::vector<std::uint8_t> key;  ///< empty: copied as it is
  std::array<std::uint8_t, 16> iv{};
};

class ClearArchiveStream {
 public:
  /// Reads from the open file `fd` (not owned). `refill` is asked for more pieces when libarchive
  /// wants bytes and the queue is empty; without one, or when it adds nothing, the archive ends.
  explicit ClearArchiveStream(int fd, std::function<void(ClearArchiveStream&)> refill = {});
  ~ClearArchiveStream();

  void AppendBytes(std::string bytes);
  void AppendRange(SourceRange range);

  /// Bytes appended so far, as they come out in clear.
  std::uint64_t appended() const { return appended_; }

  /// Opens `reader` on this stream, which must outlive it. False with libarchive's error.
  bool OpenReader(::archive* reader);
  /// The next bytes in clear, kept until the next call: their count, 0 at the end, -1 with
  /// `error` set.
  la_ssize_t Next(const void** buffer, std::string& error);
  /// Writes what the queue holds to `fd` at its current position. False, with `error` set, when
  /// the archive cannot be read or `fd` written.
  bool DrainTo(int fd, std::string& error);

 private:
  struct Piece {
    std::string bytes;
    std::optional<SourceRange> range;
  };
  static la_ssize_t ReadCallback(::archive* reader, void* self, const void** buffer);
  /// The next bytes in clear: their count, 0 at the end, -1 with error_ set.
  la_ssize_t Read(const void** buffer);
  la_ssize_t ReadRange(SourceRange& range, const void** buffer);

  int fd_;
  std::uint64_t appended_ = 0;
  std::string error_;
  std::function<void(ClearArchiveStream&)> refill_;
  std::deque<Piece> pieces_;
  bool front_started_ = false;
  std::unique_ptr<CbcDecryptor> decryptor_;
  std::vector<std::uint8_t> buffer_;
  std::string current_bytes_;
};

}  // namespace svregistration::archive
