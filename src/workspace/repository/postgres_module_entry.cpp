// The entry point of the PostgreSQL module: the only symbol it exports.
#include "workspace/repository/postgres_database.h"
#include "workspace/repository/postgres_module_interface.h"

namespace svregistration::workspace {
namespace {

std::shared_ptr<Database> Connect(const std::string& location) {
  return PostgresDatabase::Connect(location);
}

constexpr PostgresModule kModule = {kPostgresModuleVersion, CheckConnectionString, Connect};

}  // namespace
}  // namespace svregistration::workspace

extern "C" __attribute__((visibility("default"))) const svregistration::workspace::PostgresModule*
svreg_postgres_module() {
  return &svregistration::workspace::kModule;
}
