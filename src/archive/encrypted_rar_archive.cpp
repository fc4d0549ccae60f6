// Extraction of encrypted RAR members through a clear archive built for libarchive.
#include "archive/encrypted_rar_archive.h"

#include <archive_entry.h>
#include <blake2.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <functional>
#include <vector>

namespace svregistration::archive {

namespace {

constexpr std::size_t kVerifyBlock = 64 * 1024;

ReadHandle NewRarReader() {
  ReadHandle reader = NewReader();
  archive_read_support_format_rar(reader.get());
  archive_read_support_format_rar5(reader.get());
  return reader;
}

/// True when the file at `path` has the checksums the archive stores as MACs. The file is read
/// back a block at a time: libarchive is given the member without them.
// The written data is read again through the process's own name for its descriptor (the file
// being extracted has no name of its own yet).
bool MacHolds(int written, const RarMacCheck& mac) {
  const std::string self = "/proc/self/fd/" + std::to_string(written);
  const platform::UniqueFd fd(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  uLong crc = crc32(0L, Z_NULL, 0);
  blake2sp_state blake;
  blake2sp_init(&blake, BLAKE2S_OUTBYTES);
  std::vector<unsigned char> block(kVerifyBlock);
  ssize_t n = 0;
  while ((n = ::read(fd.get(), block.data(), block.size())) > 0) {
    crc = crc32(crc, block.data(), static_cast<uInt>(n));
    if (mac.blake2sp) blake2sp_update(&blake, block.data(), static_cast<std::size_t>(n));
  }
  if (n < 0) return false;
  if (mac.crc && Rar5MacCrc(mac.hash_key, static_cast<std::uint32_t>(crc)) != *mac.crc) {
    return false;
  }
  if (mac.blake2sp) {
    Digest32 digest{};
    blake2sp_final(&blake, digest.data(), digest.size());
    if (Rar5MacDigest(mac.hash_key, digest) != *mac.blake2sp) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<EncryptedRarArchive> EncryptedRarArchive::Open(const std::string& path) {
  platform::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) return nullptr;
  const int fd = file.get();
  std::unique_ptr<EncryptedRarArchive> archive(new EncryptedRarArchive(std::move(file), nullptr));
  archive->source_ = OpenRar5ClearSource(fd, archive->keys_);
  if (!archive->source_) archive->source_ = OpenRar4ClearSource(fd, archive->keys_);
  if (!archive->source_) return nullptr;
  archive->members_read_ = !archive->source_->HeadersEncrypted();
  return archive;
}

bool EncryptedRarArchive::Unsupported(const std::string& path) {
  const platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  return fd && IsSolidRar4(fd.get());
}

EncryptedRarArchive::EncryptedRarArchive(platform::UniqueFd fd,
                                         std::unique_ptr<RarClearSource> source)
    : fd_(std::move(fd)), source_(std::move(source)) {}

EncryptedRarArchive::~EncryptedRarArchive() {
  // The libarchive reader reads through the stream; both go before the file.
  solid_reader_.reset();
  solid_stream_.reset();
}

bool EncryptedRarArchive::ReadHeader(std::string& name, bool& encrypted) {
  if (!members_read_ || next_ >= source_->Members().size()) return false;
  const RarMemberInfo& member = source_->Members()[next_++];
  name = member.name;
  encrypted = member.encrypted;
  return true;
}

void EncryptedRarArchive::SetPassword(const std::string& password) {
  password_ = password;
  if (!members_read_) {
    source_->ReadMembers(password);
    members_read_ = true;
  }
}

void EncryptedRarArchive::Extract(const std::string& destination) {
  if (next_ == 0) return;
  if (source_->Solid()) {
    ExtractSolid(destination);
  } else {
    ExtractAlone(destination);
  }
}

SafeExtractor& EncryptedRarArchive::ExtractorFor(const std::string& destination) {
  if (!extractor_ || extractor_destination_ != destination) {
    extractor_.reset();
    extractor_.emplace(destination);
    extractor_destination_ = destination;
  }
  return *extractor_;
}

/// A member of an archive that is not solid goes to libarchive alone, in an archive of its own
/// made of the main header, the member and an end: nothing of other members is read.
void EncryptedRarArchive::ExtractAlone(const std::string& destination) {
  ClearArchiveStream stream(fd_.get());
  source_->AppendStart(stream);
  std::optional<RarMacCheck> mac;
  if (!source_->AppendMember(stream, next_ - 1, password_, mac)) return;
  source_->AppendEnd(stream);
  ReadHandle reader = NewRarReader();
  archive_entry* entry = nullptr;
  if (!stream.OpenReader(reader.get())) return;
  const int status = archive_read_next_header(reader.get(), &entry);
  if (status == ARCHIVE_OK || status == ARCHIVE_WARN) {
    ExtractEntry(reader.get(), entry, destination, mac);
  }
}

/// Members of a solid archive depend on those before them, so libarchive reads all of them from
/// one stream, decoding the skipped ones. A member that cannot be decrypted ends the stream.
void EncryptedRarArchive::ExtractSolid(const std::string& destination) {
  const std::size_t index = next_ - 1;
  // libarchive reads a little ahead: the stream may have ended at an encrypted member before
  // its password was asked. With the password it starts again from the first member.
  if (solid_stopped_without_password_ && !password_.empty()) {
    solid_reader_.reset();
    solid_stream_.reset();
    solid_appended_ = solid_read_ = 0;
    solid_ended_ = solid_stopped_without_password_ = false;
    solid_macs_.clear();
  }
  if (!solid_reader_) {
    solid_stream_ = std::make_unique<ClearArchiveStream>(
        fd_.get(), [this](ClearArchiveStream& stream) { AppendNextSolid(stream); });
    source_->AppendStart(*solid_stream_);
    solid_reader_ = NewRarReader();
    if (!solid_stream_->OpenReader(solid_reader_.get())) solid_ended_ = true;
  }
  while (!solid_ended_ && solid_read_ <= index) {
    archive_entry* entry = nullptr;
    const int status = archive_read_next_header(solid_reader_.get(), &entry);
    if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
      solid_ended_ = true;
      break;
    }
    if (solid_read_++ == index) {
      // A copy: reading the member on appends the next ones, and their checks, to the list.
      const std::optional<RarMacCheck> mac = solid_macs_[index];
      ExtractEntry(solid_reader_.get(), entry, destination, mac);
    }
  }
}

void EncryptedRarArchive::AppendNextSolid(ClearArchiveStream& stream) {
  if (solid_appended_ > source_->Members().size()) return;  // the end is appended
  std::optional<RarMacCheck> mac;
  if (solid_appended_ < source_->Members().size() &&
      source_->AppendMember(stream, solid_appended_, password_, mac)) {
    solid_macs_.push_back(std::move(mac));
    ++solid_appended_;
    return;
  }
  solid_stopped_without_password_ =
      solid_appended_ < source_->Members().size() && password_.empty();
  source_->AppendEnd(stream);
  solid_appended_ = source_->Members().size() + 1;
}

void EncryptedRarArchive::ExtractEntry(::archive* reader, archive_entry* entry,
                                       const std::string& destination,
                                       const std::optional<RarMacCheck>& mac) {
  const bool regular =
      archive_entry_filetype(entry) == AE_IFREG && archive_entry_hardlink(entry) == nullptr;
  // A member whose MAC'd checksums fail is not put in place: the password opened the header but
  // not the data, and the file that was there stays.
  std::function<bool(int)> verify;
  if (regular && mac) verify = [&mac](int fd) { return MacHolds(fd, *mac); };
  ExtractorFor(destination).Extract(reader, entry, verify);
}

}  // namespace svregistration::archive
