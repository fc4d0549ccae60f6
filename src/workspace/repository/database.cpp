// What every workspace database connection shares: the statement cache, write transactions and
// batches.
#include "workspace/repository/database.h"

#include <fmt/core.h>

#include <utility>

namespace svregistration::workspace {

std::string ShortSql(std::string_view sql) {
  constexpr std::size_t kMaxLength = 120;
  std::string text;
  bool space = false;
  for (char c : sql) {
    if (c == ' ' || c == '\n' || c == '\t' || c == '\r') {
      space = !text.empty();
      continue;
    }
    if (space) text += ' ';
    space = false;
    text += c;
    if (text.size() > kMaxLength) {
      text += "...";
      break;
    }
  }
  return text;
}

// ---------------------------------------------------------------------------------------------
// Statement

Statement::Statement(Database* database, PreparedStatement* statement, bool* busy,
                     std::unique_ptr<PreparedStatement> owned, std::string_view sql)
    : database_(database), statement_(statement), busy_(busy), owned_(std::move(owned)), sql_(sql) {
  if (busy_ != nullptr) *busy_ = true;
}

Statement::Statement(Statement&& other) noexcept
    : database_(other.database_),
      statement_(std::exchange(other.statement_, nullptr)),
      busy_(std::exchange(other.busy_, nullptr)),
      owned_(std::move(other.owned_)),
      sql_(other.sql_) {}

Statement::~Statement() {
  if (statement_ == nullptr || busy_ == nullptr) return;
  statement_->Reset();
  *busy_ = false;
}

Statement& Statement::Bind(int index, std::string_view text) {
  statement_->BindText(index, text);
  return *this;
}

Statement& Statement::Bind(int index, std::int64_t value) {
  statement_->BindInt(index, value);
  return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::string>& text) {
  if (text) return Bind(index, std::string_view(*text));
  statement_->BindNull(index);
  return *this;
}

bool Statement::Step() { return statement_->Step(); }

void Statement::Run() {
  while (Step()) {
  }
}

// ---------------------------------------------------------------------------------------------
// Database

Database::~Database() = default;

Error Database::Failure(std::string_view step, std::string_view message) const {
  return Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
               fmt::format("{} failed in the workspace database '{}': {}", step, path_, message));
}

Statement Database::Prepare(std::string_view sql) {
  auto it = cache_.find(sql);
  const bool inserted = it == cache_.end();
  if (inserted) it = cache_.try_emplace(std::string(sql)).first;
  CachedStatement& cached = it->second;
  if (cached.statement != nullptr && !cached.busy) {
    return Statement(this, cached.statement.get(), &cached.busy, nullptr, it->first);
  }
  std::unique_ptr<PreparedStatement> statement;
  try {
    statement = PrepareStatement(sql);
  } catch (...) {
    if (inserted) cache_.erase(it);
    throw;
  }
  if (cached.statement == nullptr) {
    cached.statement = std::move(statement);
    return Statement(this, cached.statement.get(), &cached.busy, nullptr, it->first);
  }
  // The cached statement is in use further up the stack: this use gets its own.
  PreparedStatement* own = statement.get();
  return Statement(this, own, nullptr, std::move(statement), it->first);
}

void Database::BeginBatch(std::chrono::milliseconds window, bool commit_when_asked) {
  if (batching_) return;
  BeginWrite();
  batching_ = true;
  commit_when_asked_ = commit_when_asked;
  window_ = window;
  batch_started_ = std::chrono::steady_clock::now();
}

bool Database::BatchDue() const {
  return batching_ && depth_ == 0 && std::chrono::steady_clock::now() - batch_started_ >= window_;
}

bool Database::CommitBatchIfDue() {
  if (!BatchDue()) return false;
  CommitOrRollBack();
  BetweenBatches();
  BeginWrite();
  batch_started_ = std::chrono::steady_clock::now();
  return true;
}

void Database::EndBatch() {
  if (!batching_) return;
  batching_ = false;
  if (InTransaction()) CommitOrRollBack();
}

// A COMMIT that fails (a full disk, say) may leave the transaction open: it is rolled back, so
// that nothing of the batch is taken for kept, and the failure is raised.
void Database::CommitOrRollBack() {
  try {
    Execute("COMMIT");
  } catch (const Error&) {
    batching_ = false;
    try {
      if (InTransaction()) Execute("ROLLBACK");
    } catch (const Error&) {
      // The engine has rolled back by itself; the COMMIT's failure is the one to report.
    }
    throw;
  }
}

void Database::ChangeCommitted() {
  if (!commit_when_asked_) CommitBatchIfDue();
}

// ---------------------------------------------------------------------------------------------
// Transaction

Transaction::Transaction(Database& database, std::string what, bool one_statement)
    : database_(database),
      what_(std::move(what)),
      nested_(database.InTransaction()),
      savepoint_(nested_ && !(one_statement && database.dialect() == Dialect::kSqlite)) {
  Begin();
}

Transaction::Transaction(Database& database, std::function<std::string()> what, bool one_statement)
    : database_(database),
      describe_(std::move(what)),
      nested_(database.InTransaction()),
      savepoint_(nested_ && !(one_statement && database.dialect() == Dialect::kSqlite)) {
  Begin();
}

void Transaction::Begin() {
  try {
    if (savepoint_) {
      database_.Execute("SAVEPOINT nested");
    } else if (!nested_) {
      database_.BeginWrite();
    }
  } catch (const Error& error) {
    throw Error(error.number(), error.source(),
                fmt::format("{}: cannot start the change: {}", What(), error.description()));
  }
  ++database_.depth_;
}

Transaction::~Transaction() {
  if (!open_) return;
  --database_.depth_;
  if (nested_ && !savepoint_) return;  // the failed statement has undone itself
  try {
    database_.Execute(nested_ ? "ROLLBACK TO nested; RELEASE nested" : "ROLLBACK");
  } catch (const Error&) {
    // The engine may already have rolled the transaction back itself (after an I/O error or a
    // lost connection, for example); there is nothing more to undo.
  }
}

void Transaction::Commit() {
  try {
    if (savepoint_ || !nested_) database_.Execute(nested_ ? "RELEASE nested" : "COMMIT");
  } catch (const Error& error) {
    throw Error(error.number(), error.source(),
                fmt::format("{}: cannot commit the change: {}", What(), error.description()));
  }
  open_ = false;
  --database_.depth_;
  database_.ChangeCommitted();
}

}  // namespace svregistration::workspace
