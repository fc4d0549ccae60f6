// RAR 1.5 to 4 through libunarr. unarr reads a file or a memory block, and hands over data only:
// the member list, folders, links, modes and times come from our own header reader, and unarr
// is given an archive in clear that holds compressed file members only. Stored members need no
// decoder: their data is read (and decrypted) straight from the volumes. A member of one volume
// that needs no decryption is decoded from the archive file itself; any other is first written in
// clear to an anonymous memory file (memfd): one member at a time when the archive is not solid,
// every member when it is, since a solid member decodes only after those before it. Plaintext never
// lands on disk. The CRC of every member is checked here as its data goes by. What libunarr prints
// to stderr by itself while it decodes is kept from it (unarr_diagnostics.h).
#include <archive_entry.h>
#include <sys/mman.h>
#include <unarr.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "archive/rar/rar_reader.h"
#include "archive/rar/unarr_diagnostics.h"

namespace svregistration::archive {

namespace {

constexpr std::size_t kBlockSize = 64 * 1024;
/// The longest link target read (the kernel's PATH_MAX).
constexpr std::uint64_t kMaxLinkTarget = 4096;

struct StreamCloser {
  void operator()(ar_stream* stream) const noexcept { ar_close(stream); }
};
struct ArchiveCloser {
  void operator()(ar_archive* archive) const noexcept { ar_close_archive(archive); }
};

/// An archive open in unarr, over a file named through the descriptor that holds it.
struct UnarrArchive {
  os::UniqueFd memory;  // the memory file it reads, when it reads one
  std::unique_ptr<ar_stream, StreamCloser> stream;
  std::unique_ptr<ar_archive, ArchiveCloser> archive;

  bool Open(int fd) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    stream.reset(ar_open_file(self.c_str()));
    if (stream) archive.reset(ar_open_rar_archive(stream.get()));
    return archive != nullptr;
  }
};

/// A member's data from unarr, a block at a time, checked against its CRC at the end.
class UnarrData final : public MemberData {
 public:
  UnarrData(ar_archive* archive, const RarMemberInfo& member)
      : archive_(archive), member_(member), buffer_(kBlockSize), crc_(crc32(0L, Z_NULL, 0)) {}

  int Next(const void*& data, std::size_t& size, la_int64_t& offset) override {
    const std::uint64_t left = member_.size - done_;
    if (left == 0) {
      if (static_cast<std::uint32_t>(crc_) == member_.crc) return ARCHIVE_EOF;
      error_ = "its data does not match its CRC";
      return ARCHIVE_FATAL;
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer_.size()));
    if (!ar_entry_uncompress(archive_, buffer_.data(), count)) {
      error_ = "its data cannot be decoded";
      return ARCHIVE_FATAL;
    }
    crc_ = crc32(crc_, buffer_.data(), static_cast<uInt>(count));
    data = buffer_.data();
    size = count;
    offset = static_cast<la_int64_t>(done_);
    done_ += count;
    return ARCHIVE_OK;
  }

  std::string ErrorText() override {
    // RAR 4 has no password check: data that does not come out right after a password was used
    // is what a wrong password gives.
    return member_.encrypted ? "wrong password (" + error_ + " with it)" : error_;
  }

  /// Decodes the rest of the member, keeping nothing. False when it does not come out right.
  bool Drain() {
    const void* data = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    int status = ARCHIVE_OK;
    while ((status = Next(data, size, offset)) == ARCHIVE_OK) {
    }
    return status == ARCHIVE_EOF;
  }

 private:
  ar_archive* archive_;
  const RarMemberInfo& member_;
  std::vector<unsigned char> buffer_;
  uLong crc_;
  std::uint64_t done_ = 0;
  std::string error_;
};

/// The data of a stored member, read in clear from the volumes, checked against its CRC.
class StoredData final : public MemberData {
 public:
  StoredData(ClearArchiveStream& stream, const RarMemberInfo& member)
      : stream_(stream), member_(member), crc_(crc32(0L, Z_NULL, 0)) {}

  int Next(const void*& data, std::size_t& size, la_int64_t& offset) override {
    const la_ssize_t got = stream_.Next(&data, error_);
    if (got < 0) return ARCHIVE_FATAL;
    if (got == 0) {
      if (done_ == member_.size && static_cast<std::uint32_t>(crc_) == member_.crc) {
        return ARCHIVE_EOF;
      }
      error_ = member_.encrypted ? "wrong password (its data does not match its CRC with it)"
                                 : "its data does not match its CRC";
      return ARCHIVE_FATAL;
    }
    crc_ = crc32(crc_, static_cast<const Bytef*>(data), static_cast<uInt>(got));
    size = static_cast<std::size_t>(got);
    offset = static_cast<la_int64_t>(done_);
    done_ += size;
    return ARCHIVE_OK;
  }
  std::string ErrorText() override { return error_; }

 private:
  ClearArchiveStream& stream_;
  const RarMemberInfo& member_;
  uLong crc_;
  std::uint64_t done_ = 0;
  std::string error_;
};

/// A member with no data to hand over (folders, links).
class NoData final : public MemberData {
 public:
  int Next(const void*&, std::size_t& size, la_int64_t&) override {
    size = 0;
    return ARCHIVE_EOF;
  }
  std::string ErrorText() override { return {}; }
};

struct EntryDeleter {
  void operator()(archive_entry* entry) const noexcept { archive_entry_free(entry); }
};

class Rar4UnarrReader final : public RarReader {
 public:
  Rar4UnarrReader(RarVolumeSet volumes, std::unique_ptr<RarClearSource> source,
                  std::unique_ptr<RarKeyCache> keys)
      : volumes_(std::move(volumes)), keys_(std::move(keys)), source_(std::move(source)) {}

  bool HeadersEncrypted() const override { return source_->HeadersEncrypted(); }
  void ReadMembers(const std::string& password) override { source_->ReadMembers(password); }
  const std::vector<RarMemberInfo>& Members() const override { return source_->Members(); }
  const std::string& Unread() const override { return source_->Unread(); }

  void Extract(std::size_t index, const std::string& password, SafeExtractor& extractor,
               ReportBuilder& report) override {
    const RarMemberInfo& member = Members().at(index);
    if (!member.unreadable.empty()) return report.Reason(member.unreadable);
    std::unique_ptr<archive_entry, EntryDeleter> entry(archive_entry_new());
    archive_entry_set_pathname_utf8(entry.get(), member.name.c_str());
    archive_entry_set_perm(entry.get(), member.perm);
    if (member.mtime) {
      archive_entry_set_mtime(entry.get(), member.mtime->tv_sec, member.mtime->tv_nsec);
    }
    NoData none;
    if (member.folder) {
      archive_entry_set_filetype(entry.get(), AE_IFDIR);
      extractor.Extract(none, entry.get());
      return;
    }
    if (member.stored) {
      ClearArchiveStream stream(volumes_.files.at(0).get());
      if (!source_->AppendStoredData(stream, index, password)) {
        return report.Reason(member.encrypted ? "wrong password" : "its data cannot be read");
      }
      StoredData data(stream, member);
      return Write(data, member, entry.get(), extractor, report);
    }
    // libunarr's own lines stay off stderr while it reads the member.
    UnarrDiagnosticsHeld quiet;
    std::string reason;
    ar_archive* archive = Position(index, password, reason);
    if (archive == nullptr) return report.Reason(reason);
    UnarrData data(archive, member);
    Write(data, member, entry.get(), extractor, report);
  }

 private:
  /// Writes a file or link member whose data comes from `data`.
  static void Write(MemberData& data, const RarMemberInfo& member, archive_entry* entry,
                    SafeExtractor& extractor, ReportBuilder& report) {
    if (!member.symlink) {
      archive_entry_set_filetype(entry, AE_IFREG);
      archive_entry_set_size(entry, static_cast<la_int64_t>(member.size));
      extractor.Extract(data, entry);
      return;
    }
    std::string target;
    if (!ReadAll(data, member.size, target)) return report.Reason(data.ErrorText());
    archive_entry_set_filetype(entry, AE_IFLNK);
    archive_entry_set_symlink_utf8(entry, target.c_str());
    NoData none;
    extractor.Extract(none, entry);
  }

  static bool ReadAll(MemberData& data, std::uint64_t size, std::string& text) {
    if (size > kMaxLinkTarget) return false;
    const void* block = nullptr;
    std::size_t count = 0;
    la_int64_t offset = 0;
    int status = ARCHIVE_OK;
    while ((status = data.Next(block, count, offset)) == ARCHIVE_OK) {
      text.append(static_cast<const char*>(block), count);
    }
    return status == ARCHIVE_EOF;
  }

  /// unarr placed at the start of member `index`'s data; nullptr with `reason` when it cannot be.
  ar_archive* Position(std::size_t index, const std::string& password, std::string& reason) {
    const RarMemberInfo& member = Members()[index];
    if (source_->Solid()) return PositionSolid(index, password, reason);
    if (!member.encrypted && member.parts == 1 && !source_->HeadersEncrypted()) {
      // Straight from the archive file.
      if (!direct_.archive || direct_volume_ != member.volume) {
        direct_ = UnarrArchive();
        direct_volume_ = member.volume;
        if (!direct_.Open(volumes_.files.at(member.volume).get())) {
          reason = "libunarr cannot open the archive";
          return nullptr;
        }
      }
      if (!ar_parse_entry_at(direct_.archive.get(), static_cast<off64_t>(member.header_offset))) {
        reason = "libunarr cannot read its header";
        return nullptr;
      }
      return direct_.archive.get();
    }
    alone_ = UnarrArchive();
    std::vector<std::size_t> written;
    if (!WriteImage(alone_, {index}, password, reason, written)) return nullptr;
    if (!ar_parse_entry(alone_.archive.get())) {
      reason = "libunarr cannot read its header";
      return nullptr;
    }
    return alone_.archive.get();
  }

  /// In a solid archive every file member before `index` is decoded first, in order.
  ar_archive* PositionSolid(std::size_t index, const std::string& password, std::string& reason) {
    const auto in_image = [&] {
      return std::find(solid_members_.begin(), solid_members_.end(), index) != solid_members_.end();
    };
    if (!solid_.archive || (!in_image() && password != solid_password_)) {
      // Made again when a password now opens members that stopped the last image.
      solid_ = UnarrArchive();
      solid_members_.clear();
      solid_decoded_ = 0;
      solid_password_ = password;
      std::vector<std::size_t> members;
      // Stored members take no part in the decoder's state.
      for (std::size_t i = 0; i < Members().size(); ++i) {
        if (!Members()[i].folder && !Members()[i].stored) members.push_back(i);
      }
      FindExactSizes(members, password);
      if (!WriteImage(solid_, members, password, reason, solid_members_)) return nullptr;
    }
    if (!in_image()) {
      reason = Members()[index].encrypted && !password.empty()
                   ? "wrong password"
                   : "an earlier member of this solid archive could not be decrypted";
      return nullptr;
    }
    while (solid_decoded_ < solid_members_.size()) {
      const std::size_t next = solid_members_[solid_decoded_++];
      if (!ar_parse_entry(solid_.archive.get())) break;
      if (next == index) return solid_.archive.get();
      if (next > index) break;
      UnarrData skipped(solid_.archive.get(), Members()[next]);
      if (!skipped.Drain()) {
        reason = "the member before it, " + Members()[next].name + ", does not decode";
        solid_decoded_ = solid_members_.size();
        return nullptr;
      }
    }
    reason = "libunarr cannot reach it in the solid archive";
    return nullptr;
  }

  /// unarr carries the bytes it has read ahead at the end of a solid member into the next one,
  /// so a member handed over with the cipher's padding spoils the member after it. The exact
  /// size of a padded member is the smallest with which it still decodes: found by bisecting
  /// the last cipher block, each try decoding the members from the last one that starts the
  /// decoder afresh up to it.
  void FindExactSizes(const std::vector<std::size_t>& members, const std::string& password) {
    if (password.empty()) return;
    std::size_t group = 0;  // the last member that starts the decoder afresh
    bool checked = false;
    for (std::size_t k = 0; k + 1 < members.size(); ++k) {
      const RarMemberInfo& member = Members()[members[k]];
      if (!member.continues) group = k;
      // Only a member whose next one goes on from its state passes its padding on.
      if (!member.padded || member.packed < 16 || !Members()[members[k + 1]].continues) continue;
      const std::vector<std::size_t> prefix(members.begin() + static_cast<std::ptrdiff_t>(group),
                                            members.begin() + static_cast<std::ptrdiff_t>(k) + 1);
      // A wrong password shows at the first such member: then there is nothing to find.
      if (!checked && !PrefixDecodes(prefix, password)) return;
      checked = true;
      std::uint64_t low = member.packed - 15, high = member.packed;
      while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        source_->SetPackedSize(members[k], middle);
        if (PrefixDecodes(prefix, password)) {
          high = middle;
        } else {
          low = middle + 1;
        }
      }
      source_->SetPackedSize(members[k], high);
    }
  }

  /// True when every member of `prefix` decodes, in order, from an image of them alone.
  bool PrefixDecodes(const std::vector<std::size_t>& prefix, const std::string& password) {
    UnarrArchive trial;
    std::string reason;
    std::vector<std::size_t> written;
    if (!WriteImage(trial, prefix, password, reason, written) || written != prefix) return false;
    for (const std::size_t index : prefix) {
      if (!ar_parse_entry(trial.archive.get())) return false;
      UnarrData data(trial.archive.get(), Members()[index]);
      if (!data.Drain()) return false;
    }
    return true;
  }

  /// Writes the archive in clear holding `members` (as many as can be decrypted, in order, put
  /// in `written`) to a new memory file and opens unarr on it.
  bool WriteImage(UnarrArchive& image, const std::vector<std::size_t>& members,
                  const std::string& password, std::string& reason,
                  std::vector<std::size_t>& written) {
    image.memory.reset(::memfd_create("svreg-rar", MFD_CLOEXEC));
    if (!image.memory) {
      reason = std::string("cannot make a memory file: ") + std::strerror(errno);
      return false;
    }
    ClearArchiveStream stream(volumes_.files.at(0).get());
    source_->AppendStart(stream);
    written.clear();
    for (const std::size_t index : members) {
      std::optional<RarMacCheck> mac;
      if (!source_->AppendMember(stream, index, password, mac)) break;
      written.push_back(index);
    }
    source_->AppendEnd(stream);
    if (written.empty() && members.size() == 1) {
      reason = Members()[members[0]].encrypted && !password.empty() ? "wrong password"
                                                                    : "it cannot be decrypted";
      return false;
    }
    if (!stream.DrainTo(image.memory.get(), reason) || !image.Open(image.memory.get())) {
      if (reason.empty()) reason = "libunarr cannot open the archive in clear";
      return false;
    }
    return true;
  }

  RarVolumeSet volumes_;
  std::unique_ptr<RarKeyCache> keys_;  // before the source, which refers to it
  std::unique_ptr<RarClearSource> source_;
  UnarrArchive direct_;
  std::size_t direct_volume_ = 0;
  UnarrArchive alone_;
  UnarrArchive solid_;
  std::vector<std::size_t> solid_members_;
  std::size_t solid_decoded_ = 0;
  std::string solid_password_;
};

}  // namespace

std::unique_ptr<RarReader> OpenRar4Reader(RarVolumeSet& volumes) {
  auto keys = std::make_unique<RarKeyCache>();
  std::unique_ptr<RarClearSource> source = OpenRar4ClearSource(volumes.fds(), *keys);
  if (!source) return nullptr;
  return std::make_unique<Rar4UnarrReader>(std::move(volumes), std::move(source), std::move(keys));
}

}  // namespace svregistration::archive
