// The line normaliser: the rules case by case, and the fast run-at-a-time path against a
// literal byte-at-a-time reading of the rules on random input.
#include "normaliser/normaliser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "support/normaliser_reference.h"
#include "support/temp_dir.h"

namespace svregistration::registration {
namespace {

using namespace testing;

std::string Normalise(const std::string& text, unsigned bits) {
  std::vector<std::uint8_t> source(text.begin(), text.end());
  return Text(NormaliseSource(source, OptionsFromBits(bits)));
}

// What the streaming form hands on for the file, joined.
std::vector<std::uint8_t> Streamed(const std::string& path, unsigned bits,
                                   std::size_t piece = kNormaliserPiece) {
  std::vector<std::uint8_t> streamed;
  auto sink = [&](const std::uint8_t* bytes, std::size_t size) {
    streamed.insert(streamed.end(), bytes, bytes + size);
  };
  NormaliseFileTo(path, OptionsFromBits(bits), sink, piece);
  return streamed;
}

// What each case shows, the option bits, the input and the output. "\x82\xA0" is a Shift-JIS
// double-byte character.
const std::tuple<const char*, unsigned, std::string, std::string> kCases[] = {
    {"no option copies unchanged", 0, "ab \t c  \r\n12345678\n", "ab \t c  \r\n12345678\n"},
    {"lead numeration blanks six columns", kLead, "123456ABC\n", "      ABC\n"},
    {"tab in lead columns stops the rule", kLead, "12\t3456\n", "  \t3456\n"},
    {"lead numeration keeps CR", kLead, "1\r3\n", " \r \n"},
    {"trailing numeration drops columns 73-80 and blanks", kNumeration,
     std::string(70, 'A') + "  00010000\n", std::string(70, 'A') + "\r\n"},
    {"a last line keeps its blanked columns", kNumeration, std::string(72, 'A') + "00010000",
     std::string(72, 'A') + std::string(8, ' ')},
    {"CR LF becomes trimmed CR LF", kNumeration, "ABC  \r\n", "ABC\r\n"},
    {"line of blanks becomes empty", kNumeration, "   \t \n", "\r\n"},
    {"last line without LF keeps trailing blanks", kNumeration, "AB\nCD  ", "AB\r\nCD  "},
    {"lone CR does not end a line", kNumeration, "A\rB \n", "A\rB\r\n"},
    {"tab at column 0", kTabs, "\tX", "        X"},
    {"tab after 7 bytes", kTabs, "1234567\tX", "1234567 X"},
    {"tab after 8 bytes", kTabs, "12345678\tX", "12345678        X"},
    {"unexpanded tab still counts to the next stop", kNumeration, "A\t\t\t\t\t\t\t\tCCCCCCCCDD\n",
     "A\t\t\t\t\t\t\t\tCCCCCCCC\r\n"},
    {"one SO and one SI around a run", kSosi | kSosiRemoved | kSjis, "a\x82\xA0\x82\xA1z",
     "a\x0E\x82\xA0\x82\xA1\x0Fz"},
    {"spaces stand for the shift bytes", kSosi | kSjis, "a \x82\xA0 z", "a\x0E\x82\xA0\x0Fz"},
    {"without conversion double-byte characters are copied", kSjis, "a \x82\xA0 b", "a \x82\xA0 b"},
    {"second byte LF is not a line end", kNumeration | kSjis, "\x82\n  \n", "\x82\n\r\n"},
    {"lead byte in a blanked column becomes a space", kLead | kSjis,
     "\x82\xA0\x82\xA0\x82\xA0\x82\xA0X\n", "      \x82\xA0X\n"},
    {"byte after SI is blanked by the column SI takes", kNumeration | kSosi | kSosiRemoved | kSjis,
     std::string(68, 'A') + "\x82\xA0XY\n", std::string(68, 'A') + "\x0E\x82\xA0\x0FX\r\n"},
    {"empty input", kTabs | kNumeration, "", ""},
};

TEST(Normaliser, GivesTheBytesEachRuleAsks) {
  for (const auto& [name, bits, input, expected] : kCases) {
    EXPECT_EQ(Normalise(input, bits), expected) << name;
  }
}

// Also the streaming form, for a quarter of the rounds, in pieces of a few bytes (lines, tabs,
// pairs and a space that becomes SI cut at every place) or of a few lines.
TEST(Normaliser, AgreesWithTheLiteralRulesOnRandomText) {
  std::mt19937 random(12345);
  TempDir dir;
  const std::uint8_t alphabet[] = {'A', '1', ' ', ' ', '\t', '\n', '\r', 0x82, 0xA0, 0xE0, 0x41};
  for (unsigned round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> text(random() % 300);
    for (auto& b : text) {
      // Mostly plain letters, so that long runs take the fast path.
      b = random() % 4 == 0 ? alphabet[random() % sizeof alphabet]
                            : static_cast<std::uint8_t>('a' + random() % 26);
    }
    NormaliserOptions options = OptionsFromBits(round & 0x3F);
    std::vector<std::uint8_t> copy = text, reference_copy = text;
    const std::vector<std::uint8_t> expected = ReferenceNormalise(reference_copy, options);
    ASSERT_EQ(NormaliseSource(copy, options), expected) << "round " << round;
    if (round / 64 % 8 > 1) continue;
    std::size_t piece = round / 64 % 8 == 0 ? 1 + round % 7 : 40 + round % 200;
    ASSERT_EQ(Streamed(dir.Write(std::to_string(round), Text(text)), round & 0x3F, piece), expected)
        << "round " << round << " in pieces of " << piece;
  }
}

// Lines longer than the streaming form's output block are handed on in parts; the blanks that
// may yet be dropped are held back, however many there are.
TEST(Normaliser, StreamsLinesLongerThanItsBlocks) {
  const std::string blanks(3 << 19, ' ');
  std::string mixed;
  for (int k = 0; k < (1 << 18); ++k) mixed += " \r\t ";
  const std::string lines[] = {
      "ABC" + blanks + "\nX\n",
      "ABC" + blanks + "D" + mixed + "\n",
      "ABC" + mixed + blanks,
      blanks + "\x82\xA0 " + blanks + "\x82\xA1\n",
  };
  TempDir dir;
  for (std::size_t l = 0; l < std::size(lines); ++l) {
    std::string path = dir.Write(std::to_string(l), lines[l]);
    for (unsigned bits : {0u, 0u + kNumeration, kTabs | kNumeration | kLead, kSosi | kSjis,
                          kNumeration | kSosi | kSosiRemoved | kSjis}) {
      ASSERT_EQ(Text(Streamed(path, bits)), Normalise(lines[l], bits))
          << "line " << l << " bits " << bits;
    }
  }
}

}  // namespace
}  // namespace svregistration::registration
