// Output helpers shared by the commands: JSON on stdout and whole byte buffers to stdout.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace svreg {

/// Prints a JSON document on stdout, one line.
void PrintJson(const nlohmann::json& document);

/// Writes bytes to stdout unchanged; raises Error on a write failure.
void WriteStdout(std::string_view bytes);

}  // namespace svreg
