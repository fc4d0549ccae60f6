// The RAR 5 source of a clear archive: block headers read (and decrypted when the archive
// encrypts them), file headers rewritten without their encryption records, member data
// decrypted with AES-256-CBC and cut to its exact length.
#include <array>
#include <cstring>

#include "archive/rar_bytes.h"
#include "archive/rar_clear_source.h"

namespace svregistration::archive {

namespace {

constexpr std::string_view kSignature("Rar!\x1A\x07\x01\x00", 8);
constexpr std::uint64_t kMaxHeaderSize = std::uint64_t{1} << 21;  // a 3-byte size vint

enum : std::uint64_t { kMain = 1, kFile = 2, kService = 3, kCrypt = 4, kEnd = 5 };
constexpr std::uint64_t kHasExtra = 0x01;
constexpr std::uint64_t kHasData = 0x02;
constexpr std::uint64_t kContinued = 0x08;
constexpr std::uint64_t kArchiveVolume = 0x01;
constexpr std::uint64_t kArchiveSolid = 0x04;
constexpr std::uint64_t kFileHasTime = 0x02;
constexpr std::uint64_t kFileHasCrc = 0x04;
constexpr std::uint64_t kFileSizeUnknown = 0x08;
constexpr std::uint64_t kRecordLocator = 0x01;     // in the main header
constexpr std::uint64_t kRecordEncryption = 0x01;  // in a file header
constexpr std::uint64_t kRecordHash = 0x02;
constexpr std::uint64_t kRecordVersion = 0x04;
constexpr std::uint64_t kCryptHasCheck = 0x01;
constexpr std::uint64_t kCryptMacChecksums = 0x02;

/// A block header in clear, from its CRC on, and where its parts lie.
struct Block {
  std::string header;
  std::uint64_t type = 0, flags = 0, extra_size = 0, data_size = 0;
  std::size_t fields_at = 0;  // the type's own fields
  std::uint64_t data_offset = 0;
  std::uint64_t next = 0;  // the next block header
  std::size_t ExtraAt() const { return header.size() - static_cast<std::size_t>(extra_size); }
};

struct Record {
  std::size_t at = 0, size = 0;  // the whole record, its size vint included
  std::uint64_t type = 0;
  std::size_t body_at = 0;  // after the type
};

struct Encryption {
  unsigned kdf_count = 0;
  std::uint64_t flags = 0;
  Rar5Salt salt{};
  std::array<std::uint8_t, 16> iv{};
  std::optional<std::array<std::uint8_t, 8>> check;
};

struct FileHeader {
  Block block;
  std::uint64_t file_flags = 0, unpacked_size = 0, compression = 0;
  std::string name;
  std::size_t flags_end = 0, fields_end = 0;
  std::optional<std::size_t> crc_at;
  std::vector<Record> records;
  std::optional<Encryption> encryption;
};

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

template <std::size_t N>
bool Take(std::string_view data, std::size_t& pos, std::array<std::uint8_t, N>& out) {
  if (data.size() - pos < N) return false;
  std::memcpy(out.data(), data.data() + pos, N);
  pos += N;
  return true;
}

/// The encryption fields shared by the archive encryption header and the file record.
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

std::string WithCrc(const std::string& body) {
  std::string sized;
  AppendVint(sized, body.size());
  sized += body;
  std::string header;
  AppendLe(header, Crc32(sized), 4);
  return header + sized;
}

class Rar5Source final : public RarClearSource {
 public:
  Rar5Source(int fd, RarKeyCache& keys) : fd_(fd), keys_(keys), file_size_(FileSize(fd)) {}

  /// Reads the signature and the first header. False when this is no RAR 5 archive for us.
  bool Start() {
    const auto signature = ReadAt(fd_, 0, kSignature.size());
    if (!signature || *signature != kSignature) return false;
    const std::optional<Block> first = ReadBlock(kSignature.size(), nullptr);
    if (!first) return false;
    if (first->type == kCrypt) {
      if (!ReadCryptFields(first->header, first->fields_at, false, header_crypt_)) return false;
      headers_encrypted_ = true;
      members_at_ = first->next;
      return true;
    }
    if (first->type != kMain || !TakeMain(*first)) return false;
    members_at_ = first->next;
    ReadMembers("");
    for (const FileHeader& file : files_) {
      if (file.encryption) return true;
    }
    return false;
  }

  bool HeadersEncrypted() const override { return headers_encrypted_; }
  const std::vector<RarMemberInfo>& Members() const override { return members_; }
  bool Solid() const override { return solid_; }

  void ReadMembers(const std::string& password) override {
    files_.clear();
    members_.clear();
    const Rar5Keys* header_keys = nullptr;
    std::uint64_t at = members_at_;
    if (headers_encrypted_) {
      if (password.empty()) return;
      header_keys = keys_.Rar5(password, header_crypt_.salt, header_crypt_.kdf_count);
      if (header_keys == nullptr) return;
      if (header_crypt_.check && *header_crypt_.check != header_keys->check) return;
      const std::optional<Block> main = ReadBlock(at, header_keys);
      if (!main || main->type != kMain || !TakeMain(*main)) return;
      at = main->next;
    }
    while (std::optional<Block> block = ReadBlock(at, header_keys)) {
      at = block->next;
      if (block->type == kEnd) break;
      if (block->type != kFile || (block->flags & kContinued) != 0) continue;
      std::optional<FileHeader> file = ReadFileHeader(std::move(*block));
      if (!file) break;
      members_.push_back({file->name, file->encryption.has_value()});
      files_.push_back(std::move(*file));
    }
  }

  void AppendStart(ClearArchiveStream& stream) override {
    std::string body;
    AppendVint(body, kMain);
    std::string kept = KeptRecords(main_, ReadRecords(main_), kRecordLocator, kRecordLocator);
    AppendVint(body, (main_.flags & ~kHasExtra) | (kept.empty() ? 0 : kHasExtra));
    if (!kept.empty()) AppendVint(body, kept.size());
    body.append(main_.header, main_.fields_at, main_.ExtraAt() - main_.fields_at);
    body += kept;
    stream.AppendBytes(std::string(kSignature) + WithCrc(body));
  }

  bool AppendMember(ClearArchiveStream& stream, std::size_t index, const std::string& password,
                    std::optional<RarMacCheck>& mac) override {
    mac.reset();
    const FileHeader& file = files_.at(index);
    const Block& block = file.block;
    if (!file.encryption) {
      stream.AppendBytes(block.header);
      stream.AppendRange({block.data_offset, block.data_size, block.data_size, {}, {}});
      return true;
    }
    const Encryption& crypt = *file.encryption;
    if (password.empty() || block.data_size % 16 != 0) return false;
    const Rar5Keys* found = keys_.Rar5(password, crypt.salt, crypt.kdf_count);
    if (found == nullptr || (crypt.check && *crypt.check != found->check)) return false;
    const Rar5Keys& keys = *found;
    const std::optional<std::uint64_t> exact = ExactDataSize(file, keys);
    if (!exact) return false;
    const bool macs = (crypt.flags & kCryptMacChecksums) != 0;
    if (macs) mac = MacCheckOf(file, keys);
    stream.AppendBytes(ClearFileHeader(file, *exact, macs));
    stream.AppendRange({block.data_offset, block.data_size, *exact,
                        std::vector<std::uint8_t>(keys.key.begin(), keys.key.end()), crypt.iv});
    return true;
  }

  void AppendEnd(ClearArchiveStream& stream) override {
    std::string body;
    AppendVint(body, kEnd);
    AppendVint(body, 0);
    AppendVint(body, 0);
    stream.AppendBytes(WithCrc(body));
  }

 private:
  /// The block header at `at`, decrypted with `keys` when given; nullopt when it is truncated,
  /// too large, fails its CRC (a wrong password, when encrypted) or leaves the file.
  std::optional<Block> ReadBlock(std::uint64_t at, const Rar5Keys* keys) const {
    Block block;
    std::uint64_t header_end = 0;
    if (keys != nullptr) {
      const auto start = ReadAt(fd_, at, 32);
      if (!start) return std::nullopt;
      std::array<std::uint8_t, 16> iv{};
      std::memcpy(iv.data(), start->data(), iv.size());
      std::string first = start->substr(16);
      CbcDecryptor(keys->key.data(), keys->key.size(), iv.data())
          .Decrypt(reinterpret_cast<const std::uint8_t*>(first.data()),
                   reinterpret_cast<std::uint8_t*>(first.data()), first.size());
      const std::optional<std::size_t> size = HeaderSize(first);
      if (!size) return std::nullopt;
      const std::uint64_t padded = (*size + 15) / 16 * 16;
      auto cipher = ReadAt(fd_, at + 16, static_cast<std::size_t>(padded));
      if (!cipher) return std::nullopt;
      CbcDecryptor(keys->key.data(), keys->key.size(), iv.data())
          .Decrypt(reinterpret_cast<const std::uint8_t*>(cipher->data()),
                   reinterpret_cast<std::uint8_t*>(cipher->data()), cipher->size());
      cipher->resize(*size);
      block.header = std::move(*cipher);
      header_end = at + 16 + padded;
    } else {
      const auto start =
          ReadAt(fd_, at, std::min<std::uint64_t>(7, file_size_ - std::min(at, file_size_)));
      if (!start) return std::nullopt;
      const std::optional<std::size_t> size = HeaderSize(*start);
      if (!size) return std::nullopt;
      auto header = ReadAt(fd_, at, *size);
      if (!header) return std::nullopt;
      block.header = std::move(*header);
      header_end = at + *size;
    }
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
    if (block.data_size > file_size_ - std::min(header_end, file_size_)) return std::nullopt;
    block.next = header_end + block.data_size;
    return block;
  }

  /// The whole size of a block header (CRC, size and what it counts) from its first bytes.
  static std::optional<std::size_t> HeaderSize(std::string_view start) {
    std::size_t pos = 4;
    std::uint64_t size = 0;
    if (start.size() < 5 ||
        !ReadVint(start.substr(0, std::min<std::size_t>(start.size(), 7)), pos, size) ||
        size == 0 || size > kMaxHeaderSize) {
      return std::nullopt;
    }
    return pos + static_cast<std::size_t>(size);
  }

  bool TakeMain(const Block& main) {
    std::size_t pos = main.fields_at;
    std::uint64_t archive_flags = 0;
    if (!ReadVint(main.header, pos, archive_flags) || (archive_flags & kArchiveVolume) != 0) {
      return false;
    }
    solid_ = (archive_flags & kArchiveSolid) != 0;
    main_ = main;
    return true;
  }

  static std::optional<FileHeader> ReadFileHeader(Block block) {
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
        // Reported as "name;version", as libarchive names such members.
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

  /// The raw records of `block` less those whose type is `drop` or `also_drop`.
  static std::string KeptRecords(const Block& block, const std::vector<Record>& records,
                                 std::uint64_t drop, std::uint64_t also_drop) {
    std::string kept;
    for (const Record& record : records) {
      if (record.type != drop && record.type != also_drop) {
        kept.append(block.header, record.at, record.size);
      }
    }
    return kept;
  }

  /// The file header without its encryption record, with the exact data size; with MAC'd
  /// checksums also without its CRC and hash record, which libarchive would find wrong.
  static std::string ClearFileHeader(const FileHeader& file, std::uint64_t data_size, bool macs) {
    const Block& block = file.block;
    const std::string kept =
        KeptRecords(block, file.records, kRecordEncryption, macs ? kRecordHash : kRecordEncryption);
    std::string body;
    AppendVint(body, block.type);
    AppendVint(body, (block.flags & ~kHasExtra) | (kept.empty() ? 0 : kHasExtra));
    if (!kept.empty()) AppendVint(body, kept.size());
    if ((block.flags & kHasData) != 0) AppendVint(body, data_size);
    const bool drop_crc = macs && file.crc_at.has_value();
    AppendVint(body, drop_crc ? file.file_flags & ~kFileHasCrc : file.file_flags);
    const std::size_t fields_end = block.ExtraAt();
    if (drop_crc) {
      body.append(block.header, file.flags_end, *file.crc_at - file.flags_end);
      body.append(block.header, *file.crc_at + 4, fields_end - *file.crc_at - 4);
    } else {
      body.append(block.header, file.flags_end, fields_end - file.flags_end);
    }
    body += kept;
    return WithCrc(body);
  }

  static RarMacCheck MacCheckOf(const FileHeader& file, const Rar5Keys& keys) {
    RarMacCheck mac;
    mac.hash_key = keys.hash_key;
    if (file.crc_at) mac.crc = Le32(file.block.header, *file.crc_at);
    for (const Record& record : file.records) {
      std::size_t pos = record.body_at;
      std::uint64_t hash_type = 0;
      const std::string_view body =
          std::string_view(file.block.header).substr(0, record.at + record.size);
      Digest32 digest{};
      if (record.type == kRecordHash && ReadVint(body, pos, hash_type) && hash_type == 0 &&
          Take(body, pos, digest)) {
        mac.blake2sp = digest;
      }
    }
    return mac;
  }

  /// The length of the member's compressed data without the cipher's padding: the compressed
  /// blocks are walked to the one flagged last, decrypting only their headers. A stored member
  /// is its unpacked size. nullopt when the walk fails, which a wrong key makes all but certain.
  std::optional<std::uint64_t> ExactDataSize(const FileHeader& file, const Rar5Keys& keys) const {
    const std::uint64_t size = file.block.data_size;
    if (((file.compression >> 7) & 7) == 0) {
      if ((file.file_flags & kFileSizeUnknown) != 0 || file.unpacked_size > size) {
        return std::nullopt;
      }
      return file.unpacked_size;
    }
    std::uint64_t at = 0;
    for (;;) {
      const std::optional<std::string> head =
          PlainAt(file, keys, at, static_cast<std::size_t>(std::min<std::uint64_t>(6, size - at)));
      if (!head || head->size() < 3) return std::nullopt;
      const auto flags = static_cast<std::uint8_t>((*head)[0]);
      const std::size_t size_bytes = ((flags >> 3) & 3u) + 1;
      if (head->size() < 2 + size_bytes) return std::nullopt;
      std::uint8_t check = 0x5A ^ flags;
      std::uint64_t block_size = 0;
      for (std::size_t i = 0; i < size_bytes; ++i) {
        const auto byte = static_cast<std::uint8_t>((*head)[2 + i]);
        check ^= byte;
        block_size |= std::uint64_t{byte} << (8 * i);
      }
      if (check != static_cast<std::uint8_t>((*head)[1])) return std::nullopt;
      const std::uint64_t end = at + 2 + size_bytes;
      if (block_size > size - end) return std::nullopt;
      at = end + block_size;
      if ((flags & 0x40) != 0) return at;
    }
  }

  /// `count` bytes of a member's decrypted data from `at`: CBC lets any block be decrypted from
  /// the cipher block before it.
  std::optional<std::string> PlainAt(const FileHeader& file, const Rar5Keys& keys, std::uint64_t at,
                                     std::size_t count) const {
    if (count == 0) return std::nullopt;
    const std::uint64_t first = at / 16, last = (at + count - 1) / 16;
    const std::uint64_t from = first == 0 ? 0 : (first - 1) * 16;
    auto bytes = ReadAt(fd_, file.block.data_offset + from,
                        static_cast<std::size_t>((last + 1) * 16 - from));
    if (!bytes) return std::nullopt;
    const std::uint8_t* iv = file.encryption->iv.data();
    std::size_t skip = 0;
    if (first != 0) {
      iv = reinterpret_cast<const std::uint8_t*>(bytes->data());
      skip = 16;
    }
    std::string plain = bytes->substr(skip);
    CbcDecryptor(keys.key.data(), keys.key.size(), iv)
        .Decrypt(reinterpret_cast<const std::uint8_t*>(plain.data()),
                 reinterpret_cast<std::uint8_t*>(plain.data()), plain.size());
    return plain.substr(static_cast<std::size_t>(at - first * 16), count);
  }

  int fd_;
  RarKeyCache& keys_;
  std::uint64_t file_size_;
  bool headers_encrypted_ = false;
  bool solid_ = false;
  Encryption header_crypt_;
  std::uint64_t members_at_ = 0;
  Block main_;
  std::vector<FileHeader> files_;
  std::vector<RarMemberInfo> members_;
};

}  // namespace

std::unique_ptr<RarClearSource> OpenRar5ClearSource(int fd, RarKeyCache& keys) {
  auto source = std::make_unique<Rar5Source>(fd, keys);
  if (!source->Start()) return nullptr;
  return source;
}

}  // namespace svregistration::archive
