// One extraction of zip archive members: the archive, the output folder, the pattern that
// selects members and the prompt that gives passwords, walked once with libarchive.
#pragma once

#include <functional>
#include <string>

#include "archive/archive_handle.h"
#include "svregistration/extraction_report.h"
#include "svregistration/user_interface.h"

namespace svregistration::archive {

/// Makes the reader an extraction walks: libarchive set up to read zip archives. Raises Error
/// when it cannot be set up.
using ZipReaderFactory = std::function<ReadHandle()>;
ReadHandle NewZipReader();

class ZipExtraction {
 public:
  /// Extraction into `output_path` of the members that `pattern` selects (WildcardMatch, "\"
  /// read as "/"; every member when it is empty), keeping stored folders and overwriting
  /// existing files.
  ZipExtraction(std::string archive_file, std::string output_path, std::string pattern,
                PasswordPrompt& prompt, ZipReaderFactory make_reader = &NewZipReader);

  /// Runs it. The prompt is asked whenever an encrypted member needs a password that none of
  /// the earlier answers gives, until one answer is empty; after that no question is asked.
  /// Raises Error only when the reader cannot be made.
  ExtractionReport Run();

  /// libarchive's passphrase callback, in the extraction's terms.
  const char* AskPassphrase();

 private:
  std::string archive_file_;
  std::string output_path_;
  std::string pattern_;
  PasswordPrompt& prompt_;
  ZipReaderFactory make_reader_;

  std::string member_;  // the member being read
  std::string last_asked_;
  bool asked_ = false;
  bool refused_ = false;
  /// The UTF-8 bytes of the last answer when they differ from its ANSI bytes: what is handed
  /// over next, before asking again, since newer tools encrypt with those.
  std::string retry_;
  std::string answer_;  // kept alive for libarchive
};

/// Runs `extraction` as ZIP.Extract does: only an extraction that cannot run at all is reported,
/// in `ui`'s message box with the error's description and number; the answer is always true.
bool RunAsZipExtract(ZipExtraction& extraction, UserInterface& ui);

}  // namespace svregistration::archive
