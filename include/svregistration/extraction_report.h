// What became of an archive extraction, and how an extraction asks for a password. ZIP.Extract
// and RAR.Extract answer only true or false; their overloads that take a PasswordPrompt return
// this report, so that a caller can tell its user which archive could not be read and which
// members were not written and why.
#pragma once

#include <string>
#include <vector>

#include "svregistration/export.h"

namespace svregistration {

struct SVREG_API ExtractionReport {
  enum class Archive {
    kRead,         ///< the archive was opened and its members walked
    kMissing,      ///< no file of that name
    kNotReadable,  ///< a file, but not an archive of the kind asked for (or damaged from its start)
  };
  struct Member {
    std::string name;
    std::string reason;
  };

  /// What Extract answers.
  bool result = true;
  Archive archive = Archive::kRead;
  /// Members selected for extraction that are not on disk, in archive order.
  std::vector<Member> not_extracted;
  /// Why the walk over the member headers stopped before the end of the archive (a damaged
  /// header, a wrong password for encrypted headers); empty when it reached the end.
  std::string unread_headers;
  /// How many selected members were written.
  std::size_t extracted = 0;
  /// How many members the selection chose (written or not).
  std::size_t selected = 0;
};

/// One question for a password.
struct SVREG_API PasswordRequest {
  std::string archive;  ///< the archive's path as the caller gave it
  std::string member;   ///< the stored name of the member that needs it
  /// True when the last answer of this extraction did not open this member.
  bool last_was_wrong = false;
};

/// Where an extraction gets its passwords. An empty answer refuses.
class SVREG_API PasswordPrompt {
 public:
  virtual ~PasswordPrompt() = default;
  virtual std::string Ask(const PasswordRequest& request) = 0;
};

}  // namespace svregistration
