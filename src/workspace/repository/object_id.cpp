// Formatting and parsing object ids.
#include "workspace/repository/object_id.h"

#include <fmt/core.h>

#include <charconv>

#include "svregistration/error.h"
#include "workspace/repository/database.h"

namespace svregistration::workspace {

// Made for every row of a listing: appended by hand, without a format string to interpret.
std::string FormatObjectId(std::string_view type_code, std::int64_t number) {
  char digits[24];
  char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  std::string id;
  id.reserve(type_code.size() + 1 + static_cast<std::size_t>(end - digits));
  id.append(type_code).append(1, ':').append(digits, static_cast<std::size_t>(end - digits));
  return id;
}

std::optional<ParsedObjectId> ParseObjectId(std::string_view id) {
  std::size_t colon = id.find(':');
  if (colon == 0 || colon == std::string_view::npos || colon + 1 == id.size()) return std::nullopt;
  std::string_view digits = id.substr(colon + 1);
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  ParsedObjectId parsed{std::string(id.substr(0, colon)), 0};
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed.number);
  if (ec != std::errc() || end != digits.data() + digits.size() || parsed.number <= 0) {
    return std::nullopt;
  }
  return parsed;
}

std::string WorkspaceIdUtility::ObjectTypeOfId(const std::string& id) {
  std::optional<ParsedObjectId> parsed = ParseObjectId(id);
  if (!parsed) {
    throw Error(kInvalidArgument, kDatabaseErrorSource,
                fmt::format("'{}' is not an object id (a type code, ':' and a number)", id));
  }
  return parsed->type_code;
}

}  // namespace svregistration::workspace
