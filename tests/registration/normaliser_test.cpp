// The line normaliser: the rules case by case, and the fast run-at-a-time path against a
// literal byte-at-a-time reading of the rules on random input.
#include "registration/normaliser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/temp_dir.h"

namespace svregistration::registration {
namespace {

struct Flags {
  bool tabs = false, numeration = false, lead = false, sosi = false, sosi_removed = false;
  bool sjis = false;  // lead bytes 81-9F and E0-FC
};

NormaliserOptions Options(const Flags& f) {
  NormaliserOptions o;
  o.expand_tabs = f.tabs;
  o.remove_numeration = f.numeration;
  o.remove_lead_numeration = f.lead;
  o.convert_sosi = f.sosi;
  o.sosi_removed = f.sosi_removed;
  if (f.sjis) {
    for (int b = 0x81; b <= 0x9F; ++b) o.lead_byte[static_cast<std::size_t>(b)] = true;
    for (int b = 0xE0; b <= 0xFC; ++b) o.lead_byte[static_cast<std::size_t>(b)] = true;
  }
  return o;
}

std::string Normalise(const std::string& text, const Flags& flags) {
  std::vector<std::uint8_t> source(text.begin(), text.end());
  auto out = NormaliseSource(source, Options(flags));
  return {out.begin(), out.end()};
}

struct Case {
  const char* name;
  Flags flags;
  std::string input;
  std::string expected;
};

// "\x82\xA0" is a Shift-JIS double-byte character.
const Case kCases[] = {
    {"no option copies unchanged", {}, "ab \t c  \r\n12345678\n", "ab \t c  \r\n12345678\n"},
    {"lead numeration blanks six columns", {.lead = true}, "123456ABC\n", "      ABC\n"},
    {"tab in lead columns stops the rule", {.lead = true}, "12\t3456\n", "  \t3456\n"},
    {"lead numeration keeps CR", {.lead = true}, "1\r3\n", " \r \n"},
    {"trailing numeration drops columns 73-80 and blanks",
     {.numeration = true},
     std::string(70, 'A') + "  00010000\n",
     std::string(70, 'A') + "\r\n"},
    {"three letters three spaces", {.numeration = true}, "ABC   \n", "ABC\r\n"},
    {"CR LF becomes trimmed CR LF", {.numeration = true}, "ABC  \r\n", "ABC\r\n"},
    {"line of blanks becomes empty", {.numeration = true}, "   \t \n", "\r\n"},
    {"last line without LF keeps trailing blanks", {.numeration = true}, "AB\nCD  ", "AB\r\nCD  "},
    {"lone CR does not end a line", {.numeration = true}, "A\rB \n", "A\rB\r\n"},
    {"tab at column 0", {.tabs = true}, "\tX", "        X"},
    {"tab after 5 bytes", {.tabs = true}, "12345\tX", "12345   X"},
    {"tab after 7 bytes", {.tabs = true}, "1234567\tX", "1234567 X"},
    {"tab after 8 bytes", {.tabs = true}, "12345678\tX", "12345678        X"},
    {"unexpanded tab still counts to the next stop",
     {.numeration = true},
     "A\t\t\t\t\t\t\t\tCCCCCCCCDD\n",
     "A\t\t\t\t\t\t\t\tCCCCCCCC\r\n"},
    {"SO/SI inserted around a double-byte run",
     {.sosi = true, .sosi_removed = true, .sjis = true},
     "a\x82\xA0"
     "b",
     "a\x0E\x82\xA0\x0F"
     "b"},
    {"one SO and one SI around two characters",
     {.sosi = true, .sosi_removed = true, .sjis = true},
     "a\x82\xA0\x82\xA1"
     "b",
     "a\x0E\x82\xA0\x82\xA1\x0F"
     "b"},
    {"spaces stand for the shift bytes",
     {.sosi = true, .sjis = true},
     "a \x82\xA0 b",
     "a\x0E\x82\xA0\x0F"
     "b"},
    {"without conversion double-byte characters are copied",
     {.sjis = true},
     "a \x82\xA0 b",
     "a \x82\xA0 b"},
    {"second byte LF is not a line end",
     {.numeration = true, .sjis = true},
     "\x82\n  \n",
     "\x82\n\r\n"},
    {"lead byte in a blanked column becomes a space",
     {.lead = true, .sjis = true},
     "\x82\xA0\x82\xA0\x82\xA0\x82\xA0X\n",
     "      \x82\xA0X\n"},
    {"byte after SI is blanked by the column SI takes",
     {.numeration = true, .sosi = true, .sosi_removed = true, .sjis = true},
     std::string(68, 'A') + "\x82\xA0"
                            "BC\n",
     std::string(68, 'A') + "\x0E\x82\xA0\x0F"
                            "B\r\n"},
    {"empty input", {.tabs = true, .numeration = true}, "", ""},
};

class NormaliserCases : public ::testing::TestWithParam<Case> {};

TEST_P(NormaliserCases, GivesExpectedBytes) {
  const Case& c = GetParam();
  EXPECT_EQ(Normalise(c.input, c.flags), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rules, NormaliserCases, ::testing::ValuesIn(kCases));

TEST(Normaliser, SequenceNumberBeyondColumn72IsBlankedEvenWithoutLineEnd) {
  std::string line = std::string(72, 'A') + "00010000";
  EXPECT_EQ(Normalise(line, {.numeration = true}), std::string(72, 'A') + std::string(8, ' '));
}

// The rules read literally, one byte at a time, with the output growing by 1024 bytes.
std::vector<std::uint8_t> Reference(std::vector<std::uint8_t> src, const NormaliserOptions& o) {
  if (src.empty()) return {};
  std::vector<std::uint8_t> out(src.size());
  std::size_t i = 0, pos = 0, col = 0, last = 0;
  bool trail = false, in_dbcs = false;
  auto append = [&](std::uint8_t b) {
    if (pos >= out.size()) out.resize(out.size() + 1024);
    out[pos++] = b;
    ++col;
    if (b != ' ' && b != '\t' && b != '\r' && b != '\n') last = pos;
  };
  while (i < src.size()) {
    std::uint8_t b = src[i++];
    if (trail) {
      append(b);
      last = pos;
      trail = false;
      in_dbcs = true;
      continue;
    }
    bool special = b == '\r' || b == '\n' || b == '\t';
    if (o.remove_lead_numeration && col < 6 && !special) b = ' ';
    if (o.remove_numeration && col > 71 && !special) b = ' ';
    if (b == '\t') {
      std::size_t stop = (col & ~std::size_t{7}) + 7;
      if (o.expand_tabs) {
        b = ' ';
        while (col < stop) append(' ');
      }
      col = stop;
    }
    if (o.lead_byte[b]) {
      if (o.convert_sosi && o.sosi_removed) {
        if (!in_dbcs) append(0x0E);
      } else if (o.convert_sosi) {
        if (pos > 0 && !in_dbcs && out[pos - 1] == ' ') out[pos - 1] = 0x0E;
        if (i < src.size() - 1 && src[i + 1] == ' ') src[i + 1] = 0x0F;
      }
      trail = true;
    } else {
      if (o.convert_sosi && in_dbcs && o.sosi_removed) append(0x0F);
      in_dbcs = false;
    }
    append(b);
    if (b == '\n') {
      if (o.remove_numeration) {
        pos = last;
        append('\r');
        append('\n');
      }
      col = 0;
      last = pos;
    }
  }
  out.resize(pos);
  return out;
}

TEST(Normaliser, AgreesWithTheLiteralRulesOnRandomText) {
  std::mt19937 random(12345);
  testing::TempDir dir;
  const std::uint8_t alphabet[] = {'A', '1', ' ', ' ', '\t', '\n', '\r', 0x82, 0xA0, 0xE0, 0x41};
  for (unsigned round = 0; round < 3000; ++round) {
    unsigned bits = round;
    Flags flags{.tabs = (bits & 1) != 0,
                .numeration = (bits & 2) != 0,
                .lead = (bits & 4) != 0,
                .sosi = (bits & 8) != 0,
                .sosi_removed = (bits & 16) != 0,
                .sjis = (bits & 32) != 0};
    std::vector<std::uint8_t> text(random() % 300);
    for (auto& b : text) {
      // Mostly plain letters, so that long runs take the fast path.
      b = random() % 4 == 0 ? alphabet[random() % sizeof alphabet]
                            : static_cast<std::uint8_t>('a' + random() % 26);
    }
    NormaliserOptions options = Options(flags);
    std::vector<std::uint8_t> copy = text;
    const std::vector<std::uint8_t> expected = Reference(text, options);
    ASSERT_EQ(NormaliseSource(copy, options), expected) << "round " << round;
    // The streaming form for a quarter of the rounds, in pieces of a few bytes (lines, tabs,
    // pairs and a space that becomes SI cut at every place) or of a few lines.
    if (round / 64 % 8 > 1) continue;
    std::size_t piece = round / 64 % 8 == 0 ? 1 + round % 7 : 40 + round % 200;
    std::vector<std::uint8_t> streamed;
    auto sink = [&](const std::uint8_t* bytes, std::size_t size) {
      streamed.insert(streamed.end(), bytes, bytes + size);
    };
    NormaliseFileTo(dir.Write(std::to_string(round), text), options, sink, piece);
    ASSERT_EQ(streamed, expected) << "round " << round << " in pieces of " << piece;
  }
}

// Lines longer than the streaming form's output block are handed on in parts; the blanks that
// may yet be dropped are held back, however many there are.
TEST(Normaliser, StreamsLinesLongerThanItsBlocks) {
  const std::string blanks(3 << 19, ' ');
  const std::string mixed = [] {
    std::string m;
    for (int k = 0; k < (1 << 18); ++k) m += " \r\t ";
    return m;
  }();
  const std::string lines[] = {
      "ABC" + blanks + "\nX\n",
      "ABC" + blanks + "D" + mixed + "\n",
      "ABC" + mixed + blanks,
      blanks + "\x82\xA0 " + blanks + "\x82\xA1\n",
  };
  const Flags flag_sets[] = {
      {},
      {.numeration = true},
      {.tabs = true, .numeration = true, .lead = true},
      {.sosi = true, .sjis = true},
      {.numeration = true, .sosi = true, .sosi_removed = true, .sjis = true}};
  testing::TempDir dir;
  for (std::size_t l = 0; l < std::size(lines); ++l) {
    std::string path = dir.Write(std::to_string(l), lines[l]);
    for (std::size_t f = 0; f < std::size(flag_sets); ++f) {
      std::vector<std::uint8_t> streamed;
      auto sink = [&](const std::uint8_t* bytes, std::size_t size) {
        streamed.insert(streamed.end(), bytes, bytes + size);
      };
      NormaliseFileTo(path, Options(flag_sets[f]), sink);
      ASSERT_EQ(testing::Text(streamed), Normalise(lines[l], flag_sets[f]))
          << "line " << l << " flags " << f;
    }
  }
}

}  // namespace
}  // namespace svregistration::registration
