// A RAR 5 volume set through libarchive, which takes a set as a list of files and joins the
// members that span them. Our header reader lists the members (and tells the encrypted ones,
// which libarchive does not); libarchive's members are matched to that list by name, in order,
// so that a member libarchive never reaches stays listed as not extracted.
#include <archive_entry.h>

#include <optional>

#include "archive/archive_handle.h"
#include "archive/rar/rar5_blocks.h"
#include "archive/rar/rar_reader.h"
#include "svregistration/error.h"

namespace svregistration::archive {

namespace {

constexpr std::size_t kReadBlockSize = 64 * 1024;

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
    std::vector<const char*> names;
    for (const std::string& path : volumes_.paths) names.push_back(path.c_str());
    names.push_back(nullptr);
    if (archive_read_open_filenames(reader_.get(), names.data(), kReadBlockSize) != ARCHIVE_OK) {
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
