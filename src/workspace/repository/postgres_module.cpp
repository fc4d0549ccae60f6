// Loads the PostgreSQL module once per process, the first time it is needed, and keeps it loaded:
// the connections it makes carry its code.
#include "workspace/repository/postgres_module.h"

#include <dlfcn.h>
#include <fmt/core.h>

#include <string_view>

#include "workspace/repository/postgres_module_interface.h"
#include "workspace/repository/schema.h"

namespace svregistration::workspace {

namespace {

Error ModuleError(const std::string& path, std::string_view why) {
  return Error(error_number::kPathFileAccessError, kDatabaseErrorSource,
               fmt::format("cannot load the PostgreSQL module '{}': {}", path, why));
}

std::string DlError() {
  const char* why = dlerror();
  return why != nullptr ? why : "unknown error";
}

#ifndef SVREG_POSTGRES_MODULE_PATH
// The folder of the shared object holding this code: the workspace library as installed or
// built. A static build for the project's tests is given the module's build path instead.
std::string OwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr ||
      info.dli_fname[0] != '/') {
    throw ModuleError(SVREG_POSTGRES_MODULE_FILE,
                      "cannot tell by its absolute path where the workspace library lies");
  }
  std::string_view path(info.dli_fname);
  return std::string(path.substr(0, path.rfind('/')));
}
#endif

const PostgresModule& LoadModule() {
  static const PostgresModule& module = []() -> const PostgresModule& {
    std::string path = PostgresModulePath();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw ModuleError(path, DlError());
    auto entry = reinterpret_cast<PostgresModuleEntry>(dlsym(handle, kPostgresModuleEntry));
    if (entry == nullptr) throw ModuleError(path, DlError());
    const PostgresModule* loaded = entry();
    if (loaded == nullptr || loaded->version != kPostgresModuleVersion) {
      throw ModuleError(
          path, fmt::format("it is of version {}, the workspace library needs {}",
                            loaded != nullptr ? loaded->version : 0, kPostgresModuleVersion));
    }
    return *loaded;
  }();
  return module;
}

}  // namespace

std::string PostgresModulePath() {
#ifdef SVREG_POSTGRES_MODULE_PATH
  return SVREG_POSTGRES_MODULE_PATH;
#else
  return OwnFolder() + "/" + SVREG_POSTGRES_MODULE_FILE;
#endif
}

std::string CheckConnectionString(const std::string& location) {
  return LoadModule().check_connection_string(location);
}

std::shared_ptr<Database> CreatePostgresDatabase(const std::string& location) {
  std::shared_ptr<Database> database = LoadModule().connect(location);
  CreateSchema(*database);
  return database;
}

std::shared_ptr<Database> OpenPostgresDatabase(const std::string& location) {
  std::shared_ptr<Database> database = LoadModule().connect(location);
  VerifySchema(*database);
  return database;
}

}  // namespace svregistration::workspace
