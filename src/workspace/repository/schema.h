// The layout of a workspace database: its tables and indexes, the marks that identify it as a
// workspace database with the version of its layout, and the object types every new workspace
// starts with.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace svregistration::workspace {

class Database;

/// The mark of a workspace database ("SVRG"): PRAGMA application_id of an SQLite file, the
/// application column of the workspace_schema table on a server.
inline constexpr std::int32_t kWorkspaceApplicationId = 0x53565247;
/// The layout this code reads and writes (PRAGMA user_version, workspace_schema.version). A
/// database of an older layout is brought up to this one when it is opened.
inline constexpr int kWorkspaceSchemaVersion = 2;

/// The type code of folder objects.
inline constexpr std::string_view kFolderTypeCode = "FOLDER";
/// The relation from an object to a folder it belongs to.
inline constexpr std::string_view kBelongsTo = "BelongsTo";
/// The attribute that mirrors the object's name.
inline constexpr std::string_view kNameAttribute = "Name";
/// The attribute holding the path of the file an object was registered from.
inline constexpr std::string_view kOriginalSourceAttribute = "OriginalSource";

/// Class names of the built-in registration handlers, and a name no class has (for a type whose
/// handler cannot be created).
inline constexpr std::string_view kAcceptHandlerClass = "Workspace.AcceptHandler";
inline constexpr std::string_view kExtensionHandlerClass = "Workspace.ExtensionHandler";
inline constexpr std::string_view kMissingHandlerClass = "Workspace.NoSuchHandler";

struct BuiltInObjectType {
  std::string_view code;
  std::string_view display_name;
  std::string_view source_attribute;
  std::string_view handler;
};

/// The object types made with every workspace. Folders have no registered copy and no handler.
/// COBOL programs and BMS maps are accepted by their extension; every default type names a
/// handler that exists.
inline constexpr std::array<BuiltInObjectType, 6> kBuiltInObjectTypes = {{
    {kFolderTypeCode, "Folder", "", ""},
    {"COBOL", "COBOL program", "Source", kExtensionHandlerClass},
    {"COPYBOOK", "Copybook", "Source", kAcceptHandlerClass},
    {"JCL", "JCL job", "Source", kAcceptHandlerClass},
    {"PLI", "PL/I program", "Source", kAcceptHandlerClass},
    {"BMS", "BMS map", "Source", kExtensionHandlerClass},
}};

/// Creates the tables, indexes and built-in object types in an empty database, and marks it as a
/// workspace database; one transaction. Error 58 naming the database when it holds a workspace.
void CreateSchema(Database& database);

/// Checks that the database is a workspace database of a layout this code knows and that its
/// tables are there, and brings an older layout up to date; raises Error 75 naming the database
/// otherwise. Switches an SQLite connection to write-ahead logging.
void VerifySchema(Database& database);

}  // namespace svregistration::workspace
