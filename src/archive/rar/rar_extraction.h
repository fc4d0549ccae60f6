// One extraction of RAR archive members: opens the archive (its volumes found by name) once,
// walks its member headers, asks for the password once when a member to be extracted is
// encrypted, and extracts or skips each member.
#pragma once

#include <string>

#include "svregistration/extraction_report.h"

namespace svregistration::archive {

class RarExtraction {
 public:
  /// Extraction into `output_path` of the members whose stored path begins with `extract_what`
  /// (letter case ignored, "\" and "/" alike; every member when it is empty), under their
  /// stored paths, the password asked through `prompt`.
  RarExtraction(std::string archive_file, std::string output_path, std::string extract_what,
                PasswordPrompt& prompt);

  /// Runs it. The report's result is false when the archive cannot be opened or the password
  /// prompt is answered empty (members extracted before stay); true otherwise, whatever became
  /// of single members. An archive whose headers are encrypted asks before its first member,
  /// and a wrong answer there extracts nothing. A damaged header ends the walk as the end of the
  /// archive does, and is reported.
  ExtractionReport Run();

 private:
  std::string archive_file_;
  std::string output_path_;
  std::string extract_what_;
  PasswordPrompt& prompt_;
};

}  // namespace svregistration::archive
