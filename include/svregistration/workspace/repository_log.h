// The workspace log, kept in the workspace database: records with a time, a title, a severity,
// an object id (or none) and a text.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "svregistration/export.h"
#include "svregistration/host/workspace.h"

namespace svregistration::workspace {

class Database;

struct LogEntry {
  /// Order of writing (1 for the first record).
  std::int64_t sequence = 0;
  /// When the record was written: UTC, ISO 8601 with milliseconds ("2024-05-01T12:34:56.789Z").
  std::string time;
  std::string title;
  int severity = 0;
  std::optional<std::string> object_id;
  std::string text;
};

class SVREG_API RepositoryLog final : public host::WorkspaceLog {
 public:
  static std::shared_ptr<RepositoryLog> Make(std::shared_ptr<Database> database) {
    return std::make_shared<RepositoryLog>(std::move(database));
  }
  explicit RepositoryLog(std::shared_ptr<Database> database) : database_(std::move(database)) {}

  /// Stores the record with the current time, committed at once (the repository holds no
  /// transaction open between calls).
  void Add(const std::string& title, int severity, const std::optional<std::string>& object_id,
           const std::string& text) override;

  /// The records, oldest first.
  std::vector<LogEntry> Records();

  /// The records written through this log since it was made, oldest first (without their
  /// sequence): what this process logged, whatever other runs wrote meanwhile.
  const std::vector<LogEntry>& Written() const { return written_; }

 private:
  std::shared_ptr<Database> database_;
  std::vector<LogEntry> written_;
};

}  // namespace svregistration::workspace
