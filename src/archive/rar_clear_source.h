// What the walk over an encrypted RAR archive needs of its format: the member list (read after
// the password when the headers are encrypted) and each member rewritten in clear into the
// archive handed to libarchive. RAR 4 and RAR 5 each have a source of this kind.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/clear_archive_stream.h"
#include "archive/rar_crypto.h"

namespace svregistration::archive {

struct RarMemberInfo {
  std::string name;  ///< the stored path, "/" between folders
  bool encrypted = false;
};

/// The checksums of a member that the archive stores as MACs, to be checked on the extracted
/// bytes (libarchive is handed the member without them).
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
  /// Solid archives go to libarchive as one stream; others one member at a time.
  virtual bool Solid() const = 0;

  /// The signature and the archive's main header, in clear.
  virtual void AppendStart(ClearArchiveStream& stream) = 0;
  /// Member `index` in clear: decrypted with `password` when it is encrypted. False, with
  /// nothing appended, when it cannot be decrypted. `mac` is set when its checksums are MACs.
  virtual bool AppendMember(ClearArchiveStream& stream, std::size_t index,
                            const std::string& password, std::optional<RarMacCheck>& mac) = 0;
  /// The end-of-archive header.
  virtual void AppendEnd(ClearArchiveStream& stream) = 0;
};

/// The source for the single-volume RAR archive open on `fd` (not owned) when it holds
/// encryption (encrypted headers or at least one encrypted member); nullptr for every other
/// file, which libarchive reads directly. `keys` outlives the source.
std::unique_ptr<RarClearSource> OpenRar5ClearSource(int fd, RarKeyCache& keys);
std::unique_ptr<RarClearSource> OpenRar4ClearSource(int fd, RarKeyCache& keys);

/// True for a solid RAR 4 archive, which libarchive does not read, encrypted or not.
bool IsSolidRar4(int fd);

}  // namespace svregistration::archive
