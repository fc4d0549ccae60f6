#include "commands.h"

namespace svreg {

void AddCodepageCommands(CLI::App& /*app*/, Context& /*context*/) {}

}  // namespace svreg
