// Output helpers shared by the commands: JSON on stdout and whole byte buffers to stdout.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace svreg {

/// Prints a JSON document on stdout, one line.
void PrintJson(const nlohmann::json& document);

/// Writes bytes to stdout unchanged; raises Error on a write failure.
void WriteStdout(std::string_view bytes);

/// A table with a header line: columns aligned to their longest value on a terminal, separated
/// by tabs otherwise (for scripts: a name with spaces stays one field).
std::string FormatTable(const std::vector<std::string>& header,
                        const std::vector<std::vector<std::string>>& rows);

}  // namespace svreg
