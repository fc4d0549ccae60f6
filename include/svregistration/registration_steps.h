// Registration in steps, for a host that registers many files: each file's copy is planned and
// then recorded on the calling thread, in the order of the files, and made in between on any
// thread. The copies of the next files can so be written while the repository records the
// earlier ones. RegisterEx is the three steps in a row and answers what Record answers.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/results.h"

namespace svregistration {

class SVStandard;

namespace host {
class Workspace;
}

namespace registration {
struct PlannedCopy;
}

/// One file's copy, planned. Make writes it; RegistrationSteps::Record then records it. A copy
/// made and dropped without being recorded is removed again.
class SVREG_API RegistrationCopy {
 public:
  RegistrationCopy(RegistrationCopy&& other) noexcept;
  RegistrationCopy& operator=(RegistrationCopy&& other) noexcept;
  ~RegistrationCopy();

  /// The copy's path relative to the workspace root ("/" before the file's own name).
  const std::string& relative_path() const;
  /// True when nothing (no file, no link) stood at the copy's name when it was planned.
  bool fresh() const;
  /// True when Make reads nothing but the two files and the plan, so that it may run on another
  /// thread, beside other copies and the service's own calls; false when it needs the service
  /// (an EBCDIC conversion through its cached table), a host's own FileUtility, or a Sources
  /// folder that is not there yet: then it is made on the thread that planned it.
  bool makes_anywhere() const;
  /// Checks the file and the copy's name, then writes the copy. Never raises: Record tells what
  /// became of it. Called once.
  void Make() noexcept;

 private:
  friend class RegistrationSteps;
  explicit RegistrationCopy(std::unique_ptr<registration::PlannedCopy> planned);

  std::unique_ptr<registration::PlannedCopy> planned_;
};

/// The steps of registration into one workspace through one service. While this lives, the
/// workspace folder and each Sources folder that exists stay open (resolved beneath the
/// workspace once, not for every file), and the options and protected paths are those read
/// when it began.
class SVREG_API RegistrationSteps {
 public:
  /// With `with_encoding` the copies are normalised as the options say.
  RegistrationSteps(SVStandard& service, std::shared_ptr<host::Workspace> workspace,
                    bool with_encoding);
  ~RegistrationSteps();
  RegistrationSteps(const RegistrationSteps&) = delete;
  RegistrationSteps& operator=(const RegistrationSteps&) = delete;

  /// Plans the copy of `source` registered as an object of `type`. Raises what Register raises
  /// before it copies (a type the repository lacks, a workspace folder that cannot be opened).
  RegistrationCopy Plan(const std::string& type, const std::string& source);
  /// Records a copy Make made: the object found or created as `name`, its attributes, the
  /// handler's answer, the log. Raises what Register raises; sets RegisteredObjectId. The host's
  /// own `attributes`, if any, are written in the one update that records the sources, before
  /// the handler is asked.
  SVRegistrationResults Record(
      RegistrationCopy& copy, std::string& name,
      const std::vector<std::pair<std::string, std::string>>& attributes = {});

 private:
  struct Open;  // the workspace folder and the Sources folders, open

  SVStandard& service_;
  std::shared_ptr<host::Workspace> workspace_;
  bool with_encoding_;
  std::unique_ptr<Open> open_;
};

}  // namespace svregistration
