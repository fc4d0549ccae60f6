// A fresh workspace database, with its repository and log, for the tests of the workspace
// repository: each test runs on an SQLite file in a temporary folder and on a database of the
// tests' PostgreSQL server.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "support/error_capture.h"
#include "support/postgres_server.h"
#include "support/temp_dir.h"
#include "svregistration/error.h"
#include "svregistration/workspace/repository.h"
#include "svregistration/workspace/repository_log.h"
#include "workspace/repository/database.h"
#include "workspace/repository/postgres_module.h"

namespace svregistration::workspace::testing {

using svregistration::testing::CaptureError;
using svregistration::testing::ErrorNumber;
using svregistration::testing::ExpectError;

class RepositoryTest : public ::testing::TestWithParam<svregistration::testing::Backend> {
 protected:
  void SetUp() override {
    SVREG_SKIP_WITHOUT_POSTGRES(GetParam(), uri_);
    database_ = uri_.empty() ? Database::Create(path_) : CreatePostgresDatabase(uri_);
    repository_ = WorkspaceRepository::Make(database_);
  }

  /// A second connection to the same database, as another process would have.
  std::shared_ptr<Database> Connect() const {
    return uri_.empty() ? Database::Open(path_) : OpenPostgresDatabase(uri_);
  }

  /// Creates an object of the type and name.
  std::shared_ptr<host::RepositoryObject> New(const std::string& type, std::string name) {
    return repository_->NewObject(type, name);
  }

  using Attributes = std::initializer_list<std::pair<std::string, std::string>>;

  /// Sets the attributes in one update.
  static void Update(host::RepositoryObject& object, Attributes attributes) {
    object.BeginUpdate();
    for (const auto& [attribute, value] : attributes) object.SetAttribute(attribute, value);
    object.EndUpdate();
  }

  /// Creates an object with attributes set in one update.
  std::shared_ptr<host::RepositoryObject> NewWith(const std::string& type, std::string name,
                                                  Attributes attributes) {
    auto object = New(type, std::move(name));
    Update(*object, attributes);
    return object;
  }

  /// Ends the open batch while another connection unregisters the object, and expects that
  /// unregistration to have waited for the commit.
  void ExpectUnregistrationToWaitForTheCommit(const std::string& id) {
    std::atomic<bool> committed = false;
    std::thread other([&] {
      auto repository = WorkspaceRepository::Make(Connect());
      host::EntryList entries;
      repository->ObjectById(id)->UnregisterObject(entries);
      EXPECT_TRUE(committed.load());
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the other writer tries
    committed = true;
    database_->EndBatch();
    other.join();
  }

  svregistration::testing::TempDir dir_;
  std::string path_ = dir_ / "workspace.db";
  std::string uri_;
  std::shared_ptr<Database> database_;
  std::shared_ptr<WorkspaceRepository> repository_;
};

/// The ids a cursor lists, walking it to its end.
inline std::vector<std::string> Ids(host::ObjectCursor& cursor) {
  std::vector<std::string> ids;
  for (; !cursor.Eof(); cursor.MoveNext()) ids.push_back(cursor.Item()->Id());
  return ids;
}

}  // namespace svregistration::workspace::testing
