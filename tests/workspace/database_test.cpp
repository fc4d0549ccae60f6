// The workspace database file: creating and opening it, refusing files that are not workspace
// databases, errors that name the step and the file, transactions, and a second writer getting
// in between the batches of a long run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "workspace/repository_fixture.h"

namespace svregistration::workspace::testing {
namespace {

using ::testing::HasSubstr;

// Runs SQL on a file directly, outside the workspace code, with SQLite's own client.
void RawSql(const std::string& path, const std::string& sql) {
  ASSERT_EQ(std::system(("sqlite3 '" + path + "' \"" + sql + "\"").c_str()), 0) << sql;
}

// Adds a JCL object by SQL alone, as one change of a run would.
void InsertJob(Database& database, const std::string& name) {
  database.Prepare("INSERT INTO objects (type_code, name, name_key) VALUES ('JCL', ?1, ?1)")
      .Bind(1, name)
      .Run();
}

// A temporary folder and the path of a workspace database in it.
class WorkspaceDatabaseTest : public ::testing::Test {
 protected:
  svregistration::testing::TempDir dir;
  std::string path = dir / "workspace.db";
};

TEST_F(WorkspaceDatabaseTest, CreatesOnceAndOpensAgain) {
  InsertJob(*Database::Create(path), "PAY");
  auto database = Database::Open(path);
  EXPECT_EQ(WorkspaceRepository::Make(database)->CountObjects("JCL", ""), 1);
  Statement mode = database->Prepare("PRAGMA journal_mode");
  ASSERT_TRUE(mode.Step());
  EXPECT_EQ(mode.Text(0), "wal");

  ExpectError([&] { Database::Create(path); }, kFileAlreadyExists, path);
  ExpectError([&] { Database::Open(dir / "none.db"); }, error_number::kFileNotFound,
              dir / "none.db");
  // A failed creation leaves no file.
  std::string nowhere = dir / "no-such-folder/workspace.db";
  ExpectError([&] { Database::Create(nowhere); }, error_number::kPathFileAccessError, nowhere);
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// Each file is made from a workspace database (or an empty file) by the SQL; the error names it
// and says what it is.
TEST_F(WorkspaceDatabaseTest, RefusesFilesThatAreNotWorkspaceDatabases) {
  const std::tuple<bool, const char*, const char*> cases[] = {
      {false, "CREATE TABLE notes(text TEXT)", "without the workspace tables"},
      {false, "PRAGMA application_id = 42; CREATE TABLE t(x)", "another application"},
      {true, "DROP TABLE relations", "the table 'relations' is missing"},
      {true, "PRAGMA user_version = 99", "newer"},
      {false, nullptr, "file is not a database"},  // a text file
      {true, nullptr, "is a folder"},
  };
  for (const auto& [workspace, sql, says] : cases) {
    std::filesystem::remove_all(path);
    if (workspace && sql) Database::Create(path);
    if (sql) RawSql(path, sql);
    if (!sql && workspace) std::filesystem::create_directory(path);
    if (!sql && !workspace) dir.Write("workspace.db", "       PROGRAM-ID. PAY.\n");
    ExpectError([&] { Database::Open(path); }, error_number::kPathFileAccessError,
                "'" + path + "'");
    EXPECT_THAT(CaptureError([&] { Database::Open(path); }).description(), HasSubstr(says));
  }
}

// Another program replaces a table by one with other columns: the operation fails with an error
// that names the statement, what went wrong and the file.
TEST_F(WorkspaceDatabaseTest, DamagedTableFailsTheOperationClearly) {
  auto repository = WorkspaceRepository::Make(Database::Create(path));
  std::string name = "PAY";
  auto object = repository->NewObject("COBOL", name);
  RawSql(path, "DROP TABLE attributes; CREATE TABLE attributes(x)");
  auto reopened = WorkspaceRepository::Make(Database::Open(path));
  Error error = CaptureError([&] { reopened->ObjectById(object->Id())->GetAttribute("Source"); });
  EXPECT_EQ(error.number(), error_number::kPathFileAccessError);
  EXPECT_THAT(error.description(),
              ::testing::AllOf(HasSubstr(path), HasSubstr("no such column"), HasSubstr("SELECT ")));
}

TEST_F(WorkspaceDatabaseTest, TransactionsNestAndStatementsInUseStayTheirs) {
  auto database = Database::Create(path);
  {
    Transaction outer(*database, "outer");
    InsertJob(*database, "A");
    {
      Transaction inner(*database, "inner");
      InsertJob(*database, "B");
    }  // rolled back: B only
    {
      Transaction inner(*database, "inner");
      InsertJob(*database, "C");
      inner.Commit();
    }
    outer.Commit();
  }
  {
    Transaction dropped(*database, "dropped");
    InsertJob(*database, "D");
  }
  Statement names = database->Prepare("SELECT group_concat(name, ',') FROM objects");
  ASSERT_TRUE(names.Step());
  EXPECT_EQ(names.Text(0), "A,C");
  EXPECT_FALSE(database->InTransaction());

  // A cached statement still in use is not handed out again.
  const char* sql = "SELECT code FROM object_types ORDER BY rowid";
  Statement outer = database->Prepare(sql);
  ASSERT_TRUE(outer.Step());
  Statement inner = database->Prepare(sql);
  ASSERT_TRUE(inner.Step());
  ASSERT_TRUE(outer.Step());
  EXPECT_EQ(inner.Text(0), "FOLDER");
  EXPECT_EQ(outer.Text(0), "COBOL");
}

// A long run holds the lock in batches of 50 ms for a second; a second writer gets in between
// two of them instead of waiting for the run to end (or giving up): the run hands the lock over
// when it sees a writer waiting.
TEST_F(WorkspaceDatabaseTest, WriterGetsInBetweenTheBatchesOfALongRun) {
  auto runner = Database::Create(path);
  auto repository = WorkspaceRepository::Make(Database::Open(path));
  std::atomic<bool> started{false}, run_over{false};
  std::thread run([&] {
    runner->BeginBatch(std::chrono::milliseconds(50), true);
    started = true;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i) {
      Transaction change(*runner, "one change of the run");
      InsertJob(*runner, "RUN" + std::to_string(i));
      change.Commit();
      runner->CommitBatchIfDue();
    }
    run_over = true;
    runner->EndBatch();
  });
  while (!started) std::this_thread::yield();
  std::string name = "WAITER";
  EXPECT_NO_THROW(repository->NewObject("JCL", name));
  EXPECT_FALSE(run_over) << "the writer waited for the whole run";
  run.join();
}

}  // namespace
}  // namespace svregistration::workspace::testing
