// The line normaliser. Bytes that need no rule of their own (everything but TAB, LF and lead
// bytes, outside a double-byte run) are handled a run at a time: copied in bulk, then the few
// bytes in the sequence-number columns blanked. TAB, LF, lead bytes and the byte after a
// double-byte character go one at a time through the exact per-byte rules.
#include "registration/normaliser.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <optional>

#include "platform/byte_buffer.h"
#include "platform/file_reader.h"
#include "registration/registration_settings.h"

namespace svregistration::registration {

namespace {

constexpr std::uint8_t kTab = 0x09;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kSo = 0x0E;
constexpr std::uint8_t kSi = 0x0F;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::size_t kLeadColumns = 6;      // columns 1-6
constexpr std::size_t kTrailingColumn = 72;  // column 73, counted from 0

inline bool IsBlank(std::uint8_t b) { return b == kSpace || b == kTab || b == kCr || b == kLf; }

// The length of bytes[0, n) without its trailing spaces and CRs (0 when all are blank). Whole
// words of spaces are skipped eight bytes at a time.
inline std::size_t LastNonBlank(const std::uint8_t* bytes, std::size_t n) {
  constexpr std::uint64_t kSpaces = 0x2020202020202020ULL;
  while (n >= 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + n - 8, 8);
    if (word != kSpaces) break;
    n -= 8;
  }
  while (n > 0 && (bytes[n - 1] == kSpace || bytes[n - 1] == kCr)) --n;
  return n;
}

#ifndef __SSE2__
// Eight bytes at once: true when any of them is TAB or LF, or has its high bit set when lead
// bytes are possible. False positives only cost a byte-wise look.
inline bool WordMayHoldSpecial(std::uint64_t word, std::uint64_t high_mask) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
  std::uint64_t tabs = word ^ (kOnes * kTab);
  std::uint64_t lfs = word ^ (kOnes * kLf);
  std::uint64_t zero_tab = (tabs - kOnes) & ~tabs & kHighs;
  std::uint64_t zero_lf = (lfs - kOnes) & ~lfs & kHighs;
  return (zero_tab | zero_lf | (word & high_mask)) != 0;
}
#endif

class Normaliser {
 public:
  // Without a sink the whole output is kept and returned; with one, finished lines are handed
  // to it a block at a time and only the current line is kept.
  Normaliser(std::uint8_t* source, std::size_t size, const NormaliserOptions& options,
             const ByteSink* sink)
      : src_(source), size_(size), options_(options), sink_(sink) {
    special_[kTab] = true;
    special_[kLf] = true;
    for (std::size_t b = 0; b < 256; ++b) {
      if (options.lead_byte[b]) {
        special_[b] = true;
        any_lead_ = true;
      }
    }
    // Room for the input and some growth; Reserve() enlarges it when tabs expand a lot.
    out_ = sink_ ? std::vector<std::uint8_t>(kSinkBlock + kSinkBlock / 4)
                 : platform::AllocateBytes(size_ + size_ / 8 + 64);
  }

  std::vector<std::uint8_t> Run() {
    Consume();
    return Finish();
  }

  // The input in pieces, for a sink: `piece` is the next part of the input (writable: a space
  // after a double-byte character may become SI there), `last` says whether it ends the input.
  void Feed(std::uint8_t* piece, std::size_t size, bool last) {
    src_ = piece;
    size_ = size;
    i_ = 0;
    last_piece_ = last;
    // A space after a double-byte character that ended the previous piece.
    while (pending_si_ && size_ > 0) {
      if (*pending_si_ < size_) {
        if (src_[*pending_si_] == kSpace) src_[*pending_si_] = kSi;
        pending_si_.reset();
      } else {
        *pending_si_ -= size_;
        break;
      }
    }
    Consume();
    if (last) Finish();
  }

 private:
  void Consume() {
    while (i_ < size_) {
      if (!trail_ && !in_dbcs_) {
        std::size_t end = FindSpecial(i_);
        if (end > i_) {
          CopyRun(i_, end);
          i_ = end;
          if (sink_ && pos_ >= kSinkBlock) Flush();
          continue;
        }
      }
      Step(src_[i_++]);
      if (sink_ && pos_ >= kSinkBlock) Flush();
    }
  }

  std::vector<std::uint8_t> Finish() {
    if (sink_) {
      (*sink_)(out_.data(), pos_);
      return {};
    }
    out_.resize(pos_);
    return std::move(out_);
  }

  static constexpr std::size_t kSinkBlock = std::size_t{1} << 20;

  // Hands the finished lines to the sink and moves the current line to the front. Positions
  // inside the current line (the last non-blank byte) move with it.
  void Flush() {
    if (line_start_ == 0) return;
    (*sink_)(out_.data(), line_start_);
    std::memmove(out_.data(), out_.data() + line_start_, pos_ - line_start_);
    pos_ -= line_start_;
    last_non_blank_ -= line_start_;
    line_start_ = 0;
  }

  std::size_t FindSpecial(std::size_t from) const {
    std::size_t k = from;
#ifdef __SSE2__
    // Sixteen bytes at once: the mask marks TAB, LF and (when lead bytes exist) bytes of 0x80
    // and above, and its lowest bit is the first candidate. A high byte that is no lead byte
    // (a single-byte katakana, say) only costs a look at the table.
    const __m128i tabs = _mm_set1_epi8(static_cast<char>(kTab));
    const __m128i lfs = _mm_set1_epi8(static_cast<char>(kLf));
    while (k + 16 <= size_) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src_ + k));
      auto mask = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, tabs), _mm_cmpeq_epi8(bytes, lfs))));
      if (any_lead_) mask |= static_cast<unsigned>(_mm_movemask_epi8(bytes));
      while (mask != 0) {
        std::size_t at = k + static_cast<std::size_t>(__builtin_ctz(mask));
        if (special_[src_[at]]) return at;
        mask &= mask - 1;
      }
      k += 16;
    }
#else
    while (k + 8 <= size_) {
      std::uint64_t word;
      std::memcpy(&word, src_ + k, 8);
      if (WordMayHoldSpecial(word, any_lead_ ? 0x8080808080808080ULL : 0)) break;
      k += 8;
    }
#endif
    while (k < size_ && !special_[src_[k]]) ++k;
    return k;
  }

  void Reserve(std::size_t extra) {
    if (pos_ + extra > out_.size()) platform::GrowBytes(out_, (pos_ + extra) + (pos_ + extra) / 2);
  }

  // Bytes [from, end) with no rule of their own, starting outside a double-byte run.
  void CopyRun(std::size_t from, std::size_t end) {
    std::size_t n = end - from;
    Reserve(n);
    std::uint8_t* out = out_.data() + pos_;
    std::memcpy(out, src_ + from, n);
    if (options_.remove_lead_numeration && col_ < kLeadColumns) {
      std::size_t stop = std::min(n, kLeadColumns - col_);
      for (std::size_t k = 0; k < stop; ++k) {
        if (out[k] != kCr) out[k] = kSpace;
      }
    }
    if (options_.remove_numeration) {
      // Everything from column 73 on is blank now, so the last non-blank byte lies before it.
      std::size_t keep = n;
      if (col_ + n > kTrailingColumn) {
        keep = col_ >= kTrailingColumn ? 0 : kTrailingColumn - col_;
        for (std::size_t k = keep; k < n; ++k) {
          if (out[k] != kCr) out[k] = kSpace;
        }
      }
      // Only the trimming at LF reads the last non-blank position.
      std::size_t k = LastNonBlank(out, keep);
      if (k != 0) last_non_blank_ = pos_ + k;
    }
    pos_ += n;
    col_ += n;
  }

  void Append(std::uint8_t b) {
    out_[pos_++] = b;
    ++col_;
    if (!IsBlank(b)) last_non_blank_ = pos_;
  }

  // One input byte through the full rules.
  void Step(std::uint8_t b) {
    Reserve(16);
    if (trail_) {
      Append(b);
      last_non_blank_ = pos_;
      trail_ = false;
      in_dbcs_ = true;
      return;
    }
    if (options_.remove_lead_numeration && col_ < kLeadColumns && b != kCr && b != kLf &&
        b != kTab) {
      b = kSpace;
    }
    if (options_.remove_numeration && col_ >= kTrailingColumn && b != kCr && b != kLf &&
        b != kTab) {
      b = kSpace;
    }
    if (b == kTab) {
      std::size_t stop = (col_ & ~std::size_t{7}) + 7;
      if (options_.expand_tabs) {
        b = kSpace;
        // Spaces are blank: they move the column but not the last non-blank position.
        std::size_t spaces = stop - col_;
        std::memset(out_.data() + pos_, kSpace, spaces);
        pos_ += spaces;
        col_ = stop;
      }
      col_ = stop;
    }
    if (options_.lead_byte[b]) {
      if (options_.convert_sosi && options_.sosi_removed) {
        if (!in_dbcs_) Append(kSo);
      } else if (options_.convert_sosi) {
        // Spaces stand for the shift bytes: the space before the run becomes SO, the space
        // after this character's second byte becomes SI.
        if (pos_ > 0 && !in_dbcs_ && out_[pos_ - 1] == kSpace) out_[pos_ - 1] = kSo;
        if (i_ + 1 < size_) {
          if (src_[i_ + 1] == kSpace) src_[i_ + 1] = kSi;
        } else if (!last_piece_) {
          pending_si_ = i_ + 1 - size_;  // the byte lies in the next piece
        }
      }
      trail_ = true;
    } else {
      if (options_.convert_sosi && in_dbcs_ && options_.sosi_removed) Append(kSi);
      in_dbcs_ = false;
    }
    Append(b);
    if (b == kLf) {
      if (options_.remove_numeration) {
        pos_ = last_non_blank_;
        Append(kCr);
        Append(kLf);
      }
      col_ = 0;
      last_non_blank_ = pos_;
      line_start_ = pos_;
    }
  }

  std::uint8_t* src_;
  std::size_t size_;
  const NormaliserOptions& options_;
  const ByteSink* sink_;
  std::size_t line_start_ = 0;
  bool last_piece_ = true;
  std::optional<std::size_t> pending_si_;
  std::array<bool, 256> special_{};
  bool any_lead_ = false;
  std::vector<std::uint8_t> out_;
  std::size_t i_ = 0;
  std::size_t pos_ = 0;
  std::size_t col_ = 0;
  std::size_t last_non_blank_ = 0;
  bool trail_ = false;
  bool in_dbcs_ = false;
};

}  // namespace

NormaliserOptions NormaliserOptions::From(const RegistrationSettings& settings) {
  NormaliserOptions options;
  options.expand_tabs = settings.ExpandTabs;
  options.remove_numeration = settings.RemoveNumeration;
  options.remove_lead_numeration = settings.RemoveLeadNumeration;
  options.convert_sosi = settings.ConvertSosi;
  options.sosi_removed = settings.SosiRemoved;
  for (std::size_t b = 0; b < 256; ++b) {
    options.lead_byte[b] = settings.IsLeadByte(static_cast<unsigned char>(b));
  }
  return options;
}

std::vector<std::uint8_t> NormaliseSource(std::vector<std::uint8_t>& source,
                                          const NormaliserOptions& options) {
  if (source.empty()) return {};
  return Normaliser(source.data(), source.size(), options, nullptr).Run();
}

void NormaliseFileTo(const std::string& path, const NormaliserOptions& options,
                     const ByteSink& sink) {
  platform::FileReader reader(path);
  Normaliser normaliser(nullptr, 0, options, &sink);
  // A piece small enough to stay in the processor's caches and reused for the whole file: no
  // fresh memory to fault in and clear, whatever the file's size.
  constexpr std::size_t kPiece = std::size_t{1} << 20;
  std::vector<std::uint8_t> piece(kPiece), next(kPiece);
  std::size_t size = reader.Read(piece.data(), kPiece);
  while (true) {
    // One piece is read ahead so that the normaliser knows which piece is the last.
    std::size_t next_size = size == 0 ? 0 : reader.Read(next.data(), kPiece);
    normaliser.Feed(piece.data(), size, next_size == 0);
    if (next_size == 0) break;
    piece.swap(next);
    size = next_size;
  }
}

}  // namespace svregistration::registration
