// The RAR 1.5 to 4 source of a clear archive: blocks read from each volume (and decrypted when
// the main header says the headers are encrypted), a member's parts in later volumes joined into
// one, file headers rewritten without their salt, encryption and split flags, and member data
// decrypted with AES-128-CBC. RAR 4 has no password check: a wrong password shows only as a
// failed header CRC (encrypted headers) or as a member the decoder cannot decode.
#include <unicode/unistr.h>

#include <cstring>
#include <ctime>
#include <map>

#include "archive/rar/rar_bytes.h"
#include "archive/rar/rar_clear_source.h"

namespace svregistration::archive {

namespace {

constexpr std::string_view kSignature("Rar!\x1A\x07\x00", 7);
constexpr std::size_t kBaseSize = 7;  // CRC, type, flags, size

enum : std::uint8_t { kMain = 0x73, kFile = 0x74, kSubBlock = 0x7A, kEnd = 0x7B };
constexpr std::uint16_t kMainVolume = 0x0001;
constexpr std::uint16_t kMainSolid = 0x0008;
constexpr std::uint16_t kMainNewNaming = 0x0010;
constexpr std::uint16_t kMainEncryptedHeaders = 0x0080;
constexpr std::uint16_t kMainFirstVolume = 0x0100;
constexpr std::uint16_t kEndNextVolume = 0x0001;
constexpr std::uint16_t kFileSplitBefore = 0x0001;
constexpr std::uint16_t kFileSplitAfter = 0x0002;
constexpr std::uint16_t kFileEncrypted = 0x0004;
constexpr std::uint16_t kFileSolid = 0x0010;
constexpr std::uint16_t kFileFolderMask = 0x00E0;
constexpr std::uint16_t kFileLargeSizes = 0x0100;
constexpr std::uint16_t kFileUnicodeName = 0x0200;
constexpr std::uint16_t kFileSalt = 0x0400;
constexpr std::uint16_t kFileExtendedTime = 0x1000;
constexpr std::uint16_t kLongBlock = 0x8000;
constexpr std::size_t kPackSizeAt = 7, kUnpackSizeAt = 11, kHostAt = 15, kCrcAt = 16, kTimeAt = 20,
                      kVersionAt = 24, kMethodAt = 25, kNameSizeAt = 26, kAttributesAt = 28,
                      kLargeSizesAt = 32;
constexpr std::uint8_t kMethodStored = 0x30;
constexpr std::uint8_t kHostUnix = 3;

struct Block {
  std::string header;  // in clear
  std::uint64_t at = 0;
  std::uint8_t type = 0;
  std::uint16_t flags = 0;
  std::uint64_t data_offset = 0, data_size = 0, next = 0;
};

/// One volume's part of a member: its header and where its data lies.
struct Part {
  int fd = -1;
  std::size_t volume = 0;
  Block block;
  std::optional<std::size_t> salt_at;
};

struct FileHeader {
  std::vector<Part> parts;
  std::string name;
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

/// A DOS date and time, in local time as the tools that write them take it.
timespec DosTime(std::uint32_t dos) {
  std::tm tm{};
  tm.tm_sec = static_cast<int>((dos & 0x1F) * 2);
  tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
  tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
  tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
  tm.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
  tm.tm_year = static_cast<int>((dos >> 25) & 0x7F) + 80;
  tm.tm_isdst = -1;
  return {std::mktime(&tm), 0};
}

/// The modification time: the DOS time, refined by the extended time field when there is one
/// (4 bits of flags, then up to 3 bytes of 100 ns units, for the modification time first).
timespec ModificationTime(const std::string& header, std::uint16_t flags, std::size_t ext_at) {
  timespec time = DosTime(Le32(header, kTimeAt));
  if ((flags & kFileExtendedTime) == 0 || ext_at + 2 > header.size()) return time;
  const unsigned mode = Le16(header, ext_at) >> 12;
  if ((mode & 8) == 0) return time;
  const unsigned count = mode & 3;
  if (ext_at + 2 + count > header.size()) return time;
  std::uint32_t units = 0;
  for (unsigned i = 0; i < count; ++i) {
    units |= std::uint32_t{static_cast<std::uint8_t>(header[ext_at + 2 + i])}
             << ((i + 3 - count) * 8);
  }
  if ((mode & 4) != 0) ++time.tv_sec;
  time.tv_nsec = static_cast<long>(units % 10000000) * 100;
  return time;
}

class Rar4Source final : public RarClearSource {
 public:
  Rar4Source(const std::vector<int>& fds, RarKeyCache& keys) : fds_(fds), keys_(keys) {
    for (const int fd : fds_) sizes_.push_back(FileSize(fd));
  }

  bool Start() {
    const std::optional<Block> main = ReadMain(0);
    if (!main) return false;
    main_ = *main;
    headers_encrypted_ = (main->flags & kMainEncryptedHeaders) != 0;
    if (!headers_encrypted_) ReadMembers("");
    return true;
  }

  bool HeadersEncrypted() const override { return headers_encrypted_; }
  const std::vector<RarMemberInfo>& Members() const override { return members_; }
  const std::string& Unread() const override { return unread_; }
  bool Solid() const override { return (main_.flags & kMainSolid) != 0; }

  void ReadMembers(const std::string& password) override {
    files_.clear();
    members_.clear();
    exact_sizes_.clear();
    unread_.clear();
    begins_earlier_ = false;
    if (headers_encrypted_ && password.empty()) return;
    const bool set = (main_.flags & kMainVolume) != 0;
    const std::size_t volumes = set ? fds_.size() : 1;
    for (std::size_t volume = 0; volume < volumes; ++volume) {
      if (!ReadVolume(volume, password)) break;
      if (volume + 1 == volumes && set) unread_ = kVolumesMissing;
    }
    if (unread_.empty() && begins_earlier_) unread_ = kBeginsEarlier;
    for (FileHeader& file : files_) members_.push_back(Describe(file));
  }

  void AppendStart(ClearArchiveStream& stream) override {
    std::string main = main_.header;
    const auto kept = static_cast<std::uint16_t>(
        main_.flags & ~(kMainVolume | kMainNewNaming | kMainEncryptedHeaders | kMainFirstVolume));
    PutLe(main, 3, kept, 2);
    SetCrc(main);
    stream.AppendBytes(std::string(kSignature) + main);
  }

  bool AppendMember(ClearArchiveStream& stream, std::size_t index, const std::string& password,
                    std::optional<RarMacCheck>& mac) override {
    mac.reset();
    const FileHeader& file = files_.at(index);
    if (!members_.at(index).unreadable.empty()) return false;
    const Part& first = file.parts.front();
    if ((first.block.flags & kFileEncrypted) != 0) return AppendEncrypted(stream, file, password);
    std::uint64_t packed = 0;
    for (const Part& part : file.parts) packed += part.block.data_size;
    std::string header = first.block.header;
    if (file.parts.size() > 1) {
      // One member in one piece: the whole packed size, the CRC of the last part (that of the
      // whole file), no split flags.
      if ((first.block.flags & kFileLargeSizes) == 0 && packed > 0xFFFFFFFFu) return false;
      PutLe(header, 3,
            static_cast<std::uint16_t>(first.block.flags & ~(kFileSplitBefore | kFileSplitAfter)),
            2);
      SetPackedSize(header, first.block.flags, packed);
      PutLe(header, kCrcAt, Le32(file.parts.back().block.header, kCrcAt), 4);
      SetCrc(header);
    }
    stream.AppendBytes(std::move(header));
    for (const Part& part : file.parts) {
      stream.AppendRange(
          {part.fd, part.block.data_offset, part.block.data_size, part.block.data_size, {}, {}});
    }
    return true;
  }

  bool AppendStoredData(ClearArchiveStream& stream, std::size_t index,
                        const std::string& password) override {
    const FileHeader& file = files_.at(index);
    const RarMemberInfo& member = members_.at(index);
    if (!member.stored || !member.unreadable.empty()) return false;
    if (!member.encrypted) {
      for (const Part& part : file.parts) {
        stream.AppendRange(
            {part.fd, part.block.data_offset, part.block.data_size, part.block.data_size, {}, {}});
      }
      return true;
    }
    const Part& part = file.parts.front();
    const Rar4Keys* keys = KeysOf(part, password);
    if (keys == nullptr || part.block.data_size % 16 != 0 ||
        file.unpacked_size > part.block.data_size) {
      return false;
    }
    stream.AppendRange({part.fd, part.block.data_offset, part.block.data_size, file.unpacked_size,
                        std::vector<std::uint8_t>(keys->key.begin(), keys->key.end()), keys->iv});
    return true;
  }

  void SetPackedSize(std::size_t index, std::uint64_t size) override {
    exact_sizes_[&files_.at(index)] = size;
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
  static void SetPackedSize(std::string& header, std::uint16_t flags, std::uint64_t size) {
    PutLe(header, kPackSizeAt, size & 0xFFFFFFFF, 4);
    if ((flags & kFileLargeSizes) != 0) PutLe(header, kLargeSizesAt, size >> 32, 4);
  }

  /// The keys of an encrypted part; nullptr without a password or a salt (a member without one
  /// uses an older cipher, which is not read).
  const Rar4Keys* KeysOf(const Part& part, const std::string& password) {
    if (password.empty() || !part.salt_at) return nullptr;
    Rar4Salt salt{};
    std::memcpy(salt.data(), part.block.header.data() + *part.salt_at, salt.size());
    return keys_.Rar4(password, salt);
  }

  bool AppendEncrypted(ClearArchiveStream& stream, const FileHeader& file,
                       const std::string& password) {
    const Part& part = file.parts.front();
    const Block& block = part.block;
    const Rar4Keys* keys = KeysOf(part, password);
    if (keys == nullptr || block.data_size % 16 != 0) return false;
    const bool stored = static_cast<std::uint8_t>(block.header[kMethodAt]) == kMethodStored;
    if (stored && file.unpacked_size > block.data_size) return false;
    // Compressed data keeps the cipher's padding unless its exact size was found; stored data
    // is cut to its size.
    std::uint64_t output = stored ? file.unpacked_size : block.data_size;
    if (const auto exact = exact_sizes_.find(&file); exact != exact_sizes_.end()) {
      output = std::min(output, exact->second);
    }

    std::string header = block.header;
    header.erase(*part.salt_at, sizeof(Rar4Salt));
    PutLe(header, 3, static_cast<std::uint16_t>(block.flags & ~(kFileEncrypted | kFileSalt)), 2);
    PutLe(header, 5, header.size(), 2);
    SetPackedSize(header, block.flags, output);
    SetCrc(header);
    stream.AppendBytes(std::move(header));
    stream.AppendRange({part.fd, block.data_offset, block.data_size, output,
                        std::vector<std::uint8_t>(keys->key.begin(), keys->key.end()), keys->iv});
    return true;
  }

  /// The main header of volume `volume`, after its signature.
  std::optional<Block> ReadMain(std::size_t volume) {
    const auto signature = ReadAt(fds_[volume], 0, kSignature.size());
    if (!signature || *signature != kSignature) return std::nullopt;
    std::optional<Block> main = ReadBlock(volume, kSignature.size(), nullptr);
    if (!main || main->type != kMain) return std::nullopt;
    return main;
  }

  /// Adds the members of one volume. True when the archive goes on in the next.
  bool ReadVolume(std::size_t volume, const std::string& password) {
    const std::optional<Block> main = volume == 0 ? main_ : ReadMain(volume);
    if (!main) {
      unread_ = "volume " + std::to_string(volume + 1) + " of the set is not a RAR volume";
      return false;
    }
    const std::string* key = headers_encrypted_ ? &password : nullptr;
    std::uint64_t at = main->next;
    for (;;) {
      if (at == sizes_[volume]) return (main->flags & kMainVolume) != 0;  // no end block
      std::optional<Block> block = ReadBlock(volume, at, key);
      if (!block) {
        unread_ = kHeaderUnreadable;
        return false;
      }
      at = block->next;
      if (block->type == kEnd) return (block->flags & kEndNextVolume) != 0;
      if (block->type != kFile) continue;
      if (!AddPart(volume, std::move(*block))) {
        unread_ = kHeaderUnreadable;
        return false;
      }
    }
  }

  /// Adds a file header: a new member, or the next part of the last one.
  bool AddPart(std::size_t volume, Block block) {
    std::optional<FileHeader> file = ReadFileHeader(fds_[volume], std::move(block));
    if (!file) return false;
    Part& part = file->parts.front();
    part.volume = volume;
    if ((part.block.flags & kFileSplitBefore) != 0) {
      // A part of a member begun in an earlier volume; one without its beginning is left out.
      if (!files_.empty() && files_.back().name == file->name &&
          (files_.back().parts.back().block.flags & kFileSplitAfter) != 0) {
        files_.back().parts.push_back(std::move(part));
      } else if (files_.empty()) {
        begins_earlier_ = true;
      }
      return true;
    }
    files_.push_back(std::move(*file));
    return true;
  }

  /// The block at `at` of volume `volume`, decrypted with keys from `password` and the salt
  /// before it when given; nullopt when it is truncated, fails its CRC (a wrong password, when
  /// encrypted) or leaves the file.
  std::optional<Block> ReadBlock(std::size_t volume, std::uint64_t at,
                                 const std::string* password) {
    const int fd = fds_[volume];
    const std::uint64_t file_size = sizes_[volume];
    Block block;
    block.at = at;
    std::uint64_t header_end = 0;
    if (password != nullptr) {
      const auto start = ReadAt(fd, at, 8 + 16);
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
      auto header = ReadAt(fd, at + 8, padded);
      if (!header) return std::nullopt;
      Decrypt(*keys, *header);
      header->resize(size);
      block.header = std::move(*header);
      header_end = at + 8 + padded;
    } else {
      const auto start = ReadAt(fd, at, kBaseSize);
      if (!start || Le16(*start, 5) < kBaseSize) return std::nullopt;
      auto header = ReadAt(fd, at, Le16(*start, 5));
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
    if (block.data_size > file_size - std::min(header_end, file_size)) return std::nullopt;
    block.next = header_end + block.data_size;
    return block;
  }

  static void Decrypt(const Rar4Keys& keys, std::string& bytes) {
    CbcDecryptor(keys.key.data(), keys.key.size(), keys.iv.data())
        .Decrypt(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                 reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size());
  }

  static std::optional<FileHeader> ReadFileHeader(int fd, Block block) {
    FileHeader file;
    Part part;
    part.fd = fd;
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
      part.salt_at = name_at + name_size;
    }
    part.block = std::move(block);
    file.parts.push_back(std::move(part));
    return file;
  }

  /// What the walk and the writer need to know of a member.
  static RarMemberInfo Describe(const FileHeader& file) {
    const Part& first = file.parts.front();
    const std::string& header = first.block.header;
    const std::uint16_t flags = first.block.flags;
    RarMemberInfo member;
    member.name = file.name;
    member.encrypted = (flags & kFileEncrypted) != 0;
    member.size = file.unpacked_size;
    member.crc = Le32(file.parts.back().block.header, kCrcAt);
    member.header_offset = first.block.at;
    member.volume = first.volume;
    member.padded = member.encrypted && file.parts.size() == 1 &&
                    static_cast<std::uint8_t>(header[kMethodAt]) != kMethodStored;
    member.packed = first.block.data_size;
    member.parts = file.parts.size();
    const std::uint32_t attributes = Le32(header, kAttributesAt);
    if (static_cast<std::uint8_t>(header[kHostAt]) == kHostUnix) {
      member.folder = (attributes & 0xF000) == 0x4000;
      member.symlink = (attributes & 0xF000) == 0xA000;
      member.perm = attributes & 0777;
    } else {
      member.folder = (attributes & 0x10) != 0;
      member.perm = member.folder ? 0755 : 0644;
    }
    member.folder = member.folder || (flags & kFileFolderMask) == kFileFolderMask;
    const std::size_t name_at = kLargeSizesAt + ((flags & kFileLargeSizes) != 0 ? 8 : 0);
    const std::size_t ext_at =
        name_at + Le16(header, kNameSizeAt) + (first.salt_at ? sizeof(Rar4Salt) : 0);
    member.mtime = ModificationTime(header, flags, ext_at);
    const bool stored = static_cast<std::uint8_t>(header[kMethodAt]) == kMethodStored;
    member.stored = stored;
    member.continues = (flags & kFileSolid) != 0;
    if (!stored && static_cast<std::uint8_t>(header[kVersionAt]) < 20) {
      member.unreadable = "compressed with the RAR 1.5 method, which libunarr does not decode";
    } else if ((file.parts.back().block.flags & kFileSplitAfter) != 0) {
      member.unreadable = "the volume that holds the rest of it is missing";
    } else if (member.encrypted && !first.salt_at) {
      member.unreadable = "encrypted with a cipher older than RAR 3, which is not read";
    } else if (member.encrypted && file.parts.size() > 1) {
      member.unreadable = "an encrypted member that spans volumes, which is not supported";
    }
    return member;
  }

  std::vector<int> fds_;
  std::vector<std::uint64_t> sizes_;
  RarKeyCache& keys_;
  bool headers_encrypted_ = false;
  std::string unread_;
  bool begins_earlier_ = false;
  Block main_;
  std::vector<FileHeader> files_;
  std::vector<RarMemberInfo> members_;
  std::map<const FileHeader*, std::uint64_t> exact_sizes_;
};

}  // namespace

std::unique_ptr<RarClearSource> OpenRar4ClearSource(const std::vector<int>& fds,
                                                    RarKeyCache& keys) {
  if (fds.empty()) return nullptr;
  auto source = std::make_unique<Rar4Source>(fds, keys);
  if (!source->Start()) return nullptr;
  return source;
}

}  // namespace svregistration::archive
