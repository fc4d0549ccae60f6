// ZipGlobals: the per-thread module state of zip extraction, the callbacks the unzip library
// calls, and RunUnzip.
#include "archive/zip_globals.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cstring>
#include <exception>

#include "archive/user_code_page.h"
#include "platform/ansi_conversion.h"
#include "svregistration/user_interface.h"

namespace svregistration::archive {

namespace {

thread_local ZipState t_state;
thread_local UnzipEntryPoint t_library = nullptr;

int UnzipPrint(std::string_view text) {
  // The text ends at its length or at its first NUL, whichever comes first.
  ZipGlobals().collected_text.append(text.substr(0, text.find('\0')));
  return 0;
}

int UnzipService(const char* /*member*/, std::uint64_t /*size*/) {
  ++ZipGlobals().member_count;
  return 0;
}

/// The bytes of `text` (UTF-8) in the user's ANSI code page; the UTF-8 bytes themselves when that
/// code page cannot be opened.
std::string AnsiBytes(const std::string& text) {
  const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
  try {
    const std::vector<std::uint8_t> bytes = platform::UnicodeToAnsi(
        std::u16string_view(unicode.getBuffer(), static_cast<std::size_t>(unicode.length())),
        UserAnsiCodePage());
    return std::string(bytes.begin(), bytes.end());
  } catch (...) {
    return text;
  }
}

/// Clears the first `size` bytes of the buffer and writes the password, cut to size - 1 bytes.
void WritePassword(char* buffer, int size, const std::string& password) {
  const auto capacity = static_cast<std::size_t>(size);
  std::memset(buffer, 0, capacity);
  std::memcpy(buffer, password.data(), std::min(password.size(), capacity - 1));
}

}  // namespace

ZipState& ZipGlobals() { return t_state; }

void ResetZipGlobals(const std::string& archive_name, const std::string& extraction_folder) {
  ZipState& state = ZipGlobals();
  state.archive_name = archive_name;
  state.extraction_folder = extraction_folder;
  state.include = NameList{};
  state.exclude = NameList{};
  state.password_refused = false;
  state.password_retry.clear();
  state.collected_text.clear();
  state.member_count = 0;
}

int UnzipPassword(char* buffer, int size, const char* /*prompt*/, const char* /*member*/) {
  ZipState& state = ZipGlobals();
  if (buffer == nullptr || size <= 0) return 1;
  if (!state.password_retry.empty()) {
    WritePassword(buffer, size, state.password_retry);
    state.password_retry.clear();
    return 0;
  }
  if (state.password_refused) return 1;
  std::string answer;
  try {
    answer = CurrentUserInterface().AskText(std::string(kDialogTitle), std::string(kPasswordPrompt),
                                            true);
  } catch (...) {
    // The callback runs inside the library, which an exception must not cross.
    return 1;
  }
  if (answer.empty()) {
    state.password_refused = true;
    return 1;
  }
  const std::string ansi = AnsiBytes(answer);
  if (ansi != answer) state.password_retry = answer;
  WritePassword(buffer, size, ansi);
  return 0;
}

void RunUnzip() {
  const ZipState& state = ZipGlobals();
  UnzipOptions options;
  options.zip_file = state.archive_name;
  options.extract_dir = state.extraction_folder;
  UnzipCallbacks callbacks;
  callbacks.print = &UnzipPrint;
  callbacks.password = &UnzipPassword;
  callbacks.service = &UnzipService;
  // The library's return code says whether anything went wrong; extraction does not look at it.
  UnzipEntryPoint library = t_library != nullptr ? t_library : &SingleEntryUnzip;
  library(state.include, state.exclude, options, callbacks);
}

void SetUnzipLibrary(UnzipEntryPoint entry_point) { t_library = entry_point; }

}  // namespace svregistration::archive
