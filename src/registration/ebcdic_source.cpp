// The EBCDIC source conversion: 80-byte EBCDIC records through the instance's cached code page
// table to text, to the registered locale's ANSI code page, then through the line normaliser.
#include <algorithm>
#include <cstring>

#include "nls/ansi_conversion.h"
#include "nls/locale_services.h"
#include "nls/text.h"
#include "normaliser/normaliser.h"
#include "os/file_reader.h"
#include "os/file_system.h"
#include "registration/registration_settings.h"
#include "registration/source_copy.h"
#include "registration/source_files.h"
#include "registration/sv_standard_state.h"
#include "svregistration/record_decoder.h"

namespace svregistration::registration {

namespace {

// The EBCDIC records of a file as text in the registered code page, a piece at a time: records
// are read, decoded and converted in blocks, so that no file is held whole.
class AnsiPieces {
 public:
  // The pairs are decided in the code page the text is written in, whatever the process's
  // locale: the copy of a Japanese workspace is the same under any LANG.
  AnsiPieces(const std::string& path, CCSID& table, std::uint32_t code_page)
      : reader_(path), decoder_(table, SOSIKeepType::KeepAll, code_page), code_page_(code_page) {}

  std::size_t Read(std::uint8_t* buffer, std::size_t capacity) {
    std::size_t done = 0;
    while (done < capacity) {
      if (offset_ == ansi_.size() && !Refill()) break;
      std::size_t n = std::min(capacity - done, ansi_.size() - offset_);
      std::memcpy(buffer + done, ansi_.data() + offset_, n);
      offset_ += n;
      done += n;
    }
    return done;
  }

 private:
  static constexpr std::size_t kBlock = 64 * 1024;

  bool Refill() {
    if (finished_) return false;
    std::size_t got = reader_.Read(ebcdic_.data() + carried_, kBlock - carried_);
    std::size_t size = carried_ + got;
    finished_ = size < kBlock;
    text_.clear();
    std::size_t used = decoder_.Decode(ebcdic_.data(), size, finished_, text_);
    // A byte that must wait for the next one goes to the front of the next block.
    carried_ = size - used;
    std::memmove(ebcdic_.data(), ebcdic_.data() + used, carried_);
    ansi_ = nls::UnicodeToAnsi(text_, code_page_);
    offset_ = 0;
    return !ansi_.empty() || !finished_;
  }

  os::FileReader reader_;
  RecordDecoder decoder_;
  std::uint32_t code_page_;
  std::vector<std::uint8_t> ebcdic_ = std::vector<std::uint8_t>(kBlock);
  std::size_t carried_ = 0;
  bool finished_ = false;
  std::u16string text_;
  std::vector<std::uint8_t> ansi_;
  std::size_t offset_ = 0;
};

CCSID& TableOf(registration::State& state, const std::string& table_file) {
  if (!state.CodePageTable || !nls::EqualsIgnoreCase(state.CodePageTable->FileName(), table_file)) {
    // A table whose Load failed is not kept: the next conversion tries the file again instead of
    // reusing an empty table under the file's name.
    state.CodePageTable.reset();
    auto table = std::make_shared<CCSID>();
    table->Load(table_file, 0);
    state.CodePageTable = std::move(table);
  }
  return *state.CodePageTable;
}

}  // namespace

void ConvertEbcdicSourceTo(State& state, const CopyPlan& plan, const std::string& from_path,
                           const ByteSink& sink) {
  if (os::FileSize(from_path) == 0) return;
  CCSID& table = TableOf(state, plan.table_file);
  // A locale whose text is Unicode only has code page 0: the system's ANSI code page.
  std::uint32_t code_page = nls::LocaleAnsiCodePage(plan.settings.RegisteredLocale).value_or(0);
  if (code_page == 0) code_page = nls::SystemAnsiCodePage();
  AnsiPieces pieces(from_path, table, code_page);
  NormaliseStreamTo(
      [&](std::uint8_t* buffer, std::size_t capacity) { return pieces.Read(buffer, capacity); },
      plan.normaliser, sink);
}

}  // namespace svregistration::registration
