// What the walk over a RAR archive needs of its format: the member list (read after the password
// when the headers are encrypted) and each member rewritten in clear into the archive handed to
// a decoder. RAR 4 and RAR 5 each have a source of this kind.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/rar/clear_archive_stream.h"
#include "archive/rar/rar_crypto.h"

namespace svregistration::archive {

/// Why a walk over member headers stopped before the end of the archive.
inline constexpr const char* kHeaderUnreadable =
    "a member header after the last one listed cannot be read";
inline constexpr const char* kVolumesMissing = "the archive goes on in volumes that were not found";
inline constexpr const char* kBeginsEarlier =
    "its first member begins in an earlier volume, which was not given";

struct RarMemberInfo {
  std::string name;  ///< the stored path, "/" between folders
  bool encrypted = false;
  // What a decoder that hands over data only needs to write the member (RAR 4).
  bool folder = false;
  bool symlink = false;
  mode_t perm = 0644;
  std::optional<timespec> mtime;
  std::uint64_t size = 0;           ///< unpacked
  std::uint32_t crc = 0;            ///< CRC-32 of the unpacked data
  std::uint64_t header_offset = 0;  ///< where its (first) header lies in its volume
  std::size_t volume = 0;           ///< the volume of its (first) header
  std::size_t parts = 1;            ///< the volumes it spans
  bool stored = false;              ///< kept as it is, not compressed
  bool continues = false;           ///< decoded from the state the member before it left (solid)
  /// Encrypted compressed data whose packed size (`packed`) includes the cipher's padding.
  bool padded = false;
  std::uint64_t packed = 0;
  /// Why the member cannot be handed over whatever the password (empty when it can).
  std::string unreadable;
};

/// The checksums of a member that the archive stores as MACs, to be checked on the extracted
/// bytes (the decoder is handed the member without them).
struct RarMacCheck {
  Digest32 hash_key{};
  std::optional<std::uint32_t> crc;
  std::optional<Digest32> blake2sp;
};

class RarClearSource {
 public:
  virtual ~RarClearSource() = default;

  /// True when the member headers themselves are encrypted: ReadMembers needs the password.
  virtual bool HeadersEncrypted() const = 0;
  /// Reads the member headers, decrypting them with `password` when they are encrypted. Stops
  /// at the first header that cannot be read or decrypted (a wrong password) with what came
  /// before.
  virtual void ReadMembers(const std::string& password) = 0;
  virtual const std::vector<RarMemberInfo>& Members() const = 0;
  /// Why the member walk stopped before the end of the archive; empty when it reached it.
  virtual const std::string& Unread() const = 0;
  /// Solid archives go to the decoder as one stream; others one member at a time.
  virtual bool Solid() const = 0;

  /// The signature and the archive's main header, in clear.
  virtual void AppendStart(ClearArchiveStream& stream) = 0;
  /// Member `index` in clear: decrypted with `password` when it is encrypted. False, with
  /// nothing appended, when it cannot be decrypted. `mac` is set when its checksums are MACs.
  virtual bool AppendMember(ClearArchiveStream& stream, std::size_t index,
                            const std::string& password, std::optional<RarMacCheck>& mac) = 0;
  /// The end-of-archive header.
  virtual void AppendEnd(ClearArchiveStream& stream) = 0;
  /// The data of stored member `index` alone, in clear (decrypted with `password` when it is
  /// encrypted); false, with nothing appended, when it cannot be.
  virtual bool AppendStoredData(ClearArchiveStream& /*stream*/, std::size_t /*index*/,
                                const std::string& /*password*/) {
    return false;
  }
  /// Hands member `index` on with `size` bytes of its data: a padded member's size without the
  /// padding, once found by decoding.
  virtual void SetPackedSize(std::size_t /*index*/, std::uint64_t /*size*/) {}
};

/// The source for the single-volume RAR 5 archive open on `fd` (not owned); nullptr for any
/// other file. `keys` outlives the source.
std::unique_ptr<RarClearSource> OpenRar5ClearSource(int fd, RarKeyCache& keys);
/// The source for the RAR 1.5 to 4 archive whose volumes are open on `fds` (not owned, one for a
/// single archive); nullptr when the first is no such archive.
std::unique_ptr<RarClearSource> OpenRar4ClearSource(const std::vector<int>& fds, RarKeyCache& keys);

}  // namespace svregistration::archive
