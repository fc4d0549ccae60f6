// ZipGlobals: the module state of zip extraction (one set per thread, reset by every extraction),
// the callbacks the unzip library calls while it works, and RunUnzip, which drives the library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "archive/prompts.h"
#include "archive/unzip_library.h"

namespace svregistration::archive {

/// The module state of one thread.
struct ZipState {
  std::string archive_name;
  std::string extraction_folder;
  NameList include;
  NameList exclude;
  /// Set by an empty answer to the password prompt: no more questions in this extraction.
  bool password_refused = false;
  /// The UTF-8 bytes of the last answer when they differ from its ANSI bytes: what the password
  /// callback hands over next, before it asks again, since newer tools encrypt with those.
  std::string password_retry;
  /// What the library printed (its diagnostics) and the number of members it announced. Kept
  /// for a debugger's eyes; nothing reads them.
  std::string collected_text;
  std::int32_t member_count = 0;
};

/// The calling thread's module state.
ZipState& ZipGlobals();

/// Resets the calling thread's module state for an extraction of `archive_name` into
/// `extraction_folder`: empty lists, no refused password, nothing collected.
void ResetZipGlobals(const std::string& archive_name, const std::string& extraction_folder);

/// The password callback: unless a password was refused earlier in this extraction, shows the
/// input box; an empty answer refuses (and is remembered), any other is written into the buffer
/// as its bytes in the user's ANSI code page (cleared first, at most size - 1 bytes,
/// NUL-terminated). When the answer's UTF-8 bytes differ, the next call writes those instead of
/// asking. 0 when a password was written, 1 otherwise. Errors raised while asking are caught and
/// count as no password.
int UnzipPassword(char* buffer, int size, const char* prompt, const char* member);

/// Drives the unzip library with the calling thread's module state. Raises Error when the
/// library cannot run.
void RunUnzip();

/// Replaces the unzip library for the calling thread; nullptr restores SingleEntryUnzip. Tests
/// use it to see how an extraction reacts to a library that cannot run.
void SetUnzipLibrary(UnzipEntryPoint entry_point);

}  // namespace svregistration::archive
