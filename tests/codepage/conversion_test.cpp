// Conversions with a code page table: EBCDIC records to text (shift-out/shift-in runs, literals,
// record ends, the ANSI code page) and text to EBCDIC records.
#include <gtest/gtest.h>

#include <random>

#include "codepage_test_support.h"
#include "svregistration/record_decoder.h"

namespace svregistration::testing {
namespace {

using K = SOSIKeepType;

class ToUnicodeTest : public ::testing::Test {
 protected:
  void SetUp() override { table_ = ImportText(dir_, kSampleMap); }

  std::u16string Convert(const std::vector<std::uint8_t>& bytes, SOSIKeepType keep) {
    return table_->ToUnicode(bytes, keep);
  }

  TempDir dir_;
  std::unique_ptr<CCSID> table_;
};

struct RecordCase {
  const char* name;
  std::vector<std::uint8_t> bytes;
  SOSIKeepType keep;
  std::u16string expected;
};

class ToUnicodeRecordTest : public ToUnicodeTest,
                            public ::testing::WithParamInterface<RecordCase> {};

// A Japanese user locale: its ANSI code page (932) holds the pairs' characters in two bytes.
TEST_P(ToUnicodeRecordTest, JapaneseLocale) {
  ScopedLocale locale("ja_JP.UTF-8");
  EXPECT_EQ(Convert(GetParam().bytes, GetParam().keep), GetParam().expected);
}

const std::u16string kSO = u"\u000E";
const std::u16string kSI = u"\u000F";

INSTANTIATE_TEST_SUITE_P(
    Records, ToUnicodeRecordTest,
    ::testing::Values(
        RecordCase{"RemoveAll", B({0x0E, 0x42, 0xC1, 0x42, 0xC2, 0x0F}), K::RemoveAll,
                   u"\uFF21\uFF22"},
        RecordCase{"ReplaceAll", B({0x0E, 0x42, 0xC1, 0x42, 0xC2, 0x0F}), K::ReplaceAll,
                   u" \uFF21\uFF22 "},
        RecordCase{"KeepAll", B({0x0E, 0x42, 0xC1, 0x42, 0xC2, 0x0F}), K::KeepAll,
                   kSO + u"\uFF21\uFF22" + kSI},
        RecordCase{"UnknownKeepValueLeavesNul", B({0xC1, 0x0E, 0x42, 0xC1, 0x0F}),
                   static_cast<SOSIKeepType>(7), std::u16string(u"A\0\uFF21\0", 4)},
        RecordCase{"KeepInLiteralsOutsideLiteral", B({0x0E, 0x42, 0xC1, 0x0F}), K::KeepInLiterals,
                   u"\uFF21"},
        RecordCase{"KeepInLiteralsInsideLiteral", B({0x7D, 0x0E, 0x42, 0xC1, 0x0F, 0x7D}),
                   K::KeepInLiterals, u"'" + kSO + u"\uFF21" + kSI + u"'"},
        RecordCase{"KeepInLiteralsInsideGLiteral", B({0xC7, 0x7D, 0x0E, 0x42, 0xC1, 0x0F, 0x7D}),
                   K::KeepInLiterals, u"G'\uFF21'"},
        RecordCase{"LowerCaseGCounts", B({0x87, 0x7D, 0x0E, 0x42, 0xC1, 0x0F, 0x7D}),
                   K::KeepInLiterals, u"g'\uFF21'"},
        RecordCase{"OtherQuoteInsideLiteralIsPlain", B({0x7D, 0x7F, 0x0E, 0x42, 0xC1, 0x0F}),
                   K::KeepInLiterals, u"'\"" + kSO + u"\uFF21" + kSI},
        RecordCase{"ClosedLiteral", B({0x7D, 0x7D, 0x0E, 0x42, 0xC1, 0x0F}), K::KeepInLiterals,
                   u"''\uFF21"},
        RecordCase{"SpacePairInsideLiteral", B({0x7D, 0x0E, 0x40, 0x40, 0x0F, 0x7D}), K::RemoveAll,
                   u"'\u3000'"},
        RecordCase{"SpaceBeforeOtherByteEndsRunInLiteral",
                   B({0x7D, 0x0E, 0x40, 0xC1, 0xC2, 0x0F, 0x7D}), K::RemoveAll, u"' AB'"},
        RecordCase{"GLiteralTakesAnyPair", B({0xC7, 0x7D, 0x0E, 0x40, 0xC1, 0x0F, 0x7D}),
                   K::RemoveAll, u"G'\uFF10'"},
        RecordCase{"SpaceOutsideLiteralBeginsPair", B({0x0E, 0x40, 0xC1, 0x0F}), K::RemoveAll,
                   u"\uFF10"},
        RecordCase{"QuoteEndsRunInLiteral", B({0x7D, 0x0E, 0x42, 0xC1, 0x7D, 0xC1}), K::RemoveAll,
                   u"'\uFF21'A"},
        RecordCase{"QuoteIsALeadOutsideLiteral", B({0x0E, 0x7D, 0xC1, 0x0F}), K::RemoveAll, u"'A"},
        RecordCase{"UnmappedSingleByteIsNul", B({0xC1, 0x99, 0xC2}), K::KeepAll,
                   std::u16string(u"A\0B", 3)},
        RecordCase{"UnmappedPairGivesItsTwoBytes", B({0x0E, 0x42, 0xC3, 0x0F}), K::RemoveAll,
                   u"\u00E2C"},
        RecordCase{"SingleByteDoubleInAnsiIsQuestionMark", B({0x43, 0xC1}), K::KeepAll, u"?A"},
        RecordCase{"LastByteInRunIsSingle", B({0xC1, 0x0E, 0x42}), K::RemoveAll, u"A\u00E2"},
        RecordCase{"Empty", B({}), K::KeepAll, u""}),
    CaseName());

// A Western locale: code page 1252 has no double-byte characters, so every pair comes out as its
// two bytes read singly and no single byte becomes "?".
TEST_F(ToUnicodeTest, WesternLocaleSplitsPairs) {
  ScopedLocale locale("en_US.UTF-8");
  EXPECT_EQ(Convert(B({0x0E, 0x42, 0xC1, 0x40, 0x40, 0x0F, 0x43}), K::RemoveAll),
            u"\u00E2A  \u4E00");
}

TEST_F(ToUnicodeTest, RecordsBecomeLines) {
  ScopedLocale locale("C");
  std::u16string line(80, u'A');
  EXPECT_EQ(Convert(Repeat(0xC1, 160), K::KeepAll), line + u"\r\n" + line);
  EXPECT_EQ(Convert(Repeat(0xC1, 170), K::KeepAll),
            line + u"\r\n" + line + u"\r\n" + std::u16string(10, u'A'));
  EXPECT_EQ(Convert(Repeat(0xC1, 80), K::KeepAll), line);
  EXPECT_EQ(Convert(Repeat(0xC1, 81), K::KeepAll), line + u"\r\nA");
}

TEST_F(ToUnicodeTest, NextRecordEndsTheRunWithoutShiftIn) {
  ScopedLocale locale("ja_JP.UTF-8");
  auto bytes = Join({Repeat(0xC1, 77), B({0x0E, 0x42, 0xC1}), B({0xC1, 0xC2})});
  EXPECT_EQ(Convert(bytes, K::RemoveAll), std::u16string(77, u'A') + u"\uFF21\r\nAB");
}

TEST_F(ToUnicodeTest, PairAcrossRecordEndJoinsTheRecords) {
  ScopedLocale locale("ja_JP.UTF-8");
  // The lead byte is the last byte of the first record; the second record goes on shifted.
  auto bytes = Join({Repeat(0xC1, 78), B({0x0E, 0x42}), B({0xC1, 0x42, 0xC2, 0x0F, 0xC3}),
                     Repeat(0xC2, 75), B({0xC1})});
  EXPECT_EQ(Convert(bytes, K::RemoveAll),
            std::u16string(78, u'A') + u"\uFF21\uFF22C" + std::u16string(75, u'B') + u"\r\nA");
}

TEST_F(ToUnicodeTest, LiteralStateAndGCheckStartAfreshEachRecord) {
  ScopedLocale locale("ja_JP.UTF-8");
  // Record one ends with G and an open literal; record two opens a literal at its first byte,
  // which is not a G literal, so its SO/SI are kept.
  auto bytes = Join({Repeat(0xC1, 78), B({0x7D, 0xC7}), B({0x7D, 0x0E, 0x42, 0xC1, 0x0F, 0x7D})});
  EXPECT_EQ(Convert(bytes, K::KeepInLiterals),
            std::u16string(78, u'A') + u"'G\r\n'" + kSO + u"\uFF21" + kSI + u"'");
}

TEST_F(ToUnicodeTest, ShiftInOutsideRunFollowsKeepChoice) {
  ScopedLocale locale("C");
  EXPECT_EQ(Convert(B({0xC1, 0x0F, 0xC2}), K::RemoveAll), u"AB");
  EXPECT_EQ(Convert(B({0xC1, 0x0F, 0xC2}), K::ReplaceAll), u"A B");
  EXPECT_EQ(Convert(B({0xC1, 0x0F, 0xC2}), K::KeepAll), u"A" + kSI + u"B");
}

// Streams cut anywhere (inside pairs, at record ends, into empty pieces) give the whole text.
TEST_F(ToUnicodeTest, PiecesOfAStreamGiveTheWholeText) {
  ScopedLocale locale("ja_JP.UTF-8");
  const std::uint8_t alphabet[] = {0x0E, 0x0F, 0x40, 0x42, 0xC1, 0xC2,
                                   0xC7, 0x7D, 0x7F, 0x87, 0x43};
  std::mt19937 random(2);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::uint8_t> bytes(random() % 400);
    for (auto& b : bytes) b = alphabet[random() % sizeof alphabet];
    for (auto keep : {K::KeepAll, K::RemoveAll, K::KeepInLiterals, K::ReplaceAll}) {
      RecordDecoder decoder(*table_, keep);
      std::u16string text;
      std::vector<std::uint8_t> pending;
      for (std::size_t pos = 0;;) {
        std::size_t take = std::min<std::size_t>(random() % 9, bytes.size() - pos);
        pending.insert(pending.end(), bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                       bytes.begin() + static_cast<std::ptrdiff_t>(pos + take));
        pos += take;
        bool last = pos == bytes.size();
        std::size_t used = decoder.Decode(pending.data(), pending.size(), last, text);
        if (last) {
          ASSERT_EQ(used, pending.size());
          break;
        }
        ASSERT_LE(pending.size() - used, 1u);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
      }
      ASSERT_EQ(text, Convert(bytes, keep)) << round;
    }
  }
}

// ---- Text to records ----

class ToEbcdicTest : public ToUnicodeTest {};

TEST_F(ToEbcdicTest, LineEndsPadToRecords) {
  EXPECT_EQ(table_->ToEBCDIC(U("AB\nC")), Join({B({0xC1, 0xC2}), Repeat(0x40, 78), B({0xC3})}));
  EXPECT_EQ(table_->ToEBCDIC(U("A\r\nB")), Join({B({0xC1}), Repeat(0x40, 79), B({0xC2})}));
  EXPECT_EQ(table_->ToEBCDIC(std::u16string(80, u'A') + u"\n\n"), Repeat(0xC1, 80));
  EXPECT_EQ(table_->ToEBCDIC(U("\n\nA")), B({0xC1}));
  EXPECT_EQ(table_->ToEBCDIC(U("")), B({}));
}

TEST_F(ToEbcdicTest, DoubleByteRuns) {
  // Opened with SO, closed with SI before a single byte, not closed at a line end or the end.
  EXPECT_EQ(table_->ToEBCDIC(u"A\uFF21\uFF22B"),
            B({0xC1, 0x0E, 0x42, 0xC1, 0x42, 0xC2, 0x0F, 0xC2}));
  EXPECT_EQ(table_->ToEBCDIC(u"\uFF21\n"), Join({B({0x0E, 0x42, 0xC1}), Repeat(0x40, 77)}));
  EXPECT_EQ(table_->ToEBCDIC(u"\uFF21"), B({0x0E, 0x42, 0xC1}));
  EXPECT_EQ(table_->ToEBCDIC(u"\uFF21\nA"),
            Join({B({0x0E, 0x42, 0xC1}), Repeat(0x40, 77), B({0xC1})}));
}

TEST_F(ToEbcdicTest, ShiftCodesSwitchTheStateThemselves) {
  // U+000E writes 0x0E and shifts, so the pair after it gets no second SO; U+000F unshifts.
  EXPECT_EQ(table_->ToEBCDIC(u"\u000E\uFF21\u000FA"), B({0x0E, 0x42, 0xC1, 0x0F, 0xC1}));
  EXPECT_EQ(table_->ToEBCDIC(u"\uFF21\u000E\uFF22"), B({0x0E, 0x42, 0xC1, 0x0E, 0x42, 0xC2}));
}

TEST_F(ToEbcdicTest, UnmappedCharactersDependOnWhoBuiltTheReverseMap) {
  EXPECT_EQ(table_->ToEBCDIC(u"\u1234\uFFFD"), B({0x00, 0x3F}));
  table_->Save(dir_ / "sample.tbl");
  CCSID loaded;
  loaded.Load(dir_ / "sample.tbl", 0);
  EXPECT_EQ(loaded.table().reverse_map, nullptr);
  EXPECT_EQ(loaded.ToEBCDIC(u"\u1234A\uFF21"), B({0x6F, 0xC1, 0x0E, 0x42, 0xC1}));
  EXPECT_NE(loaded.table().reverse_map, nullptr);
}

TEST_F(ToEbcdicTest, LongTextCrossesChunks) {
  // Many lines and runs, so the output grows several times; every line is one record.
  std::u16string text;
  std::vector<std::uint8_t> expected;
  for (int i = 0; i < 20000; ++i) {
    text += i % 2 ? u"AB\uFF21\n" : u"C\r\n";
    auto record = i % 2 ? B({0xC1, 0xC2, 0x0E, 0x42, 0xC1}) : B({0xC3});
    record.resize(80, 0x40);
    expected.insert(expected.end(), record.begin(), record.end());
  }
  EXPECT_EQ(table_->ToEBCDIC(text), expected);
}

TEST_F(ToEbcdicTest, RoundTripThroughRecords) {
  ScopedLocale locale("ja_JP.UTF-8");
  std::u16string text = u"AB\uFF21\uFF22C\nGAB\u3000";
  std::vector<std::uint8_t> bytes = table_->ToEBCDIC(text);
  EXPECT_EQ(table_->ToUnicode(bytes, K::RemoveAll),
            u"AB\uFF21\uFF22C" + std::u16string(71, u' ') + u"\r\nGAB\u3000");
}

}  // namespace
}  // namespace svregistration::testing
