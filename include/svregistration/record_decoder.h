// RecordDecoder: the conversion of EBCDIC 80-byte records to text (CCSID::ToUnicode) for input
// handed over piece by piece, so that a large file never has to be held whole, nor its text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "svregistration/ccsid.h"
#include "svregistration/export.h"

namespace svregistration {

/// Decodes a stream of records as one ToUnicode call over the whole stream would: the texts that
/// successive Decode calls append, joined, are that call's result, wherever the pieces are cut.
/// The ANSI code page that decides how pairs come out is determined once, when the decoder is
/// made. The table must outlive the decoder and keep its maps while the decoder is used.
class SVREG_API RecordDecoder {
 public:
  /// The code page that holds every character: each pair comes out as its own character (U+FFFD
  /// when the table does not map it) and no single byte becomes "?", for text written as UTF-8
  /// or another Unicode form.
  static constexpr std::uint32_t kUnicodeText = 65001;

  /// Pairs come out as the ANSI code page of the user's default locale holds them, as ToUnicode.
  RecordDecoder(CCSID& table, SOSIKeepType KeepSOSI);
  /// Pairs come out as `AnsiCodePage` holds them: a Windows ANSI code page (0 for the system's,
  /// CP_ACP), or kUnicodeText.
  RecordDecoder(CCSID& table, SOSIKeepType KeepSOSI, std::uint32_t AnsiCodePage);
  ~RecordDecoder();
  RecordDecoder(const RecordDecoder&) = delete;
  RecordDecoder& operator=(const RecordDecoder&) = delete;

  /// Appends the text of the next `size` bytes of the stream to `text`. `last` says that no bytes
  /// follow. Answers how many bytes were used: all of them when `last`; otherwise all but at most
  /// one, which the next call must be given again at the front of its piece (a byte can only be
  /// read once it is known whether and what follows it).
  std::size_t Decode(const std::uint8_t* bytes, std::size_t size, bool last, std::u16string& text);

  /// The most characters the text of a piece of `size` bytes can have.
  static std::size_t MaxTextSize(std::size_t size);
  /// As above, writing the text to `out`, which has room for MaxTextSize(size) characters, and
  /// setting `written` to its length.
  std::size_t Decode(const std::uint8_t* bytes, std::size_t size, bool last, char16_t* out,
                     std::size_t& written);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace svregistration
