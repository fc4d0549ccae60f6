// The walk over a zip archive: members selected by the pattern, passwords asked when an
// encrypted member needs one, and the selected members written through SafeExtractor.
#include "archive/zip/zip_extraction.h"

#include <archive_entry.h>
#include <unicode/unistr.h>

#include <new>

#include "archive/interface_prompt.h"
#include "archive/name_match.h"
#include "archive/report_builder.h"
#include "archive/safe_extractor.h"
#include "archive/utf8_locale.h"
#include "archive/zip/user_code_page.h"
#include "nls/ansi_conversion.h"
#include "svregistration/error.h"
#include "svregistration/user_interface.h"

namespace svregistration::archive {

namespace {

constexpr std::size_t kReadBlockSize = 64 * 1024;
/// Answers are cut to this many bytes: a password buffer of 256 with its NUL.
constexpr std::size_t kMaxPasswordBytes = 255;

/// The bytes of `text` (UTF-8) in the user's ANSI code page; the UTF-8 bytes themselves when
/// that code page cannot be opened.
std::string AnsiBytes(const std::string& text) {
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
  try {
    const std::vector<std::uint8_t> bytes = nls::UnicodeToAnsi(
        std::u16string_view(unicode.getBuffer(), static_cast<std::size_t>(unicode.length())),
        UserAnsiCodePage());
    return std::string(bytes.begin(), bytes.end());
  } catch (...) {
    return text;
  }
}

/// libarchive calls this whenever the passwords it was given so far do not open the member it is
/// reading, until it gets a right one or none. Each answer is kept by libarchive and tried first
/// on later members, so a password given once serves the rest of the archive.
const char* PassphraseCallback(::archive* /*reader*/, void* data) {
  return static_cast<ZipExtraction*>(data)->AskPassphrase();
}

/// Names stored without the UTF-8 flag are read in the user's ANSI code page, as the tools that
/// wrote them on that user's system wrote them. A code page iconv does not know leaves the bytes
/// as they are.
void ReadPlainNamesInUserCodePage(::archive* reader) {
  const std::string charset = "CP" + std::to_string(UserAnsiCodePage());
  archive_read_set_format_option(reader, "zip", "hdrcharset", charset.c_str());
  archive_clear_error(reader);
}

}  // namespace

ReadHandle NewZipReader() {
  ReadHandle reader = NewReader();
  if (archive_read_support_format_zip(reader.get()) != ARCHIVE_OK) {
    throw Error(kLibraryFunctionMissing, "libarchive",
                "libarchive cannot read zip archives: " + ErrorText(reader.get()));
  }
  return reader;
}

ZipExtraction::ZipExtraction(std::string archive_file, std::string output_path, std::string pattern,
                             PasswordPrompt& prompt, ZipReaderFactory make_reader)
    : archive_file_(std::move(archive_file)),
      output_path_(std::move(output_path)),
      pattern_(std::move(pattern)),
      prompt_(prompt),
      make_reader_(std::move(make_reader)) {
  // The name may come with backslashes; stored names have forward slashes.
  for (char& c : pattern_) {
    if (c == '\\') c = '/';
  }
}

const char* ZipExtraction::AskPassphrase() {
  if (!retry_.empty()) {
    answer_ = std::move(retry_);
    retry_.clear();
    return answer_.c_str();
  }
  if (refused_) return nullptr;
  // Asked again for the same member: libarchive tried every answer so far and none opened it.
  const bool wrong = asked_ && last_asked_ == member_;
  asked_ = true;
  last_asked_ = member_;
  std::string answer;
  try {
    answer = prompt_.Ask({archive_file_, member_, wrong});
  } catch (...) {
    // The callback runs inside libarchive, which an exception must not cross.
    return nullptr;
  }
  if (answer.empty()) {
    refused_ = true;
    return nullptr;
  }
  answer_ = AnsiBytes(answer).substr(0, kMaxPasswordBytes);
  if (answer_ != answer) retry_ = answer.substr(0, kMaxPasswordBytes);
  return answer_.c_str();
}

ExtractionReport ZipExtraction::Run() {
  ScopedUtf8Locale utf8_names;
  ReportBuilder report;
  ReadHandle reader = make_reader_();
  ReadPlainNamesInUserCodePage(reader.get());
  archive_read_set_passphrase_callback(reader.get(), this, &PassphraseCallback);
  if (archive_read_open_filename(reader.get(), archive_file_.c_str(), kReadBlockSize) !=
      ARCHIVE_OK) {
    report.ArchiveUnreadable(archive_file_);
    return report.Take();
  }
  {
    // The extractor reports links it takes away again when it goes: before the report does.
    SafeExtractor extractor(output_path_, report);
    la_int64_t failed_at = -1;
    bool any_header = false;
    archive_entry* entry = nullptr;
    for (;;) {
      const int status = archive_read_next_header(reader.get(), &entry);
      if (status == ARCHIVE_EOF) break;
      if (status < ARCHIVE_WARN) {
        if (status == ARCHIVE_FATAL) {
          if (!any_header) {
            report.ArchiveUnreadable(archive_file_);
          } else {
            report.Unread("a member header cannot be read: " + ErrorText(reader.get()));
          }
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
      member_ = name != nullptr ? name : "";
      if (!pattern_.empty() && !WildcardMatch(pattern_, member_)) continue;
      report.Selected(member_, "not written");
      extractor.Extract(reader.get(), entry);
    }
  }
  return report.Take();
}

bool RunAsZipExtract(ZipExtraction& extraction, UserInterface& ui) {
  // A missing archive, a failed member or a refused password leave no sign but the files that
  // are not there.
  std::string failure;
  try {
    extraction.Run();
  } catch (const Error& error) {
    failure = error.description() + "\r\n" + std::to_string(error.number());
  } catch (const std::bad_alloc&) {
    failure = "Out of memory\r\n" + std::to_string(kOutOfMemory);
  }
  if (!failure.empty()) {
    ui.ShowMessage(std::string(kDialogTitle), failure);
  }
  return true;
}

}  // namespace svregistration::archive
