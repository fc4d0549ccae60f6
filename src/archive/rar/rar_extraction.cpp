// The walk over a RAR archive's members.
#include "archive/rar/rar_extraction.h"

#include <memory>

#include "archive/name_match.h"
#include "archive/rar/rar_reader.h"
#include "archive/report_builder.h"
#include "archive/safe_extractor.h"
#include "archive/utf8_locale.h"

namespace svregistration::archive {

RarExtraction::RarExtraction(std::string archive_file, std::string output_path,
                             std::string extract_what, PasswordPrompt& prompt)
    : archive_file_(std::move(archive_file)),
      output_path_(std::move(output_path)),
      extract_what_(std::move(extract_what)),
      prompt_(prompt) {}

ExtractionReport RarExtraction::Run() {
  ScopedUtf8Locale utf8_names;
  ReportBuilder report;
  std::unique_ptr<RarReader> reader = OpenRarReader(OpenRarVolumes(archive_file_));
  if (!reader) {
    report.ArchiveUnreadable(archive_file_);
    report.Result(false);
    return report.Take();
  }
  std::string password;
  if (reader->HeadersEncrypted()) {
    // No member can be seen before the headers are decrypted: the one question comes first.
    password = prompt_.Ask({archive_file_, "", false});
    if (password.empty()) {
      report.Result(false);
      return report.Take();
    }
    reader->ReadMembers(password);
  }
  {
    // The extractor reports links it takes away again when it goes: before the report does.
    SafeExtractor extractor(output_path_, report);
    const std::vector<RarMemberInfo>& members = reader->Members();
    for (std::size_t index = 0; index < members.size(); ++index) {
      const RarMemberInfo& member = members[index];
      // "\" and "/" are the same separator: the host passes stored paths with "\".
      if (!extract_what_.empty() && !MemberNameStartsWith(member.name, extract_what_)) continue;
      report.Selected(member.name, member.encrypted
                                       ? "encrypted, and not opened with the password given"
                                       : "not written");
      if (member.encrypted) {
        if (password.empty()) password = prompt_.Ask({archive_file_, member.name, false});
        if (password.empty()) {
          report.Result(false);
          break;
        }
      }
      reader->Extract(index, password, extractor, report);
      report.EndMember();
    }
  }
  if (report.report().result && !reader->Unread().empty()) {
    report.Unread(reader->HeadersEncrypted() && reader->Members().empty()
                      ? "the member headers cannot be decrypted: wrong password"
                      : reader->Unread());
  }
  return report.Take();
}

}  // namespace svregistration::archive
