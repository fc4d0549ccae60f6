// A RAR 5 volume set through libarchive, which reads a set as a list of client streams (here the
// volumes' descriptors, opened once) and joins the members that span them. Our header reader lists
// the members (and tells the encrypted ones, which libarchive does not); libarchive's members are
// matched to that list by name, in order, so that a member libarchive never reaches stays listed as
// not extracted.
#include <archive_entry.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "archive/archive_handle.h"
#include "archive/rar/rar5_blocks.h"
#include "archive/rar/rar_bytes.h"
#include "archive/rar/rar_reader.h"
#include "svregistration/error.h"

namespace svregistration::archive {

namespace {

constexpr std::size_t kReadBlockSize = 64 * 1024;

/// One volume as libarchive reads it: its descriptor and how far it has been read.
struct VolumeStream {
  int fd = -1;
  std::int64_t offset = 0;
  std::vector<char> buffer = std::vector<char>(kReadBlockSize);
};

la_ssize_t ReadVolume(::archive* reader, void* data, const void** buffer) {
  auto* volume = static_cast<VolumeStream*>(data);
  for (;;) {
    const ssize_t n = ::pread(volume->fd, volume->buffer.data(), volume->buffer.size(),
                              static_cast<off_t>(volume->offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      archive_set_error(reader, errno, "cannot read a volume at offset %lld",
                        static_cast<long long>(volume->offset));
      return ARCHIVE_FATAL;
    }
    volume->offset += n;
    *buffer = volume->buffer.data();
    return n;
  }
}

la_int64_t SkipInVolume(::archive* /*reader*/, void* data, la_int64_t request) {
  auto* volume = static_cast<VolumeStream*>(data);
  const std::int64_t size = static_cast<std::int64_t>(FileSize(volume->fd));
  const la_int64_t skipped = std::max<la_int64_t>(0, std::min(request, size - volume->offset));
  volume->offset += skipped;
  return skipped;
}

/// libarchive moves to the next volume: it starts from its beginning.
int SwitchVolume(::archive* /*reader*/, void* /*from*/, void* to) {
  if (to != nullptr) static_cast<VolumeStream*>(to)->offset = 0;
  return ARCHIVE_OK;
}

class Rar5SetReader final : public RarReader {
 public:
  explicit Rar5SetReader(RarVolumeSet volumes) : volumes_(std::move(volumes)) {
    for (const rar5::MemberSummary& summary : rar5::ReadMemberSummaries(volumes_.fds(), unread_)) {
      RarMemberInfo member;
      member.name = summary.name;
      member.encrypted = summary.encrypted;
      if (member.encrypted)
        member.unreadable = "encrypted members of volume sets are not decrypted";
      members_.push_back(std::move(member));
    }
  }

  bool HeadersEncrypted() const override { return false; }
  void ReadMembers(const std::string& /*password*/) override {}
  const std::vector<RarMemberInfo>& Members() const override { return members_; }
  const std::string& Unread() const override { return unread_; }

  void Extract(std::size_t index, const std::string& /*password*/, SafeExtractor& extractor,
               ReportBuilder& report) override {
    if (!members_[index].unreadable.empty()) return report.Reason(members_[index].unreadable);
    if (!Open()) return report.Reason("libarchive cannot open the volume set: " + open_error_);
    while (!ended_ && (!current_ || *current_ < index)) NextHeader();
    if (current_ && *current_ == index) {
      extractor.Extract(reader_.get(), entry_);
    } else {
      report.Reason("libarchive does not reach it in the volume set");
    }
  }

 private:
  bool Open() {
    if (reader_) return open_error_.empty();
    reader_ = NewReader();
    if (archive_read_support_format_rar5(reader_.get()) != ARCHIVE_OK) {
      throw Error(kLibraryFunctionMissing, "libarchive",
                  "libarchive cannot read RAR 5 archives: " + ErrorText(reader_.get()));
    }
    for (const os::UniqueFd& file : volumes_.files) streams_.push_back({file.get()});
    archive_read_set_read_callback(reader_.get(), &ReadVolume);
    archive_read_set_skip_callback(reader_.get(), &SkipInVolume);
    archive_read_set_switch_callback(reader_.get(), &SwitchVolume);
    archive_read_set_callback_data(reader_.get(), &streams_[0]);
    for (std::size_t i = 1; i < streams_.size(); ++i) {
      archive_read_append_callback_data(reader_.get(), &streams_[i]);
    }
    if (archive_read_open1(reader_.get()) != ARCHIVE_OK) {
      open_error_ = ErrorText(reader_.get());
      ended_ = true;
    }
    return open_error_.empty();
  }

  /// Reads libarchive's next member and finds it in the list, from where the last one was.
  void NextHeader() {
    const int status = archive_read_next_header(reader_.get(), &entry_);
    if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
      ended_ = true;
      return;
    }
    const char* name = archive_entry_pathname(entry_);
    const std::string_view found = name != nullptr ? name : "";
    for (std::size_t i = current_ ? *current_ + 1 : 0; i < members_.size(); ++i) {
      if (members_[i].name == found) {
        current_ = i;
        return;
      }
    }
    ended_ = true;  // a member not in the list: the two readers no longer agree
  }

  RarVolumeSet volumes_;
  std::vector<VolumeStream> streams_;  // before the reader, which reads through them
  std::vector<RarMemberInfo> members_;
  std::string unread_;
  ReadHandle reader_;
  std::string open_error_;
  archive_entry* entry_ = nullptr;
  std::optional<std::size_t> current_;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<RarReader> OpenRar5SetReader(RarVolumeSet& volumes) {
  return std::make_unique<Rar5SetReader>(std::move(volumes));
}

}  // namespace svregistration::archive
