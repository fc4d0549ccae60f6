// A reader of RAR 5 block headers, enough to list the file headers and their encryption records.
#include "archive/rar5_headers.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <string_view>

#include "archive/rar_bytes.h"

namespace svregistration::archive {

namespace {

constexpr std::array<char, 8> kSignature = {'R', 'a', 'r', '!', '\x1A', '\x07', '\x01', '\x00'};

// A header size is a variable-length integer of at most 3 bytes: headers are below 2 MiB.
constexpr std::uint64_t kMaxHeaderSize = std::uint64_t{1} << 21;

enum HeaderType : std::uint64_t {
  kMainHeader = 1,
  kFileHeader = 2,
  kServiceHeader = 3,
  kEncryptionHeader = 4,
  kEndOfArchive = 5,
};

constexpr std::uint64_t kHasExtraArea = 0x0001;
constexpr std::uint64_t kHasDataArea = 0x0002;
constexpr std::uint64_t kContinuedFromPrevious = 0x0008;
constexpr std::uint64_t kFileHasTime = 0x0002;
constexpr std::uint64_t kFileHasCrc = 0x0004;
constexpr std::uint64_t kEndNotLastVolume = 0x0001;
constexpr std::uint64_t kExtraEncryption = 0x01;

bool Skip(std::string_view data, std::size_t& pos, std::uint64_t count) {
  if (count > data.size() - pos) return false;
  pos += static_cast<std::size_t>(count);
  return true;
}

/// True when the extra area holds a file encryption record.
bool HasEncryptionRecord(std::string_view extra) {
  std::size_t pos = 0;
  while (pos < extra.size()) {
    std::uint64_t size = 0;
    if (!ReadVint(extra, pos, size) || size > extra.size() - pos) return false;
    std::string_view record = extra.substr(pos, static_cast<std::size_t>(size));
    std::size_t at = 0;
    std::uint64_t type = 0;
    if (ReadVint(record, at, type) && type == kExtraEncryption) return true;
    pos += static_cast<std::size_t>(size);
  }
  return false;
}

/// Reads the fields of a file header that follow its general fields, at `pos` of `header`.
bool ParseFileHeader(std::string_view header, std::size_t pos, std::uint64_t extra_size,
                     Rar5FileHeader& file) {
  std::uint64_t file_flags = 0;
  std::uint64_t ignored = 0;
  std::uint64_t name_length = 0;
  if (!ReadVint(header, pos, file_flags) || !ReadVint(header, pos, ignored) ||  // unpacked size
      !ReadVint(header, pos, ignored)) {                                        // attributes
    return false;
  }
  if ((file_flags & kFileHasTime) != 0 && !Skip(header, pos, 4)) return false;
  if ((file_flags & kFileHasCrc) != 0 && !Skip(header, pos, 4)) return false;
  if (!ReadVint(header, pos, ignored) ||  // compression information
      !ReadVint(header, pos, ignored) ||  // host system
      !ReadVint(header, pos, name_length) || name_length > header.size() - pos) {
    return false;
  }
  file.name.assign(header.substr(pos, static_cast<std::size_t>(name_length)));
  file.encrypted = HasEncryptionRecord(header.substr(header.size() - extra_size));
  return true;
}

/// Walks the blocks of one volume, adding its file headers. True when the archive goes on in
/// the next volume.
bool ReadVolume(const std::string& path, std::vector<Rar5FileHeader>& files) {
  std::ifstream in(path, std::ios::binary);
  std::array<char, kSignature.size()> signature{};
  if (!in.read(signature.data(), signature.size()) || signature != kSignature) return false;
  std::string header;
  for (;;) {
    char crc[4];
    if (!in.read(crc, sizeof crc)) return false;
    std::uint64_t size = 0;
    unsigned shift = 0;
    for (;;) {
      char byte = 0;
      if (shift > 14 || !in.get(byte)) return false;
      size |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(byte) & 0x7Fu) << shift;
      shift += 7;
      if ((static_cast<std::uint8_t>(byte) & 0x80u) == 0) break;
    }
    if (size == 0 || size > kMaxHeaderSize) return false;
    header.resize(static_cast<std::size_t>(size));
    if (!in.read(header.data(), static_cast<std::streamsize>(size))) return false;

    std::size_t pos = 0;
    std::uint64_t type = 0;
    std::uint64_t flags = 0;
    std::uint64_t extra_size = 0;
    std::uint64_t data_size = 0;
    if (!ReadVint(header, pos, type) || !ReadVint(header, pos, flags)) return false;
    if ((flags & kHasExtraArea) != 0 && !ReadVint(header, pos, extra_size)) return false;
    if ((flags & kHasDataArea) != 0 && !ReadVint(header, pos, data_size)) return false;
    if (extra_size > header.size() - pos) return false;

    if (type == kFileHeader && (flags & kContinuedFromPrevious) == 0) {
      Rar5FileHeader file;
      if (!ParseFileHeader(header, pos, extra_size, file)) return false;
      files.push_back(std::move(file));
    } else if (type == kEncryptionHeader) {
      return false;
    } else if (type == kEndOfArchive) {
      std::uint64_t end_flags = 0;
      return ReadVint(header, pos, end_flags) && (end_flags & kEndNotLastVolume) != 0;
    }
    if (data_size > static_cast<std::uint64_t>(std::numeric_limits<std::streamoff>::max())) {
      return false;
    }
    if (data_size != 0 && !in.seekg(static_cast<std::streamoff>(data_size), std::ios::cur)) {
      return false;
    }
  }
}

}  // namespace

std::vector<Rar5FileHeader> ReadRar5FileHeaders(const std::vector<std::string>& volumes) {
  std::vector<Rar5FileHeader> files;
  for (const std::string& volume : volumes) {
    if (!ReadVolume(volume, files)) break;
  }
  return files;
}

}  // namespace svregistration::archive
