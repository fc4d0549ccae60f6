// RarGlobals: RarExtract, and the stand-in for the unrar library it calls: an archive handle over
// libarchive with the library's open, read-header, set-password, process-file and close.
#include "archive/rar_globals.h"

#include <archive.h>
#include <archive_entry.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "archive/archive_handle.h"
#include "archive/encrypted_rar_archive.h"
#include "archive/extraction_report.h"
#include "archive/name_match.h"
#include "archive/prompts.h"
#include "archive/rar5_headers.h"
#include "archive/safe_extractor.h"
#include "archive/utf8_locale.h"
#include "platform/text.h"
#include "svregistration/error.h"
#include "svregistration/user_interface.h"

namespace svregistration::archive {

namespace {

constexpr std::size_t kReadBlockSize = 64 * 1024;

/// A member header as the unrar library reports it: the stored path ("/" between folders, the
/// separator of this platform) and the flags.
struct RarHeaderData {
  std::string FileName;
  unsigned Flags = 0;
};

enum class RarOperation { kSkip = 0, kExtract = 2 };

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

/// An open archive as the unrar library's handle gives it. Closing is the destructor.
class RarArchive {
 public:
  /// Opens the archive with the volumes that follow it; nullptr when it cannot be opened (a
  /// missing file, not a RAR archive). Raises Error when libarchive cannot read RAR archives.
  static std::unique_ptr<RarArchive> Open(const std::string& archive_file) {
    std::unique_ptr<RarArchive> archive(new RarArchive());
    ::archive* reader = archive->reader_.get();
    if (archive_read_support_format_rar(reader) != ARCHIVE_OK ||
        archive_read_support_format_rar5(reader) != ARCHIVE_OK) {
      throw Error(kLibraryFunctionMissing, "libarchive",
                  "libarchive cannot read RAR archives: " + ErrorText(reader));
    }
    const std::vector<std::string> volumes = RarVolumes(archive_file);
    if (volumes.size() == 1) archive->encrypted_ = EncryptedRarArchive::Open(archive_file);
    if (archive->encrypted_) return archive;
    std::vector<const char*> names;
    names.reserve(volumes.size() + 1);
    for (const std::string& volume : volumes) names.push_back(volume.c_str());
    names.push_back(nullptr);
    if (archive_read_open_filenames(reader, names.data(), kReadBlockSize) != ARCHIVE_OK) {
      return nullptr;
    }
    archive->rar5_files_ = ReadRar5FileHeaders(volumes);
    return archive;
  }

  /// Reads the next member header. False at the end of the archive and at a header that cannot
  /// be read, which ends the walk as the end does (libarchive would report some damaged headers
  /// again and again without moving on).
  bool ReadHeader(RarHeaderData& header) {
    if (encrypted_) {
      bool encrypted = false;
      if (!encrypted_->ReadHeader(header.FileName, encrypted)) return false;
      header.Flags = encrypted ? kRarHeaderEncrypted : 0;
      return true;
    }
    const int status = archive_read_next_header(reader_.get(), &entry_);
    if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
      entry_ = nullptr;
      return false;
    }
    const char* name = archive_entry_pathname(entry_);
    header.FileName = name != nullptr ? name : "";
    entry_encrypted_ =
        archive_entry_is_data_encrypted(entry_) != 0 || Rar5Encrypted(header.FileName);
    header.Flags = entry_encrypted_ ? kRarHeaderEncrypted : 0;
    return true;
  }

  /// True when the member headers are encrypted: nothing can be read before the password.
  bool HeadersEncrypted() const { return encrypted_ && encrypted_->HeadersEncrypted(); }

  /// libarchive decrypts no RAR data: an archive with encryption is decrypted on its way to it.
  void SetPassword(const std::string& password) {
    if (encrypted_) encrypted_->SetPassword(password);
  }

  /// Extracts the member just read under `destination`, or skips it (libarchive skips a member's
  /// data by itself when the next header is read).
  void ProcessFile(RarOperation operation, const std::string& destination) {
    if (operation == RarOperation::kExtract && encrypted_) encrypted_->Extract(destination);
    if (operation != RarOperation::kExtract || entry_ == nullptr) return;
    // An encrypted member of a multi-volume set: libarchive cannot decrypt it and would fail on
    // the data or, for stored members, hand over the encrypted bytes as the contents.
    if (entry_encrypted_) return;
    if (!extractor_ || extractor_destination_ != destination) {
      extractor_.reset();
      extractor_.emplace(destination);
      extractor_destination_ = destination;
    }
    // The outcome is not looked at: a member that fails stays unextracted.
    extractor_->Extract(reader_.get(), entry_);
  }

 private:
  RarArchive() : reader_(NewReader()) {}

  /// Whether the RAR 5 file header of this member has an encryption record (libarchive does not
  /// say). Headers are met in the order libarchive reports members; one it left out is passed
  /// over. libarchive adds ";n" to the name of a member with a version record.
  bool Rar5Encrypted(std::string_view name) {
    for (std::size_t i = rar5_next_; i < rar5_files_.size(); ++i) {
      const std::string& stored = rar5_files_[i].name;
      const bool same =
          name == stored || (name.size() > stored.size() &&
                             name.substr(0, stored.size()) == stored && name[stored.size()] == ';');
      if (same) {
        rar5_next_ = i + 1;
        return rar5_files_[i].encrypted;
      }
    }
    return false;
  }

  ReadHandle reader_;
  archive_entry* entry_ = nullptr;
  bool entry_encrypted_ = false;
  std::unique_ptr<EncryptedRarArchive> encrypted_;  // set for a single volume with encryption
  std::vector<Rar5FileHeader> rar5_files_;
  std::size_t rar5_next_ = 0;
  std::optional<SafeExtractor> extractor_;  // made when the first member is extracted
  std::string extractor_destination_;
};

}  // namespace

bool RarExtract(const std::string& archive_file, const std::string& output_path,
                const std::string& extract_what) {
  ScopedUtf8Locale utf8_names;
  std::unique_ptr<RarArchive> archive = RarArchive::Open(archive_file);
  if (!archive) {
    ReportArchiveUnreadable(archive_file);
    return false;
  }
  if (EncryptedRarArchive::Unsupported(archive_file)) {
    CurrentUserInterface().ShowMessage(std::string(kDialogTitle),
                                       archive_file +
                                           ": solid RAR 4 archives cannot be extracted "
                                           "(libarchive does not read them)");
  }
  std::string password;
  if (archive->HeadersEncrypted()) {
    // No member can be seen before the headers are decrypted: the one question comes first.
    password = CurrentUserInterface().AskText(std::string(kDialogTitle),
                                              std::string(kPasswordPrompt), true);
    if (password.empty()) return false;
    archive->SetPassword(password);
  }
  RarHeaderData header;
  while (archive->ReadHeader(header)) {
    // "\" and "/" are the same separator: the host passes stored paths with "\".
    const bool selected =
        extract_what.empty() || MemberNameStartsWith(header.FileName, extract_what);
    if (!selected) {
      archive->ProcessFile(RarOperation::kSkip, output_path);
      continue;
    }
    ReportSelected(header.FileName, (header.Flags & kRarHeaderEncrypted) != 0
                                        ? "encrypted, and not opened with the password given"
                                        : "not written");
    if ((header.Flags & kRarHeaderEncrypted) != 0) {
      if (password.empty()) {
        password = CurrentUserInterface().AskText(std::string(kDialogTitle),
                                                  std::string(kPasswordPrompt), true);
      }
      if (password.empty()) return false;
      archive->SetPassword(password);
    }
    archive->ProcessFile(RarOperation::kExtract, output_path);
  }
  return true;
}

std::vector<std::string> RarVolumes(const std::string& first) {
  std::vector<std::string> volumes{first};
  const std::string lower = platform::ToLower(first);
  constexpr std::string_view kExtension = ".rar";
  constexpr std::string_view kPart = ".part";
  if (lower.size() < kExtension.size() ||
      lower.compare(lower.size() - kExtension.size(), kExtension.size(), kExtension) != 0) {
    return volumes;
  }
  const std::size_t digits_end = lower.size() - kExtension.size();
  std::size_t digits_begin = digits_end;
  while (digits_begin > 0 && std::isdigit(static_cast<unsigned char>(lower[digits_begin - 1]))) {
    --digits_begin;
  }
  const std::size_t width = digits_end - digits_begin;
  if (width > 0 && digits_begin >= kPart.size() &&
      lower.compare(digits_begin - kPart.size(), kPart.size(), kPart) == 0) {
    // New naming: only the first part begins a set.
    if (width > 9 || std::stoul(first.substr(digits_begin, width)) != 1) return volumes;
    for (unsigned long part = 2;; ++part) {
      std::string number = std::to_string(part);
      if (number.size() < width) number.insert(0, width - number.size(), '0');
      std::string name = first.substr(0, digits_begin) + number + first.substr(digits_end);
      if (!FileExists(name)) break;
      volumes.push_back(std::move(name));
    }
    return volumes;
  }
  // Old naming: name.rar, name.r00, name.r01 ... name.r99.
  const char r = first[first.size() - 3];
  const std::string stem = first.substr(0, digits_end) + '.' + r;
  for (int part = 0; part < 100; ++part) {
    std::string name =
        stem + static_cast<char>('0' + part / 10) + static_cast<char>('0' + part % 10);
    if (!FileExists(name)) break;
    volumes.push_back(std::move(name));
  }
  return volumes;
}

}  // namespace svregistration::archive
