// The walk over a RAR archive that holds encryption: members are listed from the archive's own
// headers (after the password when the headers are encrypted), and each member to extract is
// handed to libarchive in clear, decrypted as libarchive reads it. A member that the password
// does not open is never handed over, so the walk goes on past it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "archive/archive_handle.h"
#include "archive/clear_archive_stream.h"
#include "archive/rar_clear_source.h"
#include "archive/rar_crypto.h"
#include "archive/safe_extractor.h"
#include "platform/unique_fd.h"

namespace svregistration::archive {

class EncryptedRarArchive {
 public:
  /// The archive at `path` when it is a single RAR 4 or RAR 5 volume with encrypted headers or
  /// encrypted members; nullptr for anything else (libarchive reads those directly).
  static std::unique_ptr<EncryptedRarArchive> Open(const std::string& path);
  /// True for a solid RAR 4 archive: libarchive reads none, encrypted or not.
  static bool Unsupported(const std::string& path);
  ~EncryptedRarArchive();
  EncryptedRarArchive(const EncryptedRarArchive&) = delete;
  EncryptedRarArchive& operator=(const EncryptedRarArchive&) = delete;

  /// True when no member can be listed before the password is set.
  bool HeadersEncrypted() const { return source_->HeadersEncrypted(); }
  /// The next member's stored path and whether its data is encrypted; false at the end.
  bool ReadHeader(std::string& name, bool& encrypted);
  /// The password for the members that follow (and for the headers, the first time).
  void SetPassword(const std::string& password);
  /// Extracts the member just read under `destination`. A member that cannot be decrypted, that
  /// fails to extract or whose MAC'd checksums do not hold is not kept.
  void Extract(const std::string& destination);

 private:
  EncryptedRarArchive(platform::UniqueFd fd, std::unique_ptr<RarClearSource> source);
  SafeExtractor& ExtractorFor(const std::string& destination);
  void ExtractAlone(const std::string& destination);
  void ExtractSolid(const std::string& destination);
  void AppendNextSolid(ClearArchiveStream& stream);
  void ExtractEntry(::archive* reader, archive_entry* entry, const std::string& destination,
                    const std::optional<RarMacCheck>& mac);

  platform::UniqueFd fd_;
  RarKeyCache keys_;  // declared before the source, which refers to it
  std::unique_ptr<RarClearSource> source_;
  std::string password_;
  bool members_read_ = false;
  std::size_t next_ = 0;  // the member ReadHeader reports next
  std::optional<SafeExtractor> extractor_;
  std::string extractor_destination_;

  // A solid archive goes to one libarchive reader, members appended as it reads on.
  std::unique_ptr<ClearArchiveStream> solid_stream_;
  ReadHandle solid_reader_;
  std::size_t solid_appended_ = 0;  // members appended to the stream
  std::size_t solid_read_ = 0;      // member headers libarchive has read
  bool solid_ended_ = false;
  bool solid_stopped_without_password_ = false;
  std::vector<std::optional<RarMacCheck>> solid_macs_;
};

}  // namespace svregistration::archive
