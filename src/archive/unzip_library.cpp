// The stand-in for the unzip library: walks a zip archive with libarchive, selects members by
// the include and exclude lists, asks the password callback when an encrypted member needs a
// password, and writes the selected members through SafeExtractor.
#include "archive/unzip_library.h"

#include <archive.h>
#include <archive_entry.h>

#include <optional>

#include "archive/archive_handle.h"
#include "archive/extraction_report.h"
#include "archive/name_match.h"
#include "archive/safe_extractor.h"
#include "archive/user_code_page.h"
#include "archive/utf8_locale.h"
#include "svregistration/error.h"

namespace svregistration::archive {

namespace {

constexpr std::size_t kReadBlockSize = 64 * 1024;

/// What libarchive's passphrase callback needs to reach the library's password callback.
struct PassphraseRequest {
  const UnzipCallbacks* callbacks = nullptr;
  std::string member;
  std::array<char, kPasswordBufferSize> buffer{};
};

/// libarchive calls this whenever the passwords it was given so far do not open the member it is
/// reading, until it gets a right one or none. Each answer is kept by libarchive and tried first
/// on later members, so a password given once serves the rest of the archive.
const char* AskPassphrase(::archive* /*reader*/, void* data) {
  auto* request = static_cast<PassphraseRequest*>(data);
  if (request->callbacks->password == nullptr) return nullptr;
  const int answered = request->callbacks->password(request->buffer.data(), kPasswordBufferSize,
                                                    "Password", request->member.c_str());
  if (answered != 0 || request->buffer[0] == '\0') return nullptr;
  return request->buffer.data();
}

void Print(const UnzipCallbacks& callbacks, const std::string& text) {
  if (callbacks.print != nullptr) callbacks.print(text);
}

bool MatchesAny(const NameList& list, std::string_view name) {
  for (int i = 0; i < list.count && i < kNameListSize; ++i) {
    const auto& pattern = list.entries[static_cast<std::size_t>(i)];
    if (pattern && WildcardMatch(*pattern, name)) return true;
  }
  return false;
}

/// Names stored without the UTF-8 flag are read in the user's ANSI code page, as the tools that
/// wrote them on that user's system wrote them. A code page iconv does not know leaves the bytes
/// as they are.
void ReadPlainNamesInUserCodePage(::archive* reader) {
  const std::string charset = "CP" + std::to_string(UserAnsiCodePage());
  archive_read_set_format_option(reader, "zip", "hdrcharset", charset.c_str());
  archive_clear_error(reader);
}

bool Selected(const NameList& include, const NameList& exclude, std::string_view name) {
  if (include.count > 0 && !MatchesAny(include, name)) return false;
  return !MatchesAny(exclude, name);
}

}  // namespace

int SingleEntryUnzip(const NameList& include, const NameList& exclude, const UnzipOptions& options,
                     const UnzipCallbacks& callbacks) {
  ScopedUtf8Locale utf8_names;
  ReadHandle reader = NewReader();
  if (archive_read_support_format_zip(reader.get()) != ARCHIVE_OK) {
    throw Error(kLibraryFunctionMissing, "libarchive",
                "libarchive cannot read zip archives: " + ErrorText(reader.get()));
  }
  ReadPlainNamesInUserCodePage(reader.get());
  PassphraseRequest passphrase;
  passphrase.callbacks = &callbacks;
  archive_read_set_passphrase_callback(reader.get(), &passphrase, &AskPassphrase);
  if (archive_read_open_filename(reader.get(), options.zip_file.c_str(), kReadBlockSize) !=
      ARCHIVE_OK) {
    Print(callbacks, "cannot open '" + options.zip_file + "': " + ErrorText(reader.get()) + "\n");
    ReportArchiveUnreadable(options.zip_file);
    return kUnzipCannotOpen;
  }

  std::optional<SafeExtractor> extractor;  // made when the first member is extracted
  bool warnings = false;
  int matched = 0;
  la_int64_t failed_at = -1;
  bool any_header = false;
  archive_entry* entry = nullptr;
  for (;;) {
    const int status = archive_read_next_header(reader.get(), &entry);
    if (status == ARCHIVE_EOF) break;
    if (status < ARCHIVE_WARN) {
      warnings = true;
      Print(callbacks, "cannot read a member header: " + ErrorText(reader.get()) + "\n");
      if (status == ARCHIVE_FATAL) {
        if (!any_header) ReportArchiveUnreadable(options.zip_file);
        break;
      }
      // This member cannot be read but the next may be, unless the reader stays where it was.
      const la_int64_t position = archive_read_header_position(reader.get());
      if (position == failed_at) break;
      failed_at = position;
      continue;
    }
    any_header = true;
    const char* name = archive_entry_pathname(entry);
    passphrase.member = name != nullptr ? name : "";
    if (!Selected(include, exclude, passphrase.member)) continue;
    ++matched;
    ReportSelected(passphrase.member, "not written");
    if (callbacks.service != nullptr &&
        callbacks.service(passphrase.member.c_str(),
                          static_cast<std::uint64_t>(archive_entry_size(entry))) != 0) {
      break;
    }
    if (!extractor) extractor.emplace(options.extract_dir);
    if (extractor->Extract(reader.get(), entry) != MemberOutcome::kExtracted) {
      warnings = true;
      Print(callbacks, passphrase.member + ": " + extractor->last_error() + "\n");
    }
  }
  if (include.count > 0 && matched == 0) return kUnzipNothingMatched;
  return warnings ? kUnzipWarning : kUnzipOk;
}

}  // namespace svregistration::archive
