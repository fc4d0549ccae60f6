// libunarr prints diagnostics of its own to stderr ("- rar.c:65: ..." from its debug log, "! ..."
// warnings) and offers no way to turn them off; what matters of them reaches the extraction's
// report as a member's reason. While a RAR 1.5-4 member is decoded, stderr is therefore held in a
// memory file, and when the last decode in the process ends, what was written there is passed on
// to stderr without those lines.
#pragma once

#include <string_view>

namespace svregistration::archive {

/// True for a line libunarr prints by itself: "- rar.c:65: ..." or "! uncompress-rar.c:24: ...".
bool IsUnarrDiagnostic(std::string_view line);

/// Holds stderr while it lives. stderr is one for the whole process: while any thread holds it,
/// what other threads write there arrives when the last holder goes (in the order written, nothing
/// dropped but libunarr's lines). A user prompt must not wait inside one. When stderr cannot be
/// redirected, it is left as it is.
class UnarrDiagnosticsHeld {
 public:
  UnarrDiagnosticsHeld();
  ~UnarrDiagnosticsHeld();
  UnarrDiagnosticsHeld(const UnarrDiagnosticsHeld&) = delete;
  UnarrDiagnosticsHeld& operator=(const UnarrDiagnosticsHeld&) = delete;
};

}  // namespace svregistration::archive
