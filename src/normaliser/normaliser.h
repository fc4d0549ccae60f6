// The line normaliser: expands tabs, blanks sequence-number columns (1-6 and 73 on), drops the
// trailing blanks of lines that end in LF and ends them in CR LF, and marks double-byte runs with
// shift-out/shift-in bytes. One pass over the input.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace svregistration::registration {

struct NormaliserOptions {
  bool expand_tabs = false;
  bool remove_numeration = false;
  bool remove_lead_numeration = false;
  bool convert_sosi = false;
  bool sosi_removed = false;
  /// lead_byte[b]: b begins a double-byte character of the registered copy's code page.
  std::array<bool, 256> lead_byte{};
};

/// True when the options change no byte: the normalised form of any input is the input itself.
bool LeavesBytesAsTheyAre(const NormaliserOptions& options);

/// The normalised form of `source`. A space that follows a double-byte character may be turned
/// into SI in `source` itself (when spaces stand for the shift bytes), which is why it is taken
/// by reference.
std::vector<std::uint8_t> NormaliseSource(std::vector<std::uint8_t>& source,
                                          const NormaliserOptions& options);

/// Receives output a block at a time.
using ByteSink = std::function<void(const std::uint8_t* bytes, std::size_t size)>;

/// The size of the pieces NormaliseFileTo reads.
inline constexpr std::size_t kNormaliserPiece = std::size_t{1} << 20;

/// The same bytes as NormaliseSource of the file's content, handed to `sink` in blocks of about
/// a mebibyte of whole lines (the pieces as read when the options change no byte). The file is read
/// `piece_size` bytes at a time, so neither it nor the output is ever held whole. Raises Error 53
/// naming a missing file.
void NormaliseFileTo(const std::string& path, const NormaliserOptions& options,
                     const ByteSink& sink, std::size_t piece_size = kNormaliserPiece);

/// Fills a buffer with up to `capacity` next bytes of an input; 0 only at its end.
using PieceSource = std::function<std::size_t(std::uint8_t* buffer, std::size_t capacity)>;

/// As NormaliseFileTo, for an input that `read` hands over a piece at a time.
void NormaliseStreamTo(const PieceSource& read, const NormaliserOptions& options,
                       const ByteSink& sink, std::size_t piece_size = kNormaliserPiece);

}  // namespace svregistration::registration
