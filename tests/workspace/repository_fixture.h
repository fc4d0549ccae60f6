// A fresh workspace database in a temporary folder, with its repository and log, for the tests
// of the workspace repository.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "support/temp_dir.h"
#include "svregistration/error.h"
#include "workspace/repository/database.h"
#include "workspace/repository/log_store.h"
#include "workspace/repository/repository.h"

namespace svregistration::workspace::testing {

class RepositoryTest : public ::testing::Test {
 protected:
  RepositoryTest()
      : path_(dir_ / "workspace.db"),
        database_(Database::Create(path_)),
        repository_(SqliteRepository::Make(database_)) {}

  /// Creates an object of the type and name.
  std::shared_ptr<host::RepositoryObject> New(const std::string& type, std::string name) {
    return repository_->NewObject(type, name);
  }

  /// Creates an object with attributes set in one update.
  std::shared_ptr<host::RepositoryObject> NewWith(
      const std::string& type, std::string name,
      std::initializer_list<std::pair<std::string, std::string>> attributes) {
    auto object = New(type, std::move(name));
    object->BeginUpdate();
    for (const auto& [attribute, value] : attributes) object->SetAttribute(attribute, value);
    object->EndUpdate();
    return object;
  }

  svregistration::testing::TempDir dir_;
  std::string path_;
  std::shared_ptr<Database> database_;
  std::shared_ptr<SqliteRepository> repository_;
};

/// Runs `call` and returns the Error it raises (failing the test when it raises none).
inline Error ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "no error was raised";
  return Error(0, "", "");
}

/// The ids a cursor lists, walking it to its end.
inline std::vector<std::string> Ids(host::ObjectCursor& cursor) {
  std::vector<std::string> ids;
  for (; !cursor.Eof(); cursor.MoveNext()) ids.push_back(cursor.Item()->Id());
  return ids;
}

}  // namespace svregistration::workspace::testing
