// The ANSI code page the archive classes read names and passwords in: the user's.
#pragma once

#include <cstdint>

namespace svregistration::archive {

/// The ANSI code page of the user's default locale; the system default locale's when the
/// user's text is Unicode only, and 1252 when that has none either.
std::uint32_t UserAnsiCodePage();

}  // namespace svregistration::archive
