// Code page tables from ICU's own converters: a CCSID filled from a converter named as ICU names
// it ("ibm-37", "ibm-930", "ibm-1047_P100-1995", ...), without its character map file.
#pragma once

#include <string>

#include "svregistration/ccsid.h"
#include "svregistration/export.h"

namespace svregistration {

/// Replaces the single-byte map, the pairs and the reverse map of `table` with the mappings of
/// ICU's converter `converter_name`, stored as an import of that converter's character map
/// stores them: round-trip mappings and fallbacks from Unicode (marker 1) fill empty byte entries
/// in the map's order, reverse fallbacks (marker 3) replace them, and the reverse map holds the
/// first host code of each character unless a fallback names another; U+FFFD maps to 0x3F.
/// Mappings that one 16-bit value cannot hold (characters beyond U+FFFF, sequences of several
/// characters) and substitution mappings are left out. FileName and the CCSID are not changed.
///
/// Raises Error 5 for a name ICU has no converter for, and for a converter whose characters are
/// not single bytes, pairs, or single bytes and pairs in shift-out/shift-in runs.
SVREG_API void FillFromIcu(CCSID& table, const std::string& converter_name);

}  // namespace svregistration
