// Output helpers shared by the commands: JSON on stdout, whole byte buffers to stdout, and
// reading a file or stdin whole.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace svreg {

/// Prints a JSON document on stdout, one line.
void PrintJson(const nlohmann::json& document);

/// Writes bytes to stdout unchanged; raises Error on a write failure.
void WriteStdout(std::string_view bytes);

/// The whole content of a file, or of stdin when path is empty or "-".
std::vector<std::uint8_t> ReadInput(const std::string& path);

}  // namespace svreg
