// Writing and reading log records.
#include "svregistration/workspace/repository_log.h"

#include <fmt/core.h>

#include <chrono>
#include <ctime>

#include "workspace/repository/database.h"

namespace svregistration::workspace {

namespace {

std::string CurrentTime() {
  using std::chrono::system_clock;
  system_clock::time_point now = system_clock::now();
  auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::time_t seconds = system_clock::to_time_t(now);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", utc.tm_year + 1900,
                     utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                     milliseconds);
}

}  // namespace

void RepositoryLog::Add(const std::string& title, int severity,
                        const std::optional<std::string>& object_id, const std::string& text) {
  Transaction transaction(*database_, fmt::format("writing the log record '{}'", title));
  std::string time = CurrentTime();
  database_
      ->Prepare(
          "INSERT INTO log (time, title, severity, object_id, text) VALUES (?1, ?2, ?3, ?4, ?5)")
      .Bind(1, time)
      .Bind(2, title)
      .Bind(3, severity)
      .Bind(4, object_id)
      .Bind(5, text)
      .Run();
  transaction.Commit();
  written_.push_back(LogEntry{0, std::move(time), title, severity, object_id, text});
}

std::vector<LogEntry> RepositoryLog::Records() {
  Statement statement =
      database_->Prepare("SELECT id, time, title, severity, object_id, text FROM log ORDER BY id");
  std::vector<LogEntry> records;
  while (statement.Step()) {
    LogEntry entry;
    entry.sequence = statement.Int(0);
    entry.time = statement.Text(1);
    entry.title = statement.Text(2);
    entry.severity = static_cast<int>(statement.Int(3));
    if (!statement.IsNull(4)) entry.object_id = statement.Text(4);
    entry.text = statement.Text(5);
    records.push_back(std::move(entry));
  }
  return records;
}

}  // namespace svregistration::workspace
