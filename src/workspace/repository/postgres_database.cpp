// The PostgreSQL workspace database over libpq: connection strings, statements prepared on the
// server, transactions.
#include "workspace/repository/postgres_database.h"

#include <fmt/core.h>
#include <libpq-fe.h>
#include <unicode/utf8.h>

#include <charconv>
#include <optional>
#include <vector>

namespace svregistration::workspace {

namespace {

Error BadLocation(std::string_view why) {
  return Error(kInvalidArgument, kDatabaseErrorSource,
               fmt::format("the repository connection string {}", why));
}

// libpq ends its messages with a newline.
std::string Message(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  return std::string(text);
}

// Numbered parameters become PostgreSQL's: ?3 is $3. Quoted text is left alone.
std::string ToPostgresParameters(std::string_view sql) {
  std::string text;
  text.reserve(sql.size());
  bool quoted = false;
  for (char c : sql) {
    if (c == '\'') quoted = !quoted;
    text += (c == '?' && !quoted) ? '$' : c;
  }
  return text;
}

// True when `text` is UTF-8 without NUL characters (which the server cannot store either).
bool IsUtf8Text(std::string_view text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    if (c <= 0) return false;
  }
  return true;
}

// The text with every byte that is not printable ASCII written as \xNN, for messages.
std::string Visible(std::string_view text) {
  std::string shown;
  for (char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (c >= 0x20 && c < 0x7F) {
      shown.push_back(static_cast<char>(c));
    } else {
      shown += fmt::format("\\x{:02X}", c);
    }
  }
  return shown;
}

// The result of one command, freed with it.
struct Result {
  explicit Result(PGresult* value) : result(value) {}
  ~Result() { PQclear(result); }
  Result(const Result&) = delete;
  Result& operator=(const Result&) = delete;
  bool Ok() const {
    ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
  }
  PGresult* result;
};

class PostgresStatement final : public PreparedStatement {
 public:
  PostgresStatement(PostgresDatabase& database, std::string name, std::string_view sql)
      : database_(database), name_(std::move(name)), sql_(sql) {}
  ~PostgresStatement() override { PQclear(result_); }

  // The server keeps text in UTF-8 and refuses anything else with an error that aborts the whole
  // transaction around the statement (a batch of good files with it): a text that is not UTF-8
  // (a file name in another encoding, say) is refused here, before it is sent.
  void BindText(int index, std::string_view text) override {
    if (!IsUtf8Text(text)) {
      throw Error(kInvalidArgument, kDatabaseErrorSource,
                  fmt::format("'{}' is not UTF-8 text: a repository on a PostgreSQL server keeps "
                              "names and paths in UTF-8",
                              Visible(text)));
    }
    Slot(index) = std::string(text);
  }
  void BindInt(int index, std::int64_t value) override { Slot(index) = std::to_string(value); }
  void BindNull(int index) override { Slot(index).reset(); }

  bool Step() override {
    if (result_ == nullptr) {
      Execute();
    } else {
      ++row_;
    }
    return row_ < PQntuples(result_);
  }
  std::int64_t Int(int column) const override {
    const char* text = PQgetvalue(result_, row_, column);
    std::int64_t value = 0;
    std::from_chars(text, text + PQgetlength(result_, row_, column), value);
    return value;
  }
  std::string Text(int column) const override {
    return std::string(PQgetvalue(result_, row_, column),
                       static_cast<std::size_t>(PQgetlength(result_, row_, column)));
  }
  bool IsNull(int column) const override { return PQgetisnull(result_, row_, column) == 1; }
  void Reset() override {
    PQclear(result_);
    result_ = nullptr;
    row_ = 0;
    parameters_.clear();
  }

 private:
  std::optional<std::string>& Slot(int index) {
    auto slot = static_cast<std::size_t>(index);
    if (parameters_.size() < slot) parameters_.resize(slot);
    return parameters_[slot - 1];
  }

  void Execute() {
    std::vector<const char*> values;
    for (const auto& parameter : parameters_) {
      values.push_back(parameter ? parameter->c_str() : nullptr);
    }
    std::string why;
    result_ = database_.ExecutePrepared(name_, values, why);
    if (!why.empty()) throw database_.Failure(fmt::format("running '{}'", ShortSql(sql_)), why);
    const char* changed = PQcmdTuples(result_);
    int changes = 0;
    std::from_chars(changed, changed + std::char_traits<char>::length(changed), changes);
    database_.SetChanges(changes);
    row_ = 0;
  }

  PostgresDatabase& database_;
  std::string name_;
  std::string sql_;
  std::vector<std::optional<std::string>> parameters_;
  PGresult* result_ = nullptr;
  int row_ = 0;
};

void IgnoreNotice(void*, const char*) {}

}  // namespace

std::string CheckConnectionString(const std::string& location) {
  std::string conninfo = location;
  bool uri = location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
  if (!uri && location.find('=') == std::string::npos) {
    if (location.empty() || location.find_first_of(" /'\\") != std::string::npos) {
      throw BadLocation(fmt::format(
          "'{}' is neither a postgresql:// URI, keyword=value pairs nor a service name", location));
    }
    conninfo = "service=" + location;
  }
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
  if (options == nullptr) {
    std::string why = error != nullptr ? Message(error) : "out of memory";
    PQfreemem(error);
    throw BadLocation(fmt::format("is not understood: {}", why));
  }
  bool has_password = false;
  for (PQconninfoOption* option = options; option->keyword != nullptr; ++option) {
    if (std::string_view(option->keyword) == "password" && option->val != nullptr &&
        option->val[0] != '\0') {
      has_password = true;
    }
  }
  PQconninfoFree(options);
  if (has_password) {
    throw BadLocation(
        "holds a password, and the workspace would record it: leave it out and give it in "
        "~/.pgpass, in PGPASSWORD or in a service file (~/.pg_service.conf with PGSERVICEFILE)");
  }
  return conninfo;
}

PostgresDatabase::PostgresDatabase(pg_conn* connection, std::string description)
    : Database(std::move(description), Dialect::kPostgres), connection_(connection) {}

PostgresDatabase::~PostgresDatabase() {
  ClearStatementCache();
  PQfinish(connection_);
}

std::shared_ptr<PostgresDatabase> PostgresDatabase::Connect(const std::string& location) {
  std::string conninfo = CheckConnectionString(location);
  const char* keywords[] = {"dbname", "fallback_application_name", "client_encoding", nullptr};
  const char* values[] = {conninfo.c_str(), "svreg", "UTF8", nullptr};
  pg_conn* connection = PQconnectdbParams(keywords, values, 1);
  if (connection == nullptr) {
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                "cannot connect to the workspace repository: out of memory");
  }
  // Names the database and the server only: the user and any password stay out of messages.
  const char* host = PQhost(connection);
  const char* port = PQport(connection);
  const char* name = PQdb(connection);
  std::string description = fmt::format("{} on {}:{}", name != nullptr ? name : "",
                                        host != nullptr ? host : "", port != nullptr ? port : "");
  if (PQstatus(connection) != CONNECTION_OK) {
    std::string why = Message(PQerrorMessage(connection));
    PQfinish(connection);
    throw Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
                fmt::format("cannot connect to the workspace database '{}': {}", description, why));
  }
  PQsetNoticeProcessor(connection, IgnoreNotice, nullptr);
  return std::shared_ptr<PostgresDatabase>(new PostgresDatabase(connection, description));
}

std::unique_ptr<PreparedStatement> PostgresDatabase::PrepareStatement(std::string_view sql) {
  auto [it, inserted] = prepared_names_.try_emplace(std::string(sql));
  if (inserted) {
    std::string name = fmt::format("s{}", prepared_names_.size());
    Result result(
        PQprepare(connection_, name.c_str(), ToPostgresParameters(sql).c_str(), 0, nullptr));
    if (!result.Ok()) {
      prepared_names_.erase(it);
      throw Failure(fmt::format("preparing '{}'", ShortSql(sql)),
                    Message(PQresultErrorMessage(result.result)));
    }
    it->second = std::move(name);
  }
  return std::make_unique<PostgresStatement>(*this, it->second, sql);
}

namespace {

constexpr const char* kSavepoint = "SAVEPOINT nested";
constexpr const char* kRelease = "RELEASE nested";
constexpr const char* kRollbackTo = "ROLLBACK TO nested; RELEASE nested";

// The first failure among a pipeline's results, or "" when there is none.
std::string PipelineFailure(PGresult* result, pg_conn* connection) {
  switch (PQresultStatus(result)) {
    case PGRES_COMMAND_OK:
    case PGRES_TUPLES_OK:
      return {};
    case PGRES_PIPELINE_ABORTED:
      return "an earlier command of the transaction failed";
    default:
      return Message(result != nullptr ? PQresultErrorMessage(result) : PQerrorMessage(connection));
  }
}

}  // namespace

// The savepoints that make each change of a transaction whole are kept back and sent with the
// change's first statement, their releases with the next statement after: one round trip to the
// server instead of three. A change that ran no statement needs no savepoint at all.
bool PostgresDatabase::Defer(std::string_view sql) {
  bool savepoint_last = !deferred_.empty() && deferred_.back() == kSavepoint;
  if (sql == kSavepoint) {
    deferred_.push_back(kSavepoint);
  } else if (sql == kRelease && savepoint_last) {
    deferred_.pop_back();
  } else if (sql == kRelease) {
    deferred_.push_back(kRelease);
  } else if (sql == kRollbackTo && savepoint_last) {
    deferred_.pop_back();
  } else {
    return false;
  }
  return true;
}

PGresult* PostgresDatabase::ExecutePrepared(const std::string& name,
                                            const std::vector<const char*>& values,
                                            std::string& why) {
  auto count = static_cast<int>(values.size());
  if (deferred_.empty()) {
    PGresult* result =
        PQexecPrepared(connection_, name.c_str(), count, values.data(), nullptr, nullptr, 0);
    why = PipelineFailure(result, connection_);
    return result;
  }
  std::vector<const char*> commands = std::move(deferred_);
  deferred_.clear();
  PQenterPipelineMode(connection_);
  for (const char* command : commands) {
    PQsendQueryParams(connection_, command, 0, nullptr, nullptr, nullptr, nullptr, 0);
  }
  PQsendQueryPrepared(connection_, name.c_str(), count, values.data(), nullptr, nullptr, 0);
  PQpipelineSync(connection_);
  PGresult* result = nullptr;
  for (std::size_t i = 0; i <= commands.size(); ++i) {
    PQclear(result);
    result = PQgetResult(connection_);
    if (why.empty()) why = PipelineFailure(result, connection_);
    while (PGresult* rest = PQgetResult(connection_)) PQclear(rest);  // up to the command's end
  }
  // The sync's own result ends the pipeline.
  while (PGresult* sync = PQgetResult(connection_)) {
    bool done = PQresultStatus(sync) == PGRES_PIPELINE_SYNC;
    PQclear(sync);
    if (done) break;
  }
  PQexitPipelineMode(connection_);
  return result;
}

void PostgresDatabase::ExecuteText(std::string_view sql) {
  if (Defer(sql)) return;
  if (sql == "ROLLBACK") deferred_.clear();
  std::string text;
  for (const char* command : deferred_) text += std::string(command) + "; ";
  deferred_.clear();
  text += sql;
  Result result(PQexec(connection_, text.c_str()));
  if (!result.Ok()) {
    std::string why = Message(result.result != nullptr ? PQresultErrorMessage(result.result)
                                                       : PQerrorMessage(connection_));
    throw Failure(fmt::format("running '{}'", ShortSql(sql)), why);
  }
  // The server answers the COMMIT of a transaction that a failed statement aborted with a
  // rollback, not an error: nothing of it was kept, and the caller must hear so.
  if (sql == "COMMIT" && std::string_view(PQcmdStatus(result.result)) == "ROLLBACK") {
    throw Failure("running 'COMMIT'",
                  "a statement of the transaction had failed, so the server rolled it back");
  }
}

bool PostgresDatabase::InTransaction() const {
  return PQtransactionStatus(connection_) != PQTRANS_IDLE;
}

// Writers lock the rows they change as they go; nothing is locked at the start.
void PostgresDatabase::BeginWrite() { Execute("BEGIN"); }

// The repository asks the server through RETURNING; this answers other callers a round trip
// later.
std::int64_t PostgresDatabase::LastInsertId() {
  Statement statement = Prepare("SELECT lastval()");
  if (!statement.Step()) throw Failure("reading the last inserted id", "no value");
  return statement.Int(0);
}

}  // namespace svregistration::workspace
