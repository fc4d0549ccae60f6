// The one reader of RAR 5 block headers. The format is public: after an 8-byte signature, blocks
// of a CRC-32, a header size, a type and flags (all but the CRC variable-length integers), the
// header's own fields, an optional extra area of records, and an optional data area after it.
// Headers may be encrypted (AES-256-CBC, each behind its own IV).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/rar/rar_crypto.h"

namespace svregistration::archive::rar5 {

/// Copies the next N bytes of `data` at `pos` into `out` and moves `pos` past them; false when
/// fewer are left.
template <std::size_t N>
bool Take(std::string_view data, std::size_t& pos, std::array<std::uint8_t, N>& out) {
  if (data.size() - pos < N) return false;
  std::memcpy(out.data(), data.data() + pos, N);
  pos += N;
  return true;
}

inline constexpr std::string_view kSignature("Rar!\x1A\x07\x01\x00", 8);
/// A header size is a variable-length integer of at most 3 bytes: headers are below 2 MiB.
inline constexpr std::uint64_t kMaxHeaderSize = std::uint64_t{1} << 21;

enum : std::uint64_t { kMain = 1, kFile = 2, kService = 3, kCrypt = 4, kEnd = 5 };
// Flags of every block.
inline constexpr std::uint64_t kHasExtra = 0x01;
inline constexpr std::uint64_t kHasData = 0x02;
inline constexpr std::uint64_t kContinued = 0x08;  ///< data continued from the last volume
// Flags of the main header.
inline constexpr std::uint64_t kArchiveVolume = 0x01;
inline constexpr std::uint64_t kArchiveHasVolumeNumber = 0x02;
inline constexpr std::uint64_t kArchiveSolid = 0x04;
// Flags of a file header.
inline constexpr std::uint64_t kFileHasTime = 0x02;
inline constexpr std::uint64_t kFileHasCrc = 0x04;
inline constexpr std::uint64_t kFileSizeUnknown = 0x08;
// Flags of the end of archive.
inline constexpr std::uint64_t kEndNotLastVolume = 0x01;
// Record types.
inline constexpr std::uint64_t kRecordLocator = 0x01;     ///< in the main header
inline constexpr std::uint64_t kRecordEncryption = 0x01;  ///< in a file header
inline constexpr std::uint64_t kRecordHash = 0x02;
inline constexpr std::uint64_t kRecordVersion = 0x04;
// Flags of the encryption fields.
inline constexpr std::uint64_t kCryptHasCheck = 0x01;
inline constexpr std::uint64_t kCryptMacChecksums = 0x02;

/// A block header in clear, from its CRC on, and where its parts lie.
struct Block {
  std::string header;
  std::uint64_t type = 0, flags = 0, extra_size = 0, data_size = 0;
  std::size_t fields_at = 0;  ///< the type's own fields
  std::uint64_t data_offset = 0;
  std::uint64_t next = 0;  ///< the next block header
  std::size_t ExtraAt() const { return header.size() - static_cast<std::size_t>(extra_size); }
};

struct Record {
  std::size_t at = 0, size = 0;  ///< the whole record, its size vint included
  std::uint64_t type = 0;
  std::size_t body_at = 0;  ///< after the type
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
  std::string name;  ///< ";n" added for a member with a version record, as libarchive names it
  std::size_t flags_end = 0, fields_end = 0;
  std::optional<std::size_t> crc_at;
  std::vector<Record> records;
  std::optional<Encryption> encryption;
};

/// The block header at `at` of the file open on `fd` (of `file_size` bytes), decrypted with
/// `keys` when given; nullopt when it is truncated, too large, fails its CRC (a wrong password,
/// when encrypted) or its data leaves the file.
std::optional<Block> ReadBlock(int fd, std::uint64_t file_size, std::uint64_t at,
                               const Rar5Keys* keys);
/// The records of the block's extra area.
std::vector<Record> ReadRecords(const Block& block);
/// The encryption fields shared by the archive encryption header and the file record.
bool ReadCryptFields(std::string_view data, std::size_t pos, bool with_iv, Encryption& crypt);
/// The file header that `block` holds; nullopt when its fields cannot be read.
std::optional<FileHeader> ReadFileHeader(Block block);
/// The flags of a main header; nullopt when they cannot be read.
std::optional<std::uint64_t> ArchiveFlags(const Block& main);
/// A header of `body` (type, flags and the rest) with its size and CRC in front.
std::string WithCrc(const std::string& body);

/// What the file headers of a volume set say: each member's name and whether it is encrypted.
struct MemberSummary {
  std::string name;
  bool encrypted = false;
};
/// The file headers of the RAR 5 archive spread over the volumes open on `fds`, in order,
/// leaving out headers that continue a member from an earlier volume. The walk stops at the end
/// of the archive, at an archive encryption header and at the first header it cannot read,
/// returning what came before; `unread` says why when it did not reach the end of the archive.
/// A file that is not a RAR 5 archive gives an empty list.
std::vector<MemberSummary> ReadMemberSummaries(const std::vector<int>& fds, std::string& unread);

}  // namespace svregistration::archive::rar5
