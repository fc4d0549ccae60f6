// Object ids: "<type code>:<number>" ("COBOL:17", "FOLDER:3"). The number is the object's row in
// the object table, unique across all types and never reused; the type code lets anyone tell an
// object's type from its id alone. Also the IdUtility that does exactly that.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "svregistration/host/utilities.h"

namespace svregistration::workspace {

struct ParsedObjectId {
  std::string type_code;
  std::int64_t number = 0;
};

std::string FormatObjectId(std::string_view type_code, std::int64_t number);

/// The parts of an id; nullopt unless the text is a non-empty type code without ':', a ':' and a
/// positive decimal number (no sign, no spaces).
std::optional<ParsedObjectId> ParseObjectId(std::string_view id);

/// The workspace's IdUtility, to be registered under host::kIdUtilityClass.
class WorkspaceIdUtility final : public host::IdUtility {
 public:
  /// The type code an id carries, as the id spells it. An id of another form is Error 5 naming
  /// it.
  std::string ObjectTypeOfId(const std::string& id) override;
};

}  // namespace svregistration::workspace
