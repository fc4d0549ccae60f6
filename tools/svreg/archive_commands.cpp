#include "commands.h"

namespace svreg {

void AddArchiveCommands(CLI::App& /*app*/, Context& /*context*/) {}

}  // namespace svreg
