// The RAR 4 source of a clear archive: blocks read (and decrypted when the main header says the
// headers are encrypted), file headers rewritten without their salt and encryption flags, and
// member data decrypted with AES-128-CBC. RAR 4 has no password check: a wrong password shows
// only as a failed header CRC (encrypted headers) or a failed member CRC, which libarchive checks.
#include <unicode/unistr.h>

#include <cstring>

#include "archive/rar_bytes.h"
#include "archive/rar_clear_source.h"

namespace svregistration::archive {

namespace {

constexpr std::string_view kSignature("Rar!\x1A\x07\x00", 7);
constexpr std::size_t kBaseSize = 7;  // CRC, type, flags, size

enum : std::uint8_t { kMain = 0x73, kFile = 0x74, kSubBlock = 0x7A, kEnd = 0x7B };
constexpr std::uint16_t kMainVolume = 0x0001;
constexpr std::uint16_t kMainSolid = 0x0008;
constexpr std::uint16_t kMainEncryptedHeaders = 0x0080;
constexpr std::uint16_t kFileEncrypted = 0x0004;
constexpr std::uint16_t kFileContinued = 0x0001;
constexpr std::uint16_t kFileLargeSizes = 0x0100;
constexpr std::uint16_t kFileUnicodeName = 0x0200;
constexpr std::uint16_t kFileSalt = 0x0400;
constexpr std::uint16_t kLongBlock = 0x8000;
constexpr std::size_t kPackSizeAt = 7, kUnpackSizeAt = 11, kMethodAt = 25, kNameSizeAt = 26;
constexpr std::size_t kLargeSizesAt = 32;
constexpr std::uint8_t kMethodStored = 0x30;

struct Block {
  std::string header;  // in clear
  std::uint8_t type = 0;
  std::uint16_t flags = 0;
  std::uint64_t data_offset = 0, data_size = 0, next = 0;
};

struct FileHeader {
  Block block;
  std::string name;
  std::optional<std::size_t> salt_at;
  std::uint64_t unpacked_size = 0;
};

/// The name of a header with a Unicode name: the plain name, a NUL, then the Unicode name coded
/// against the plain one (two flag bits a character: a byte with high byte 0, a byte with the
/// common high byte, two bytes, or a run copied from the plain name with a correction).
std::string UnicodeName(std::string_view stored) {
  const std::size_t nul = stored.find('\0');
  const std::string_view plain = stored.substr(0, nul);
  if (nul == std::string_view::npos) return std::string(stored);  // UTF-8 already
  const std::string_view coded = stored.substr(nul + 1);
  auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(coded[at]); };
  icu::UnicodeString name;
  std::size_t pos = 1;
  unsigned flags = 0, flag_bits = 0;
  const unsigned high = coded.empty() ? 0 : byte(0);
  while (pos < coded.size()) {
    if (flag_bits == 0) {
      flags = byte(pos++);
      flag_bits = 8;
      if (pos >= coded.size()) break;
    }
    flag_bits -= 2;
    switch ((flags >> flag_bits) & 3) {
      case 0:
        name.append(static_cast<char16_t>(byte(pos++)));
        break;
      case 1:
        name.append(static_cast<char16_t>(byte(pos++) | (high << 8)));
        break;
      case 2:
        if (pos + 1 >= coded.size()) return std::string(plain);
        name.append(static_cast<char16_t>(byte(pos) | (byte(pos + 1) << 8)));
        pos += 2;
        break;
      default: {
        unsigned length = byte(pos++);
        const bool corrected = (length & 0x80) != 0;
        if (corrected && pos >= coded.size()) return std::string(plain);
        const unsigned correction = corrected ? byte(pos++) : 0;
        for (length = (length & 0x7F) + 2; length > 0; --length) {
          const auto at = static_cast<std::size_t>(name.length());
          if (at >= plain.size()) break;
          const unsigned c = static_cast<std::uint8_t>(plain[at]);
          name.append(
              static_cast<char16_t>(corrected ? ((c + correction) & 0xFF) | (high << 8) : c));
        }
      }
    }
  }
  std::string utf8;
  return name.toUTF8String(utf8);
}

void SetCrc(std::string& header) {
  PutLe(header, 0, Crc32(std::string_view(header).substr(2)) & 0xFFFF, 2);
}

class Rar4Source final : public RarClearSource {
 public:
  Rar4Source(int fd, RarKeyCache& keys) : fd_(fd), keys_(keys), file_size_(FileSize(fd)) {}

  bool Start() {
    const auto signature = ReadAt(fd_, 0, kSignature.size());
    if (!signature || *signature != kSignature) return false;
    const std::optional<Block> main = ReadBlock(kSignature.size(), nullptr);
    if (!main || main->type != kMain || (main->flags & (kMainVolume | kMainSolid)) != 0) {
      return false;
    }
    main_ = *main;
    members_at_ = main->next;
    headers_encrypted_ = (main->flags & kMainEncryptedHeaders) != 0;
    if (headers_encrypted_) return true;
    ReadMembers("");
    for (const RarMemberInfo& member : members_) {
      if (member.encrypted) return true;
    }
    return false;
  }

  bool HeadersEncrypted() const override { return headers_encrypted_; }
  const std::vector<RarMemberInfo>& Members() const override { return members_; }
  bool Solid() const override { return false; }

  void ReadMembers(const std::string& password) override {
    files_.clear();
    members_.clear();
    if (headers_encrypted_ && password.empty()) return;
    std::uint64_t at = members_at_;
    while (std::optional<Block> block = ReadBlock(at, headers_encrypted_ ? &password : nullptr)) {
      at = block->next;
      if (block->type == kEnd) break;
      if (block->type != kFile || (block->flags & kFileContinued) != 0) continue;
      std::optional<FileHeader> file = ReadFileHeader(std::move(*block));
      if (!file) break;
      members_.push_back({file->name, (file->block.flags & kFileEncrypted) != 0});
      files_.push_back(std::move(*file));
    }
  }

  void AppendStart(ClearArchiveStream& stream) override {
    std::string main = main_.header;
    PutLe(main, 3, static_cast<std::uint16_t>(main_.flags & ~kMainEncryptedHeaders), 2);
    SetCrc(main);
    stream.AppendBytes(std::string(kSignature) + main);
  }

  bool AppendMember(ClearArchiveStream& stream, std::size_t index, const std::string& password,
                    std::optional<RarMacCheck>& mac) override {
    mac.reset();
    const FileHeader& file = files_.at(index);
    const Block& block = file.block;
    if ((block.flags & kFileEncrypted) == 0) {
      stream.AppendBytes(block.header);
      stream.AppendRange({block.data_offset, block.data_size, block.data_size, {}, {}});
      return true;
    }
    // Without a salt the member uses an older cipher, which is not read.
    if (password.empty() || !file.salt_at || block.data_size % 16 != 0) return false;
    Rar4Salt salt{};
    std::memcpy(salt.data(), block.header.data() + *file.salt_at, salt.size());
    const Rar4Keys* found = keys_.Rar4(password, salt);
    if (found == nullptr) return false;
    const Rar4Keys& keys = *found;
    const bool stored = static_cast<std::uint8_t>(block.header[kMethodAt]) == kMethodStored;
    if (stored && file.unpacked_size > block.data_size) return false;
    // Compressed data may keep the cipher's padding; stored data is cut to its size.
    const std::uint64_t output = stored ? file.unpacked_size : block.data_size;

    std::string header = block.header;
    header.erase(*file.salt_at, salt.size());
    PutLe(header, 3, static_cast<std::uint16_t>(block.flags & ~(kFileEncrypted | kFileSalt)), 2);
    PutLe(header, 5, header.size(), 2);
    PutLe(header, kPackSizeAt, output & 0xFFFFFFFF, 4);
    if ((block.flags & kFileLargeSizes) != 0) PutLe(header, kLargeSizesAt, output >> 32, 4);
    SetCrc(header);
    stream.AppendBytes(std::move(header));
    stream.AppendRange({block.data_offset, block.data_size, output,
                        std::vector<std::uint8_t>(keys.key.begin(), keys.key.end()), keys.iv});
    return true;
  }

  void AppendEnd(ClearArchiveStream& stream) override {
    std::string end(kBaseSize, '\0');
    end[2] = static_cast<char>(kEnd);
    PutLe(end, 3, 0x4000, 2);
    PutLe(end, 5, kBaseSize, 2);
    SetCrc(end);
    stream.AppendBytes(std::move(end));
  }

 private:
  /// The block at `at`, decrypted with keys from `password` and the salt before it when given;
  /// nullopt when it is truncated, fails its CRC (a wrong password, when encrypted) or leaves
  /// the file.
  std::optional<Block> ReadBlock(std::uint64_t at, const std::string* password) {
    Block block;
    std::uint64_t header_end = 0;
    if (password != nullptr) {
      const auto start = ReadAt(fd_, at, 8 + 16);
      if (!start) return std::nullopt;
      Rar4Salt salt{};
      std::memcpy(salt.data(), start->data(), salt.size());
      const Rar4Keys* keys = keys_.Rar4(*password, salt);
      if (keys == nullptr) return std::nullopt;
      std::string first = start->substr(8);
      Decrypt(*keys, first);
      const std::size_t size = Le16(first, 5);
      if (size < kBaseSize) return std::nullopt;
      const std::size_t padded = (size + 15) / 16 * 16;
      auto header = ReadAt(fd_, at + 8, padded);
      if (!header) return std::nullopt;
      Decrypt(*keys, *header);
      header->resize(size);
      block.header = std::move(*header);
      header_end = at + 8 + padded;
    } else {
      const auto start = ReadAt(fd_, at, kBaseSize);
      if (!start || Le16(*start, 5) < kBaseSize) return std::nullopt;
      auto header = ReadAt(fd_, at, Le16(*start, 5));
      if (!header) return std::nullopt;
      block.header = std::move(*header);
      header_end = at + block.header.size();
    }
    const std::string& header = block.header;
    if ((Crc32(std::string_view(header).substr(2)) & 0xFFFF) != Le16(header, 0)) {
      return std::nullopt;
    }
    block.type = static_cast<std::uint8_t>(header[2]);
    block.flags = Le16(header, 3);
    if (block.type == kFile || block.type == kSubBlock || (block.flags & kLongBlock) != 0) {
      if (header.size() < kPackSizeAt + 4) return std::nullopt;
      block.data_size = Le32(header, kPackSizeAt);
      if ((block.type == kFile || block.type == kSubBlock) &&
          (block.flags & kFileLargeSizes) != 0) {
        if (header.size() < kLargeSizesAt + 8) return std::nullopt;
        block.data_size |= std::uint64_t{Le32(header, kLargeSizesAt)} << 32;
      }
    }
    block.data_offset = header_end;
    if (block.data_size > file_size_ - std::min(header_end, file_size_)) return std::nullopt;
    block.next = header_end + block.data_size;
    return block;
  }

  static void Decrypt(const Rar4Keys& keys, std::string& bytes) {
    CbcDecryptor(keys.key.data(), keys.key.size(), keys.iv.data())
        .Decrypt(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                 reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
  }

  static std::optional<FileHeader> ReadFileHeader(Block block) {
    FileHeader file;
    const std::string& header = block.header;
    if (header.size() < kLargeSizesAt) return std::nullopt;
    file.unpacked_size = Le32(header, kUnpackSizeAt);
    std::size_t name_at = kLargeSizesAt;
    if ((block.flags & kFileLargeSizes) != 0) {
      file.unpacked_size |= std::uint64_t{Le32(header, kLargeSizesAt + 4)} << 32;
      name_at += 8;
    }
    const std::size_t name_size = Le16(header, kNameSizeAt);
    if (name_at + name_size > header.size()) return std::nullopt;
    file.name = header.substr(name_at, name_size);
    if ((block.flags & kFileUnicodeName) != 0) file.name = UnicodeName(file.name);
    for (char& c : file.name) {
      if (c == '\\') c = '/';
    }
    if ((block.flags & kFileSalt) != 0) {
      if (name_at + name_size + sizeof(Rar4Salt) > header.size()) return std::nullopt;
      file.salt_at = name_at + name_size;
    }
    file.block = std::move(block);
    return file;
  }

  int fd_;
  RarKeyCache& keys_;
  std::uint64_t file_size_;
  bool headers_encrypted_ = false;
  Block main_;
  std::uint64_t members_at_ = 0;
  std::vector<FileHeader> files_;
  std::vector<RarMemberInfo> members_;
};

}  // namespace

bool IsSolidRar4(int fd) {
  const auto start = ReadAt(fd, 0, kSignature.size() + kBaseSize);
  return start && start->substr(0, kSignature.size()) == kSignature &&
         static_cast<std::uint8_t>((*start)[kSignature.size() + 2]) == kMain &&
         (Le16(*start, kSignature.size() + 3) & kMainSolid) != 0;
}

std::unique_ptr<RarClearSource> OpenRar4ClearSource(int fd, RarKeyCache& keys) {
  auto source = std::make_unique<Rar4Source>(fd, keys);
  if (!source->Start()) return nullptr;
  return source;
}

}  // namespace svregistration::archive
