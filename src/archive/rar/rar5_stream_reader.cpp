// A single-volume RAR 5 archive through libarchive: our header reader lists the members and
// hands libarchive an archive in clear made of what it read (the main header without what
// libarchive cannot read, file headers without encryption records, data decrypted as libarchive
// reads it). A member that the password does not open is never handed over, so the walk goes on
// past it. Nothing is held whole and nothing is written to disk.
#include <archive_entry.h>
#include <blake2.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <functional>
#include <vector>

#include "archive/archive_handle.h"
#include "archive/rar/rar_reader.h"

namespace svregistration::archive {

namespace {

constexpr std::size_t kVerifyBlock = 64 * 1024;

ReadHandle NewRarReader() {
  ReadHandle reader = NewReader();
  archive_read_support_format_rar5(reader.get());
  return reader;
}

/// True when the file at `path` has the checksums the archive stores as MACs. The file is read
/// back a block at a time: libarchive is given the member without them.
// The written data is read again through the process's own name for its descriptor (the file
// being extracted has no name of its own yet).
bool MacHolds(int written, const RarMacCheck& mac) {
  const std::string self = "/proc/self/fd/" + std::to_string(written);
  const os::UniqueFd fd(::open(self.c_str(), O_RDONLY | O_CLOEXEC));
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

class Rar5StreamReader final : public RarReader {
 public:
  Rar5StreamReader(RarVolumeSet volumes, std::unique_ptr<RarClearSource> source,
                   std::unique_ptr<RarKeyCache> keys)
      : volumes_(std::move(volumes)), keys_(std::move(keys)), source_(std::move(source)) {
    ChooseStreams();
  }
  ~Rar5StreamReader() override {
    // The libarchive reader reads through the stream; both go before the file.
    stream_reader_.reset();
    stream_.reset();
  }

  bool HeadersEncrypted() const override { return source_->HeadersEncrypted(); }
  void ReadMembers(const std::string& password) override {
    source_->ReadMembers(password);
    ChooseStreams();
  }
  const std::vector<RarMemberInfo>& Members() const override { return source_->Members(); }
  const std::string& Unread() const override { return source_->Unread(); }

  void Extract(std::size_t index, const std::string& password, SafeExtractor& extractor,
               ReportBuilder& report) override {
    password_ = password;
    if (one_stream_) {
      ExtractFromStream(index, extractor);
    } else if (!ExtractAlone(index, extractor) && !password.empty()) {
      // RAR 5 checks the password before any data is read.
      report.Reason("wrong password");
    }
  }

 private:
  int fd() const { return volumes_.files.at(0).get(); }

  /// Solid archives, and archives without encrypted members, go to one libarchive reader, in
  /// order; members of other archives one at a time, since one may not open.
  void ChooseStreams() {
    one_stream_ = true;
    for (const RarMemberInfo& member : source_->Members()) {
      if (member.encrypted && !source_->Solid()) one_stream_ = false;
    }
  }

  /// A member of an archive that is not solid goes to libarchive alone, in an archive of its own
  /// made of the main header, the member and an end: nothing of other members is read.
  /// False when the member cannot be decrypted with the password.
  bool ExtractAlone(std::size_t index, SafeExtractor& extractor) {
    ClearArchiveStream stream(fd());
    source_->AppendStart(stream);
    std::optional<RarMacCheck> mac;
    if (!source_->AppendMember(stream, index, password_, mac)) return false;
    source_->AppendEnd(stream);
    ReadHandle reader = NewRarReader();
    archive_entry* entry = nullptr;
    if (!stream.OpenReader(reader.get())) return true;
    const int status = archive_read_next_header(reader.get(), &entry);
    if (status == ARCHIVE_OK || status == ARCHIVE_WARN) {
      ExtractEntry(reader.get(), entry, extractor, mac);
    }
    return true;
  }

  /// Members of a solid archive depend on those before them, so libarchive reads all of them
  /// from one stream, decoding the skipped ones. A member that cannot be decrypted ends it.
  void ExtractFromStream(std::size_t index, SafeExtractor& extractor) {
    // libarchive reads a little ahead: the stream may have ended at an encrypted member before
    // its password was asked. With the password it starts again from the first member.
    if (stopped_without_password_ && !password_.empty()) {
      stream_reader_.reset();
      stream_.reset();
      appended_ = read_ = 0;
      ended_ = stopped_without_password_ = false;
      macs_.clear();
    }
    if (!stream_reader_) {
      stream_ = std::make_unique<ClearArchiveStream>(
          fd(), [this](ClearArchiveStream& stream) { AppendNext(stream); });
      source_->AppendStart(*stream_);
      stream_reader_ = NewRarReader();
      if (!stream_->OpenReader(stream_reader_.get())) ended_ = true;
    }
    while (!ended_ && read_ <= index) {
      archive_entry* entry = nullptr;
      const int status = archive_read_next_header(stream_reader_.get(), &entry);
      if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
        ended_ = true;
        break;
      }
      if (read_++ == index) {
        // A copy: reading the member on appends the next ones, and their checks, to the list.
        const std::optional<RarMacCheck> mac = macs_[index];
        ExtractEntry(stream_reader_.get(), entry, extractor, mac);
      }
    }
  }

  void AppendNext(ClearArchiveStream& stream) {
    const std::size_t count = source_->Members().size();
    if (appended_ > count) return;  // the end is appended
    std::optional<RarMacCheck> mac;
    if (appended_ < count && source_->AppendMember(stream, appended_, password_, mac)) {
      macs_.push_back(std::move(mac));
      ++appended_;
      return;
    }
    stopped_without_password_ = appended_ < count && password_.empty();
    source_->AppendEnd(stream);
    appended_ = count + 1;
  }

  static void ExtractEntry(::archive* reader, archive_entry* entry, SafeExtractor& extractor,
                           const std::optional<RarMacCheck>& mac) {
    const bool regular =
        archive_entry_filetype(entry) == AE_IFREG && archive_entry_hardlink(entry) == nullptr;
    // A member whose MAC'd checksums fail is not put in place: the password opened the header
    // but not the data, and the file that was there stays.
    std::function<bool(int)> verify;
    if (regular && mac) verify = [&mac](int fd) { return MacHolds(fd, *mac); };
    extractor.Extract(reader, entry, verify);
  }

  RarVolumeSet volumes_;
  std::unique_ptr<RarKeyCache> keys_;  // before the source, which refers to it
  std::unique_ptr<RarClearSource> source_;
  std::string password_;
  bool one_stream_ = false;
  std::unique_ptr<ClearArchiveStream> stream_;
  ReadHandle stream_reader_;
  std::size_t appended_ = 0;  // members appended to the stream
  std::size_t read_ = 0;      // member headers libarchive has read
  bool ended_ = false;
  bool stopped_without_password_ = false;
  std::vector<std::optional<RarMacCheck>> macs_;
};

}  // namespace

std::unique_ptr<RarReader> OpenRar5StreamReader(RarVolumeSet& volumes) {
  auto keys = std::make_unique<RarKeyCache>();
  std::unique_ptr<RarClearSource> source = OpenRar5ClearSource(volumes.files.at(0).get(), *keys);
  if (!source) return nullptr;
  return std::make_unique<Rar5StreamReader>(std::move(volumes), std::move(source), std::move(keys));
}

}  // namespace svregistration::archive
