// Conversions with a code page table: EBCDIC records to text (shift-out/shift-in runs, literals,
// record ends, the ANSI code page) and text to EBCDIC records.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "codepage_test_support.h"
#include "support/error_capture.h"
#include "support/scoped_environment.h"
#include "svregistration/record_decoder.h"

namespace svregistration::testing {
namespace {

using K = SOSIKeepType;

class ConversionTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::unique_ptr<CCSID> table_ = ImportText(dir_, kSampleMap);
};

const std::u16string kSO = u"\u000E";
const std::u16string kSI = u"\u000F";

// A Japanese user locale: its ANSI code page (932) holds the pairs' characters in two bytes.
TEST_F(ConversionTest, RecordsToTextInAJapaneseLocale) {
  ScopedLocale locale("ja_JP.UTF-8");
  const Bytes run = {0x0E, 0x42, 0xC1, 0x42, 0xC2, 0x0F};
  const std::u16string line(80, u'A'), a77(77, u'A'), a78(78, u'A');
  // clang-format off
  const std::tuple<Bytes, K, std::u16string> cases[] = {
      {run, K::RemoveAll, u"\uFF21\uFF22"},
      {run, K::ReplaceAll, u" \uFF21\uFF22 "},
      {run, K::KeepAll, kSO + u"\uFF21\uFF22" + kSI},
      {Bytes{0xC1, 0x0E, 0x42, 0xC1, 0x0F}, static_cast<K>(7), std::u16string(u"A\0\uFF21\0", 4)},
      {Bytes{0xC1, 0x0F, 0xC2}, K::RemoveAll, u"AB"},  // SI outside a run
      {Bytes{0xC1, 0x0F, 0xC2}, K::ReplaceAll, u"A B"},
      // Literals: SO/SI are kept only inside a quote that is not a G (or g) literal.
      {Bytes{0x0E, 0x42, 0xC1, 0x0F}, K::KeepInLiterals, u"\uFF21"},
      {Bytes{0x7D, 0x0E, 0x42, 0xC1, 0x0F, 0x7D}, K::KeepInLiterals, u"'" + kSO + u"\uFF21" + kSI + u"'"},
      {Bytes{0xC7, 0x7D, 0x0E, 0x42, 0xC1, 0x0F, 0x7D}, K::KeepInLiterals, u"G'\uFF21'"},
      {Bytes{0x87, 0x7D, 0x0E, 0x42, 0xC1, 0x0F, 0x7D}, K::KeepInLiterals, u"g'\uFF21'"},
      {Bytes{0x7D, 0x7F, 0x0E, 0x42, 0xC1, 0x0F}, K::KeepInLiterals, u"'\"" + kSO + u"\uFF21" + kSI},
      {Bytes{0x7D, 0x7D, 0x0E, 0x42, 0xC1, 0x0F}, K::KeepInLiterals, u"''\uFF21"},  // closed
      // Inside a plain literal a space lead byte makes a pair only with another space.
      {Bytes{0x7D, 0x0E, 0x40, 0x40, 0x0F, 0x7D}, K::RemoveAll, u"'\u3000'"},
      {Bytes{0x7D, 0x0E, 0x40, 0xC1, 0xC2, 0x0F, 0x7D}, K::RemoveAll, u"' AB'"},
      {Bytes{0xC7, 0x7D, 0x0E, 0x40, 0xC1, 0x0F, 0x7D}, K::RemoveAll, u"G'\uFF10'"},
      {Bytes{0x0E, 0x40, 0xC1, 0x0F}, K::RemoveAll, u"\uFF10"},
      // A quote ends a run inside a literal and is a lead byte outside one.
      {Bytes{0x7D, 0x0E, 0x42, 0xC1, 0x7D, 0xC1}, K::RemoveAll, u"'\uFF21'A"},
      {Bytes{0x0E, 0x7D, 0xC1, 0x0F}, K::RemoveAll, u"'A"},
      // Unmapped bytes, a pair with no character, a character code page 932 holds in two bytes.
      {Bytes{0xC1, 0x99, 0xC2}, K::KeepAll, std::u16string(u"A\0B", 3)},
      {Bytes{0x0E, 0x42, 0xC3, 0x0F}, K::RemoveAll, u"\u00E2C"},
      {Bytes{0x43, 0xC1}, K::KeepAll, u"?A"},
      {Bytes{0xC1, 0x0E, 0x42}, K::RemoveAll, u"A\u00E2"},  // a last lone byte is single
      {Bytes{}, K::KeepAll, u""},
      // Records of 80 bytes become lines, with no line end after the last.
      {Bytes(170, 0xC1), K::KeepAll, line + u"\r\n" + line + u"\r\nAAAAAAAAAA"},
      // The next record ends a run without SI...
      {Join({Bytes(77, 0xC1), Bytes{0x0E, 0x42, 0xC1, 0xC1, 0xC2}}), K::RemoveAll, a77 + u"\uFF21\r\nAB"},
      // ...except when a lead byte ends the record: then the next record goes on shifted.
      {Join({Bytes(78, 0xC1), Bytes{0x0E, 0x42, 0xC1, 0x42, 0xC2, 0x0F, 0xC3}, Bytes(75, 0xC2), Bytes{0xC1}}),
       K::RemoveAll, a78 + u"\uFF21\uFF22C" + std::u16string(75, u'B') + u"\r\nA"},
      // Literal and G state start afresh: record two opens a plain literal at its first byte.
      {Join({Bytes(78, 0xC1), Bytes{0x7D, 0xC7, 0x7D, 0x0E, 0x42, 0xC1, 0x0F, 0x7D}}), K::KeepInLiterals,
       a78 + u"'G\r\n'" + kSO + u"\uFF21" + kSI + u"'"},
  };
  // clang-format on
  for (const auto& [bytes, keep, expected] : cases) {
    EXPECT_EQ(table_->ToUnicode(bytes, keep), expected) << ::testing::PrintToString(bytes);
  }
}

// A decoder given its code page answers alike in every locale. UTF-8 text holds every
// character: each pair is its own (U+FFFD when not mapped) and no single byte becomes "?".
TEST_F(ConversionTest, ADecoderGivenItsCodePageIgnoresTheLocale) {
  const auto bytes = Bytes{0x0E, 0x42, 0xC1, 0x42, 0xC3, 0x0F, 0x43};
  const std::pair<std::uint32_t, std::u16string> cases[] = {
      {932, u"\uFF21\u00E2C?"},
      {1252, u"\u00E2A\u00E2C\u4E00"},
      {RecordDecoder::kUnicodeText, u"\uFF21\uFFFD\u4E00"},
  };
  for (const char* name : {"C.UTF-8", "ja_JP.UTF-8", "en_US.UTF-8"}) {
    ScopedLocale locale(name);
    for (const auto& [code_page, expected] : cases) {
      RecordDecoder decoder(*table_, K::RemoveAll, code_page);
      std::u16string text;
      decoder.Decode(bytes.data(), bytes.size(), true, text);
      EXPECT_EQ(text, expected) << name << ", code page " << code_page;
    }
  }
  // A code page the system does not know is refused by number, and the table stays usable. In a
  // Western locale (1252, no double-byte characters) pairs come out as their bytes read singly.
  ExpectError([&] { RecordDecoder(*table_, K::RemoveAll, 12345); }, 5, "12345");
  ScopedLocale western("en_US.UTF-8");
  EXPECT_EQ(table_->ToUnicode(bytes, K::RemoveAll), cases[1].second);
}

// What pairs come out as is worked out once per code page; new maps, imported or loaded, are
// never answered from the old ones' answers.
TEST_F(ConversionTest, NewMapsAreNotAnsweredFromTheOldOnes) {
  ScopedLocale locale("ja_JP.UTF-8");
  const auto unmapped_pair = Bytes{0x0E, 0x42, 0xC3, 0x0F};
  EXPECT_EQ(table_->ToUnicode(unmapped_pair, K::RemoveAll), u"\u00E2C");
  table_->Save(dir_ / "before.tbl");
  table_->Import(dir_.Write("more.ucm", "CHARMAP\n<UFF23> \\x42\\xC3 |0\nEND CHARMAP\n"), 0);
  EXPECT_EQ(table_->ToUnicode(unmapped_pair, K::RemoveAll), u"\uFF23");
  table_->Load(dir_ / "before.tbl", 0);
  EXPECT_EQ(table_->ToUnicode(unmapped_pair, K::RemoveAll), u"\u00E2C");
}

// Streams cut anywhere (inside pairs, at record ends, into empty pieces) give the whole text.
TEST_F(ConversionTest, PiecesOfAStreamGiveTheWholeText) {
  ScopedLocale locale("ja_JP.UTF-8");
  const std::uint8_t alphabet[] = {0x0E, 0x0F, 0x40, 0x42, 0xC1, 0xC2,
                                   0xC7, 0x7D, 0x7F, 0x87, 0x43};
  std::mt19937 random(2);
  for (int round = 0; round < 300; ++round) {
    Bytes bytes(random() % 400);
    for (auto& b : bytes) b = alphabet[random() % sizeof alphabet];
    for (auto keep : {K::KeepAll, K::RemoveAll, K::KeepInLiterals, K::ReplaceAll}) {
      RecordDecoder decoder(*table_, keep);
      std::u16string text;
      Bytes pending;
      for (auto pos = bytes.begin();;) {
        auto take = std::min(static_cast<std::ptrdiff_t>(random() % 9), bytes.end() - pos);
        pending.insert(pending.end(), pos, pos + take);
        pos += take;
        bool last = pos == bytes.end();
        std::size_t used = decoder.Decode(pending.data(), pending.size(), last, text);
        ASSERT_LE(pending.size() - used, last ? 0u : 1u);
        if (last) break;
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(used));
      }
      ASSERT_EQ(text, table_->ToUnicode(bytes, keep)) << round;
    }
  }
}

// ---- Text to records ----

TEST_F(ConversionTest, TextToRecords) {
  const std::pair<std::u16string, Bytes> cases[] = {
      // Line ends pad to the next record (not on a record boundary); CR is dropped.
      {u"AB\nC", Join({Bytes{0xC1, 0xC2}, Bytes(78, 0x40), Bytes{0xC3}})},
      {u"A\r\nB", Join({Bytes{0xC1}, Bytes(79, 0x40), Bytes{0xC2}})},
      {std::u16string(80, u'A') + u"\n\n", Bytes(80, 0xC1)},
      {u"\n\nA", Bytes{0xC1}},
      {u"", Bytes{}},
      // Runs open with SO, close with SI before a single byte, not at a line end or the end.
      {u"A\uFF21\uFF22B", Bytes{0xC1, 0x0E, 0x42, 0xC1, 0x42, 0xC2, 0x0F, 0xC2}},
      {u"\uFF21", Bytes{0x0E, 0x42, 0xC1}},
      {u"\uFF21\nA", Join({Bytes{0x0E, 0x42, 0xC1}, Bytes(77, 0x40), Bytes{0xC1}})},
      // U+000E and U+000F write their bytes and switch the state themselves.
      {u"\u000E\uFF21\u000FA", Bytes{0x0E, 0x42, 0xC1, 0x0F, 0xC1}},
      {u"\uFF21\u000E\uFF22", Bytes{0x0E, 0x42, 0xC1, 0x0E, 0x42, 0xC2}},
      // Unmapped characters: 0 in an imported reverse map; U+FFFD is always 0x3F.
      {u"\u1234\uFFFD", Bytes{0x00, 0x3F}},
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(table_->ToEBCDIC(text), bytes) << ::testing::PrintToString(text);
  }
}

// Many lines and runs, so the output grows several times; every line is one record.
TEST_F(ConversionTest, LongTextCrossesChunks) {
  std::u16string text;
  Bytes expected;
  for (int i = 0; i < 20000; ++i) {
    text += i % 2 ? u"AB\uFF21\n" : u"C\r\n";
    auto record = i % 2 ? Bytes{0xC1, 0xC2, 0x0E, 0x42, 0xC1} : Bytes{0xC3};
    record.resize(80, 0x40);
    expected.insert(expected.end(), record.begin(), record.end());
  }
  EXPECT_EQ(table_->ToEBCDIC(text), expected);
}

}  // namespace
}  // namespace svregistration::testing
