// Reading RAR 5 block headers, their records and file headers.
#include "archive/rar/rar5_blocks.h"

#include <algorithm>
#include <cstring>

#include "archive/rar/rar_bytes.h"
#include "archive/rar/rar_clear_source.h"

namespace svregistration::archive::rar5 {

namespace {

/// The whole size of a block header (CRC, size and what it counts) from its first bytes.
std::optional<std::size_t> HeaderSize(std::string_view start) {
  std::size_t pos = 4;
  std::uint64_t size = 0;
  if (start.size() < 5 ||
      !ReadVint(start.substr(0, std::min<std::size_t>(start.size(), 7)), pos, size) || size == 0 ||
      size > kMaxHeaderSize) {
    return std::nullopt;
  }
  return pos + static_cast<std::size_t>(size);
}

void DecryptInPlace(const Rar5Keys& keys, const std::uint8_t* iv, std::string& bytes) {
  CbcDecryptor(keys.key.data(), keys.key.size(), iv)
      .Decrypt(reinterpret_cast<const std::uint8_t*>(bytes.data()),
               reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
}

/// The header bytes at `at` in clear and where the data after them begins.
std::optional<std::pair<std::string, std::uint64_t>> ReadHeaderBytes(int fd,
                                                                     std::uint64_t file_size,
                                                                     std::uint64_t at,
                                                                     const Rar5Keys* keys) {
  if (keys == nullptr) {
    const auto start =
        ReadAt(fd, at, std::min<std::uint64_t>(7, file_size - std::min(at, file_size)));
    if (!start) return std::nullopt;
    const std::optional<std::size_t> size = HeaderSize(*start);
    if (!size) return std::nullopt;
    auto header = ReadAt(fd, at, *size);
    if (!header) return std::nullopt;
    return std::make_pair(std::move(*header), at + *size);
  }
  const auto start = ReadAt(fd, at, 32);
  if (!start) return std::nullopt;
  std::array<std::uint8_t, 16> iv{};
  std::memcpy(iv.data(), start->data(), iv.size());
  std::string first = start->substr(16);
  DecryptInPlace(*keys, iv.data(), first);
  const std::optional<std::size_t> size = HeaderSize(first);
  if (!size) return std::nullopt;
  const std::uint64_t padded = (*size + 15) / 16 * 16;
  auto header = ReadAt(fd, at + 16, static_cast<std::size_t>(padded));
  if (!header) return std::nullopt;
  DecryptInPlace(*keys, iv.data(), *header);
  header->resize(*size);
  return std::make_pair(std::move(*header), at + 16 + padded);
}

}  // namespace

std::optional<Block> ReadBlock(int fd, std::uint64_t file_size, std::uint64_t at,
                               const Rar5Keys* keys) {
  auto bytes = ReadHeaderBytes(fd, file_size, at, keys);
  if (!bytes) return std::nullopt;
  Block block;
  block.header = std::move(bytes->first);
  const std::uint64_t header_end = bytes->second;
  if (Crc32(std::string_view(block.header).substr(4)) != Le32(block.header, 0)) {
    return std::nullopt;
  }
  std::size_t pos = 4;
  std::uint64_t ignored = 0;
  const std::string_view header = block.header;
  if (!ReadVint(header, pos, ignored) || !ReadVint(header, pos, block.type) ||
      !ReadVint(header, pos, block.flags) ||
      ((block.flags & kHasExtra) != 0 && !ReadVint(header, pos, block.extra_size)) ||
      ((block.flags & kHasData) != 0 && !ReadVint(header, pos, block.data_size)) ||
      block.extra_size > header.size() - pos) {
    return std::nullopt;
  }
  block.fields_at = pos;
  block.data_offset = header_end;
  if (block.data_size > file_size - std::min(header_end, file_size)) return std::nullopt;
  block.next = header_end + block.data_size;
  return block;
}

std::vector<Record> ReadRecords(const Block& block) {
  std::vector<Record> records;
  const std::string_view extra = std::string_view(block.header).substr(block.ExtraAt());
  std::size_t pos = 0;
  while (pos < extra.size()) {
    Record record;
    record.at = block.ExtraAt() + pos;
    std::uint64_t size = 0;
    if (!ReadVint(extra, pos, size) || size > extra.size() - pos) break;
    const std::size_t end = pos + static_cast<std::size_t>(size);
    if (!ReadVint(extra.substr(0, end), pos, record.type)) break;
    record.body_at = block.ExtraAt() + pos;
    record.size = block.ExtraAt() + end - record.at;
    records.push_back(record);
    pos = end;
  }
  return records;
}

bool ReadCryptFields(std::string_view data, std::size_t pos, bool with_iv, Encryption& crypt) {
  std::uint64_t version = 0;
  if (!ReadVint(data, pos, version) || version != 0 || !ReadVint(data, pos, crypt.flags) ||
      pos >= data.size()) {
    return false;
  }
  crypt.kdf_count = static_cast<std::uint8_t>(data[pos++]);
  if (!Take(data, pos, crypt.salt) || (with_iv && !Take(data, pos, crypt.iv))) return false;
  if ((crypt.flags & kCryptHasCheck) != 0) {
    std::array<std::uint8_t, 8> check{};
    std::array<std::uint8_t, 4> sum{};
    if (!Take(data, pos, check) || !Take(data, pos, sum)) return false;
    if (Rar5CheckSum(check) == sum) crypt.check = check;  // a damaged check value is ignored
  }
  return crypt.kdf_count <= kMaxRar5KdfCount;
}

std::optional<FileHeader> ReadFileHeader(Block block) {
  FileHeader file;
  const std::string_view header = block.header;
  std::size_t pos = block.fields_at;
  std::uint64_t ignored = 0, name_size = 0;
  if (!ReadVint(header, pos, file.file_flags)) return std::nullopt;
  file.flags_end = pos;
  if (!ReadVint(header, pos, file.unpacked_size) || !ReadVint(header, pos, ignored)) {
    return std::nullopt;
  }
  const std::size_t limit = block.ExtraAt();
  if ((file.file_flags & kFileHasTime) != 0) pos += 4;
  if ((file.file_flags & kFileHasCrc) != 0) {
    file.crc_at = pos;
    pos += 4;
  }
  if (pos > limit || !ReadVint(header.substr(0, limit), pos, file.compression) ||
      !ReadVint(header.substr(0, limit), pos, ignored) ||
      !ReadVint(header.substr(0, limit), pos, name_size) || name_size > limit - pos) {
    return std::nullopt;
  }
  file.name.assign(header.substr(pos, static_cast<std::size_t>(name_size)));
  file.fields_end = pos + static_cast<std::size_t>(name_size);
  file.records = ReadRecords(block);
  for (const Record& record : file.records) {
    const std::string_view body = header.substr(0, record.at + record.size);
    std::size_t at = record.body_at;
    std::uint64_t version = 0;
    if (record.type == kRecordVersion && ReadVint(body, at, ignored) &&
        ReadVint(body, at, version)) {
      file.name += ";" + std::to_string(version);
    }
    if (record.type != kRecordEncryption) continue;
    Encryption crypt;
    if (!ReadCryptFields(body, record.body_at, true, crypt)) return std::nullopt;
    file.encryption = crypt;
  }
  file.block = std::move(block);
  return file;
}

std::optional<std::uint64_t> ArchiveFlags(const Block& main) {
  std::size_t pos = main.fields_at;
  std::uint64_t flags = 0;
  if (!ReadVint(main.header, pos, flags)) return std::nullopt;
  return flags;
}

std::string WithCrc(const std::string& body) {
  std::string sized;
  AppendVint(sized, body.size());
  sized += body;
  std::string header;
  AppendLe(header, Crc32(sized), 4);
  return header + sized;
}

namespace {

/// Walks the blocks of one volume, adding its file headers. True when the archive goes on in
/// the next volume; `ended` is set when the walk reached the end of the archive.
bool ReadVolume(int fd, std::vector<MemberSummary>& members, bool& ended) {
  const auto signature = ReadAt(fd, 0, kSignature.size());
  if (!signature || *signature != kSignature) return false;
  const std::uint64_t size = FileSize(fd);
  std::uint64_t at = kSignature.size();
  while (std::optional<Block> block = ReadBlock(fd, size, at, nullptr)) {
    at = block->next;
    if (block->type == kCrypt) return false;
    if (block->type == kEnd) {
      std::size_t pos = block->fields_at;
      std::uint64_t end_flags = 0;
      const bool more =
          ReadVint(block->header, pos, end_flags) && (end_flags & kEndNotLastVolume) != 0;
      ended = !more;
      return more;
    }
    if (block->type != kFile || (block->flags & kContinued) != 0) continue;
    std::optional<FileHeader> file = ReadFileHeader(std::move(*block));
    if (!file) return false;
    members.push_back({file->name, file->encryption.has_value()});
  }
  return false;
}

}  // namespace

std::vector<MemberSummary> ReadMemberSummaries(const std::vector<int>& fds, std::string& unread) {
  std::vector<MemberSummary> members;
  bool ended = false;
  bool more = false;
  for (const int fd : fds) {
    more = ReadVolume(fd, members, ended);
    if (!more) break;
  }
  unread = ended ? "" : more ? kVolumesMissing : kHeaderUnreadable;
  return members;
}

}  // namespace svregistration::archive::rar5
