// The RAR 5 source of a clear archive: block headers read (and decrypted when the archive
// encrypts them), the main header rewritten without what libarchive cannot read (a locator,
// bytes after its fields), file headers without their encryption records, member data decrypted
// with AES-256-CBC and cut to its exact length. Blocks of other kinds are left out.
#include <array>
#include <cstring>

#include "archive/rar/rar5_blocks.h"
#include "archive/rar/rar_bytes.h"
#include "archive/rar/rar_clear_source.h"

namespace svregistration::archive {

namespace {

using namespace rar5;

class Rar5Source final : public RarClearSource {
 public:
  Rar5Source(int fd, RarKeyCache& keys) : fd_(fd), keys_(keys), file_size_(FileSize(fd)) {}

  /// Reads the signature and the first header. False when this is no RAR 5 archive for us.
  bool Start() {
    const auto signature = ReadAt(fd_, 0, kSignature.size());
    if (!signature || *signature != kSignature) return false;
    const std::optional<Block> first = ReadBlock(fd_, file_size_, kSignature.size(), nullptr);
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
    return true;
  }

  bool HeadersEncrypted() const override { return headers_encrypted_; }
  const std::vector<RarMemberInfo>& Members() const override { return members_; }
  const std::string& Unread() const override { return unread_; }
  bool Solid() const override { return solid_; }

  void ReadMembers(const std::string& password) override {
    files_.clear();
    members_.clear();
    unread_ = kHeaderUnreadable;
    const Rar5Keys* header_keys = nullptr;
    std::uint64_t at = members_at_;
    if (headers_encrypted_) {
      if (password.empty()) return;
      header_keys = keys_.Rar5(password, header_crypt_.salt, header_crypt_.kdf_count);
      if (header_keys == nullptr) return;
      if (header_crypt_.check && *header_crypt_.check != header_keys->check) return;
      const std::optional<Block> main = ReadBlock(fd_, file_size_, at, header_keys);
      if (!main || main->type != kMain || !TakeMain(*main)) return;
      at = main->next;
    }
    while (std::optional<Block> block = ReadBlock(fd_, file_size_, at, header_keys)) {
      at = block->next;
      if (block->type == kEnd) {
        unread_.clear();
        break;
      }
      if (block->type != kFile || (block->flags & kContinued) != 0) continue;
      std::optional<FileHeader> file = ReadFileHeader(std::move(*block));
      if (!file) break;
      RarMemberInfo member;
      member.name = file->name;
      member.encrypted = file->encryption.has_value();
      members_.push_back(std::move(member));
      files_.push_back(std::move(*file));
    }
  }

  void AppendStart(ClearArchiveStream& stream) override {
    // Only the archive flags (and the volume number they announce): a locator is of no use in
    // the rewritten archive, and bytes after the fields are more than libarchive reads.
    std::string body;
    AppendVint(body, kMain);
    AppendVint(body, main_.flags & ~(kHasExtra | kHasData));
    std::size_t pos = main_.fields_at;
    std::uint64_t value = 0;
    ReadVint(main_.header, pos, value);
    AppendVint(body, value);
    if ((value & kArchiveHasVolumeNumber) != 0 && ReadVint(main_.header, pos, value)) {
      AppendVint(body, value);
    }
    stream.AppendBytes(std::string(kSignature) + WithCrc(body));
  }

  bool AppendMember(ClearArchiveStream& stream, std::size_t index, const std::string& password,
                    std::optional<RarMacCheck>& mac) override {
    mac.reset();
    const FileHeader& file = files_.at(index);
    const Block& block = file.block;
    if (!file.encryption) {
      stream.AppendBytes(block.header);
      stream.AppendRange({-1, block.data_offset, block.data_size, block.data_size, {}, {}});
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
    stream.AppendRange({-1, block.data_offset, block.data_size, *exact,
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
  bool TakeMain(const Block& main) {
    const std::optional<std::uint64_t> archive_flags = ArchiveFlags(main);
    if (!archive_flags || (*archive_flags & kArchiveVolume) != 0) return false;
    solid_ = (*archive_flags & kArchiveSolid) != 0;
    main_ = main;
    return true;
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
  std::string unread_;
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
