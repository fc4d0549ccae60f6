// The line normaliser. Most lines are taken whole: a vector scan finds the line's LF, its TABs
// and its double-byte characters; the line is copied a segment at a time with the tabs widened
// and SO/SI put around the double-byte runs, then its sequence-number columns are blanked and its
// trailing blanks dropped in place. Lines where that would differ from the byte-at-a-time rules
// (see TakeLine), and a piece's last line without its LF, go through the exact rules: bytes that
// need no rule of their own (everything but TAB, LF and lead bytes, outside a double-byte run) a
// run at a time, TAB, LF, lead bytes and the byte after a double-byte character one at a time.
#include "normaliser/normaliser.h"

#include <bit>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <optional>
#include <utility>

#include "normaliser/line_scan.h"
#include "os/byte_buffer.h"
#include "os/file_reader.h"
#include "runtime/cpu_features.h"

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
    bool low_lead = false;
    for (std::size_t b = 0; b < 256; ++b) {
      if (options.lead_byte[b]) {
        special_[b] = true;
        any_lead_ = true;
        low_lead = low_lead || b < 0x80;
      }
    }
    // The line scan sees lead bytes among the bytes of 0x80 and above only.
    if (!low_lead) take_lines_ = ChooseTakeLines();
    // Room for the input and some growth; Reserve() enlarges it when tabs expand a lot.
    if (sink_) {
      // A streamed run reuses the thread's block: a run per small file must not fault in and
      // clear a fresh mebibyte each time.
      out_ = std::move(SpareSinkBlock());
      if (out_.size() < kSinkBlock + kSinkBlock / 4) out_.resize(kSinkBlock + kSinkBlock / 4);
    } else {
      out_ = os::AllocateBytes(size_ + size_ / 8 + 64);
    }
  }

  ~Normaliser() {
    if (sink_) SpareSinkBlock() = std::move(out_);
  }
  Normaliser(const Normaliser&) = delete;
  Normaliser& operator=(const Normaliser&) = delete;

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
      if (take_lines_ != nullptr && col_ == 0 && !trail_ && !in_dbcs_) {
        (this->*take_lines_)();
        if (i_ >= size_) break;
      }
      // The line the fast path left (or the rest of the piece) through the exact rules.
      do {
        ExactStep();
      } while (i_ < size_ && col_ != 0);
    }
  }

  void ExactStep() {
    if (!trail_ && !in_dbcs_) {
      std::size_t end = FindSpecial(i_);
      if (end > i_) {
        CopyRun(i_, end);
        i_ = end;
        if (sink_ && pos_ >= kSinkBlock) Flush();
        return;
      }
    }
    Step(src_[i_++]);
    if (sink_ && pos_ >= kSinkBlock) Flush();
  }

  using TakeLinesFn = void (Normaliser::*)();

  static TakeLinesFn ChooseTakeLines() {
#ifdef SVREG_LINE_SCAN_AVX2
    if (runtime::UseAvx2()) return &Normaliser::TakeLinesAvx2;
#endif
    return &Normaliser::TakeLinesPortable;
  }

  // Each path is one function: the scan and the line logic inlined into it.
  [[gnu::flatten]] void TakeLinesPortable() { TakeLines<PortableLineScan>(); }
#ifdef SVREG_LINE_SCAN_AVX2
  [[gnu::flatten, gnu::target("avx2")]] void TakeLinesAvx2() { TakeLines<Avx2LineScan>(); }
#endif

  // Whole lines from i_, each starting in column 0 outside a double-byte run, until one needs
  // the exact rules or the piece holds no further LF.
  template <class Scan>
  void TakeLines() {
    // The options as values: the output is written through byte pointers, which may alias any
    // member, so the compiler would read members again after every store.
    const LineRules rules{options_.expand_tabs,
                          options_.remove_lead_numeration,
                          options_.remove_numeration,
                          options_.remove_lead_numeration || options_.remove_numeration,
                          !options_.convert_sosi || options_.sosi_removed,
                          options_.convert_sosi && options_.sosi_removed,
                          any_lead_ ? ~0u : 0u,
                          options_.lead_byte.data(),
                          src_ + size_};
    while (i_ < size_ && TakeLine<Scan>(rules)) {
      if (sink_ && pos_ >= kSinkBlock) Flush();
    }
  }

  struct LineRules {
    bool expand_tabs;
    bool remove_lead_numeration;
    bool remove_numeration;
    bool columns_matter;      // a sequence-number rule is on
    bool pairs;               // double-byte characters change only bytes of their own line part
    bool shift_bytes;         // a double-byte run gets SO before and SI after it
    std::uint32_t high_mask;  // all ones when lead bytes exist
    const bool* lead_byte;
    const std::uint8_t* input_end;
  };

  // A line long enough to leave to the run-at-a-time path, in 32-byte blocks.
  static constexpr std::size_t kMaxLineBlocks = 8;

  // The line at i_ when it ends in an LF inside the piece and its columns are positions in the
  // output line where a sequence-number rule needs them (tabs expanded or absent, SO and SI where
  // they do not move a byte across a rule's edge). False, with nothing written, for any other.
  template <class Scan>
  bool TakeLine(const LineRules& rules) {
    const std::uint8_t* line = src_ + i_;
    const auto room = static_cast<std::size_t>(rules.input_end - line);
    std::uint32_t tab_masks[kMaxLineBlocks];
    std::uint32_t pair_masks[kMaxLineBlocks];  // the lead bytes of double-byte characters
    std::uint32_t kept_masks[kMaxLineBlocks];
    std::size_t blocks = 0;
    std::size_t event_blocks = 0;  // the blocks up to the last TAB or pair (most lines have none)
    std::size_t length = 0;        // without the LF
    std::size_t after_pair = 0;    // the byte after the last pair's second byte
    for (std::size_t at = 0;; at += 32) {
      if (at >= room || blocks == kMaxLineBlocks) return false;
      LineMasks m =
          room - at >= 32 ? Scan::Block(line + at) : TailMasks<Scan>(line + at, room - at);
      const std::uint32_t before_lf = m.lf != 0 ? (m.lf & (0u - m.lf)) - 1 : ~0u;
      // Kept TABs matter only to the columns, which matter only to the sequence-number rules.
      const std::uint32_t tabs = rules.expand_tabs ? m.tab & before_lf : 0;
      if (!rules.expand_tabs && rules.columns_matter && (m.tab & before_lf) != 0) return false;
      std::uint32_t pairs = 0;
      for (std::uint32_t high = m.high & before_lf & rules.high_mask; high != 0; high &= high - 1) {
        const std::size_t lead = at + static_cast<std::size_t>(__builtin_ctz(high));
        if (lead < after_pair || !rules.lead_byte[line[lead]]) continue;  // a second byte
        // A second byte that is blank (or the LF) would need the exact rules.
        if (!rules.pairs || lead + 1 >= room || IsBlank(line[lead + 1])) return false;
        pairs |= 1u << (lead - at);
        after_pair = lead + 2;
      }
      pair_masks[blocks] = pairs;
      kept_masks[blocks] = m.kept;
      tab_masks[blocks++] = tabs;
      if ((tabs | pairs) != 0) event_blocks = blocks;
      if (m.lf != 0) {
        length = at + static_cast<std::size_t>(__builtin_ctz(m.lf));
        break;
      }
    }
    // Tabs widen a byte to at most 8; the copies may store up to 32 bytes beyond their end.
    Reserve(8 * length + 64);
    std::uint8_t* const out = out_.data() + pos_;
    std::uint8_t* o = out;
    std::size_t from = 0;
    bool in_run = false;  // the bytes written last are a double-byte run
    // Ends a run before a single byte with SI. The byte is blanked or not by the column SI
    // takes, so both columns must lie on the same side of column 73.
    auto end_run = [&]() {
      if (!in_run) return true;
      in_run = false;
      if (!rules.shift_bytes) return true;
      if (rules.remove_numeration && static_cast<std::size_t>(o - out) + 1 >= kTrailingColumn) {
        return false;
      }
      *o++ = kSi;
      return true;
    };
    for (std::size_t b = 0; b < event_blocks; ++b) {
      for (std::uint32_t events = tab_masks[b] | pair_masks[b]; events != 0; events &= events - 1) {
        const std::size_t bit = static_cast<std::size_t>(__builtin_ctz(events));
        const std::size_t at = 32 * b + bit;
        if (at > from) {
          if (!end_run()) return false;
          o = CopyAhead<Scan>(o, line + from, at - from, rules.input_end);
        }
        if ((pair_masks[b] >> bit & 1) == 0) {
          if (in_run) return false;  // a TAB right after a run: the exact rules
          // A TAB moves to the next multiple of 8.
          std::memset(o, kSpace, 8);
          o += 8 - (static_cast<std::size_t>(o - out) & 7);
          from = at + 1;
          continue;
        }
        // A double-byte character, in columns that neither sequence-number rule blanks. Its
        // first byte is blanked or not by the column SO takes.
        const auto column = static_cast<std::size_t>(o - out);
        const std::size_t shift_out = rules.shift_bytes && !in_run ? 1 : 0;
        if (rules.remove_lead_numeration && column < kLeadColumns) return false;
        if (rules.remove_numeration && column + shift_out + 1 >= kTrailingColumn) return false;
        if (shift_out != 0) *o++ = kSo;
        o[0] = line[at];
        o[1] = line[at + 1];
        o += 2;
        in_run = true;
        from = at + 2;
      }
    }
    if (length > from || in_run) {
      if (!end_run()) return false;
    }
    const auto last_start = static_cast<std::size_t>(o - out);  // column of line[from]
    o = CopyAhead<Scan>(o, line + from, length - from, rules.input_end);
    std::size_t width = static_cast<std::size_t>(o - out);
    if (rules.remove_lead_numeration) BlankLeadColumns(out);
    if (rules.remove_numeration) {
      // Columns 73 on are blank, and blanks before the line end are dropped.
      const std::size_t first = rules.remove_lead_numeration ? kLeadColumns : 0;
      width = TrimmedWidth<Scan>(out, std::min(width, kTrailingColumn), first, kept_masks, from,
                                 last_start);
      out[width++] = kCr;
    }
    out[width++] = kLf;
    pos_ += width;
    i_ += length + 1;
    last_non_blank_ = pos_;
    line_start_ = pos_;
    return true;
  }

  // Columns 1-6 of the line at `out` blanked, CRs kept, in one 8-byte word (the output has room
  // beyond a short line, and what lies there is overwritten later).
  static void BlankLeadColumns(std::uint8_t* out) {
    if constexpr (std::endian::native != std::endian::little) {
      for (std::size_t k = 0; k < kLeadColumns; ++k) out[k] = out[k] == kCr ? kCr : kSpace;
      return;
    }
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t kLeadBytes = 0x0000FFFFFFFFFFFFULL;  // little-endian bytes 0-5
    std::uint64_t word;
    std::memcpy(&word, out, 8);
    const std::uint64_t x = word ^ (kOnes * kCr);  // zero bytes where CR
    const std::uint64_t not_cr = ((((x & kLow7) + kLow7) | x) >> 7) & kOnes;
    const std::uint64_t blank = not_cr * 0xFF & kLeadBytes;
    word = (word & ~blank) | ((kOnes * kSpace) & blank);
    std::memcpy(out, &word, 8);
  }

  // The width of the line's output `out`, `width` bytes so far, without its trailing blanks
  // (the columns before `blanked` are blank). Read from the input's masks where the last segment
  // (from input `from`, output column `start` on) holds a kept byte; the output written a moment
  // ago is read only otherwise.
  template <class Scan>
  static std::size_t TrimmedWidth(const std::uint8_t* out, std::size_t width, std::size_t blanked,
                                  const std::uint32_t* kept, std::size_t from, std::size_t start) {
    const std::size_t first = std::max(start, blanked);
    if (width > first) {
      std::size_t end = LastBitIn(kept, from + (first - start), from + (width - start));
      if (end != 0) return end - from + start;
    }
    return Scan::TrimBlanks(out, width);
  }

  // Copies `n` bytes in the scan's steps (storing up to a step less one beyond) when the input
  // has the bytes to read before `end`; answers the end of the copy.
  template <class Scan>
  static std::uint8_t* CopyAhead(std::uint8_t* to, const std::uint8_t* from, std::size_t n,
                                 const std::uint8_t* end) {
    if (static_cast<std::size_t>(end - from) >= n + Scan::kCopyStep) {
      for (std::size_t k = 0; k < n; k += Scan::kCopyStep) Scan::CopyStep(to + k, from + k);
    } else {
      std::memcpy(to, from, n);
    }
    return to + n;
  }

  std::vector<std::uint8_t> Finish() {
    if (sink_) {
      // The last line has no LF: its trailing blanks stay.
      EmitHeldBlanks();
      (*sink_)(out_.data(), pos_);
      return {};
    }
    out_.resize(pos_);
    return std::move(out_);
  }

  static constexpr std::size_t kSinkBlock = std::size_t{1} << 20;

  static std::vector<std::uint8_t>& SpareSinkBlock() {
    thread_local std::vector<std::uint8_t> spare;
    return spare;
  }

  // Hands the finished lines to the sink and moves the current line to the front. Positions
  // inside the current line (the last non-blank byte) move with it.
  void Flush() {
    if (line_start_ == 0) {
      FlushLongLine();
      return;
    }
    (*sink_)(out_.data(), line_start_);
    std::memmove(out_.data(), out_.data() + line_start_, pos_ - line_start_);
    pos_ -= line_start_;
    last_non_blank_ -= line_start_;
    line_start_ = 0;
  }

  // A line longer than a block is handed on in parts, so that memory stays bounded whatever the
  // line's length. What may still change stays: the blanks after the last kept byte (dropped if
  // the line ends in an LF when sequence numbers are removed) and the last byte (a space before a
  // double-byte run may become SO). A long run of such blanks is held counted, not as bytes.
  void FlushLongLine() {
    if (!held_blanks_.empty() && last_non_blank_ > 0) EmitHeldBlanks();  // a kept byte follows
    const std::size_t final_end =
        options_.remove_numeration ? std::min(last_non_blank_, pos_ - 1) : pos_ - 1;
    (*sink_)(out_.data(), final_end);
    std::memmove(out_.data(), out_.data() + final_end, pos_ - final_end);
    pos_ -= final_end;
    last_non_blank_ -= std::min(last_non_blank_, final_end);
    if (options_.remove_numeration && last_non_blank_ == 0 && pos_ > kSinkBlock / 2) {
      HoldBlanks(out_.data(), pos_ - 1);
      out_[0] = out_[pos_ - 1];
      pos_ = 1;
    }
  }

  // Blanks counted in runs of one byte value, to follow what has been handed on.
  void HoldBlanks(const std::uint8_t* bytes, std::size_t n) {
    for (std::size_t k = 0; k < n; ++k) {
      if (held_blanks_.empty() || held_blanks_.back().first != bytes[k]) {
        held_blanks_.emplace_back(bytes[k], 0);
      }
      ++held_blanks_.back().second;
    }
  }

  void EmitHeldBlanks() {
    std::uint8_t block[1 << 12];
    for (const auto& [byte, count] : held_blanks_) {
      std::memset(block, byte, sizeof block);
      for (std::uint64_t left = count; left > 0;) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof block));
        (*sink_)(block, n);
        left -= n;
      }
    }
    held_blanks_.clear();
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
    if (pos_ + extra > out_.size()) os::GrowBytes(out_, (pos_ + extra) + (pos_ + extra) / 2);
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
        // Held blanks are kept when a kept byte follows them, else dropped with the others.
        if (!held_blanks_.empty()) {
          if (last_non_blank_ > 0) {
            EmitHeldBlanks();
          } else {
            held_blanks_.clear();
          }
        }
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
  std::vector<std::pair<std::uint8_t, std::uint64_t>> held_blanks_;  // before out_[0]
  std::array<bool, 256> special_{};
  bool any_lead_ = false;
  TakeLinesFn take_lines_ = nullptr;
  std::vector<std::uint8_t> out_;
  std::size_t i_ = 0;
  std::size_t pos_ = 0;
  std::size_t col_ = 0;
  std::size_t last_non_blank_ = 0;
  bool trail_ = false;
  bool in_dbcs_ = false;
};

}  // namespace

std::vector<std::uint8_t> NormaliseSource(std::vector<std::uint8_t>& source,
                                          const NormaliserOptions& options) {
  if (source.empty()) return {};
  return Normaliser(source.data(), source.size(), options, nullptr).Run();
}

void NormaliseStreamTo(const PieceSource& read, const NormaliserOptions& options,
                       const ByteSink& sink, std::size_t piece_size) {
  Normaliser normaliser(nullptr, 0, options, &sink);
  // A piece small enough to stay in the processor's caches and reused for the whole input, and
  // by the thread's next one: no fresh memory to fault in and clear, whatever the size.
  thread_local std::vector<std::uint8_t> piece, next;
  if (piece.size() != piece_size) {
    piece.assign(piece_size, 0);
    next.assign(piece_size, 0);
  }
  std::size_t size = read(piece.data(), piece_size);
  while (true) {
    // One piece is read ahead so that the normaliser knows which piece is the last.
    std::size_t next_size = size == 0 ? 0 : read(next.data(), piece_size);
    normaliser.Feed(piece.data(), size, next_size == 0);
    if (next_size == 0) break;
    piece.swap(next);
    size = next_size;
  }
}

void NormaliseFileTo(const std::string& path, const NormaliserOptions& options,
                     const ByteSink& sink, std::size_t piece_size) {
  os::FileReader reader(path);
  NormaliseStreamTo(
      [&](std::uint8_t* buffer, std::size_t capacity) { return reader.Read(buffer, capacity); },
      options, sink, piece_size);
}

}  // namespace svregistration::registration
