// EBCDIC records as UTF-8 text and UTF-8 text for ToEBCDIC: the conversions a program that reads
// and writes files of text needs around CCSID, streamed so that no file is held whole.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "svregistration/ccsid.h"
#include "svregistration/export.h"
#include "svregistration/input_reading.h"

namespace svregistration {

/// Decodes every record `input` gives, as one ToUnicode call over all of it would with KeepSOSI,
/// and hands the text to `sink` as UTF-8 a piece at a time (an unpaired surrogate becomes
/// U+FFFD). UTF-8 holds every character: each pair comes out as its own character whatever the
/// locale. The input and its text are never held whole.
SVREG_API void DecodeRecordsToUtf8(CCSID& table, SOSIKeepType KeepSOSI, InputReader& input,
                                   const std::function<void(std::string_view utf8)>& sink);

/// The UTF-16 text of UTF-8 bytes, as ToEBCDIC takes it; each byte that does not belong to a
/// well-formed sequence becomes U+FFFD.
SVREG_API std::u16string Utf16FromUtf8(std::string_view utf8);

}  // namespace svregistration
