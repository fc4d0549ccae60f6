// The code page table: character map import, the binary table file, the reverse map built from
// the byte maps, and the lookups of single bytes and pairs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "codepage_test_support.h"
#include "svregistration/error.h"

namespace svregistration::testing {
namespace {

using ::testing::HasSubstr;

std::uint16_t Single(const CCSID& table, std::uint8_t b) {
  return static_cast<std::uint16_t>(table.SBCStoUnicode(b));
}
std::int32_t Reverse(const CCSID& table, char16_t c) { return (*table.table().reverse_map)[c]; }

// ---- Import: which lines are read ----

struct ImportCase {
  const char* name;
  const char* text;
  std::uint8_t byte;
  std::uint16_t expected;  // the single-byte map's entry for `byte` after the import
};

class ImportLinesTest : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportLinesTest, StoresWhatTheLinesSay) {
  TempDir dir;
  auto table = ImportText(dir, GetParam().text);
  EXPECT_EQ(Single(*table, GetParam().byte), GetParam().expected);
  EXPECT_EQ(Reverse(*table, 0xFFFD), 0x3F);
}

INSTANTIATE_TEST_SUITE_P(
    Grammar, ImportLinesTest,
    ::testing::Values(
        ImportCase{"HeaderLinesAreIgnored", "<U0041> \\xC1 |0\nCHARMAP\nEND CHARMAP\n", 0xC1, 0},
        ImportCase{"LowerCaseSectionLines",
                   "charmap\n<U0041> \\xC1 |0\nend charmap\n<U0042> \\xC2 |0\n", 0xC1, 0x41},
        ImportCase{"ReadingStopsAtEnd", "charmap\nEnd Charmap\n<U0042> \\xC2 |0\n", 0xC2, 0},
        ImportCase{"EndWithoutSpaceStops", "CHARMAP\nENDCHARMAP\n<U0042> \\xC2 |0\n", 0xC2, 0},
        ImportCase{"CommentedEndDoesNotStop",
                   "CHARMAP\n# END CHARMAP\n<U0042> \\xC2 |0\nEND CHARMAP\n", 0xC2, 0x42},
        ImportCase{"NoEndLineReadsToTheEnd", "CHARMAP\n<U0042> \\xC2 |0", 0xC2, 0x42},
        ImportCase{"CrLfLineEnds", "CHARMAP\r\n<U0042> \\xC2 |0\r\nEND CHARMAP\r\n", 0xC2, 0x42},
        ImportCase{"SurroundingSpacesTrimmed", "CHARMAP\n   <U0042> \\xC2 |0   \n", 0xC2, 0x42},
        ImportCase{"OnlyFourDigitsAreRead", "CHARMAP\n<U10000> \\x41 |0\n", 0x41, 0x1000},
        ImportCase{"FurtherFieldsIgnored", "CHARMAP\n<U0042> \\xC2 |0 extra fields\n", 0xC2, 0x42},
        ImportCase{"OneDigitByte", "CHARMAP\n<U0042> \\x4 |0\n", 0x04, 0x42},
        ImportCase{"LowerCaseHex", "CHARMAP\n<U00e2> \\xc2 |0\n", 0xC2, 0xE2},
        ImportCase{"HighValuesKeepTheirBits", "CHARMAP\n<UFFFF> \\xFF |0\n", 0xFF, 0xFFFF},
        ImportCase{"FirstMappingWins", "CHARMAP\n<U00A2> \\x4A |0\n<U00A3> \\x4A |0\n", 0x4A, 0xA2},
        ImportCase{"FallbackDoesNotReplaceTheByte", "CHARMAP\n<U00A2> \\x4A |0\n<U00A3> \\x4A |1\n",
                   0x4A, 0xA2},
        ImportCase{"ReverseFallbackReplacesTheByte",
                   "CHARMAP\n<U00A2> \\x4A |0\n<U00A3> \\x4A |3\n", 0x4A, 0xA3},
        ImportCase{"SubstitutionChangesNothing", "CHARMAP\n<U00A2> \\x4A |2\n", 0x4A, 0},
        ImportCase{"MarkerReadFromOneCharacter", "CHARMAP\n<U00A2> \\x4A |2x\n", 0x4A, 0},
        ImportCase{"UnicodeZeroReadsAsUnmapped", "CHARMAP\n<U0000> \\x4A |0\n<U00A3> \\x4A |0\n",
                   0x4A, 0xA3}),
    CaseName());

TEST(ImportTest, ReverseMapFirstWinsUnlessFallback) {
  TempDir dir;
  auto first = ImportText(dir, "CHARMAP\n<U00A2> \\x4A |0\n<U00A2> \\x4B |0\n", "a.ucm");
  EXPECT_EQ(Single(*first, 0x4B), 0xA2);
  EXPECT_EQ(Reverse(*first, 0xA2), 0x4A);
  auto fallback = ImportText(dir, "CHARMAP\n<U00A2> \\x4A |0\n<U00A2> \\x4B |1\n", "b.ucm");
  EXPECT_EQ(Reverse(*fallback, 0xA2), 0x4B);
  // Substitution lines do not touch the reverse map either.
  auto substitution = ImportText(dir, "CHARMAP\n<U00A2> \\x3F |2\n", "c.ucm");
  EXPECT_EQ(Reverse(*substitution, 0xA2), 0);
}

TEST(ImportTest, PairsMakeLeadBytesAndCodes) {
  TempDir dir;
  auto table = ImportText(dir, kSampleMap);
  EXPECT_TRUE(table->isDBCS(0x42));
  EXPECT_FALSE(table->isSBCS(0x42));
  EXPECT_TRUE(table->isSBCS(0xC1));
  EXPECT_EQ(table->DBCStoUnicode(0x42, 0xC1), static_cast<std::int16_t>(0xFF21));
  EXPECT_EQ(Reverse(*table, 0xFF21), 0x42 + 256 * 0xC1);
  EXPECT_EQ(Reverse(*table, u'A'), 0xC1);
  EXPECT_EQ(Reverse(*table, 0x1234), 0);  // unmapped characters stay 0 after an import
}

TEST(ImportTest, SecondImportAddsToTheByteMapsAndRenewsTheReverseMap) {
  TempDir dir;
  CCSID table;
  table.Import(dir.Write("one.ucm", "CHARMAP\n<U0041> \\xC1 |0\n<U3000> \\x40\\x40 |0\n"), 37);
  table.Import(dir.Write("two.ucm", "CHARMAP\n<U0042> \\xC2 |0\n"), 930);
  EXPECT_EQ(Single(table, 0xC1), 0x41);
  EXPECT_EQ(Single(table, 0xC2), 0x42);
  EXPECT_EQ(table.DBCStoUnicode(0x40, 0x40), 0x3000);
  EXPECT_EQ(Reverse(table, u'A'), 0);  // the first import's reverse entries are gone
  EXPECT_EQ(Reverse(table, u'B'), 0xC2);
  EXPECT_EQ(table.FileName(), dir / "two.ucm");
  EXPECT_EQ(table.CcsidNumber(), 930);
}

TEST(ImportTest, FileWithoutSectionStillMapsReplacementCharacter) {
  TempDir dir;
  auto table = ImportText(dir, "<U0041> \\xC1 |0\n");
  EXPECT_EQ(Single(*table, 0xC1), 0);
  EXPECT_EQ(Reverse(*table, 0xFFFD), 0x3F);
}

TEST(ImportTest, MissingFileNamesThePathAfterSettingTheProperties) {
  TempDir dir;
  auto table = ImportText(dir, kSampleMap);
  std::string missing = dir / "absent.ucm";
  try {
    table->Import(missing, 5026);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), error_number::kFileNotFound);
    EXPECT_THAT(e.description(), HasSubstr(missing));
  }
  EXPECT_EQ(table->FileName(), missing);
  EXPECT_EQ(table->CcsidNumber(), 5026);
  EXPECT_EQ(Single(*table, 0xC1), 0x41);  // the byte maps are kept
  EXPECT_EQ(Reverse(*table, u'A'), 0);    // the reverse map was renewed before the file opened
}

// ---- Import: lines that cannot be read ----

struct BadLine {
  const char* name;
  const char* line;
  int number;
};

class BadLineTest : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadLineTest, StopsWithTheErrorAndKeepsWhatWasStored) {
  TempDir dir;
  std::string path =
      dir.Write("bad.ucm", std::string("CHARMAP\n<U0042> \\xC2 |0\n") + GetParam().line +
                               "\n<U0043> \\xC3 |0\nEND CHARMAP\n");
  CCSID table;
  try {
    table.Import(path, 0);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), GetParam().number) << e.description();
    EXPECT_THAT(e.description(), HasSubstr("line 3 of '" + path + "'"));
  }
  EXPECT_EQ(Single(table, 0xC2), 0x42);
  EXPECT_EQ(Single(table, 0xC3), 0);
  EXPECT_EQ(Reverse(table, u'B'), 0xC2);
  EXPECT_EQ(Reverse(table, 0xFFFD), 0);  // the import did not reach its end
}

INSTANTIATE_TEST_SUITE_P(
    Sweep, BadLineTest,
    ::testing::Values(BadLine{"EmptyLine", "", 9}, BadLine{"BlankLine", "    ", 9},
                      BadLine{"OneField", "<U0041>", 9}, BadLine{"TwoFields", "<U0041> \\xC1", 9},
                      BadLine{"IndentedComment", "  # not a comment here", 13},
                      BadLine{"ThreeDigitUnicode", "<U041> \\xC1 |0", 13},
                      BadLine{"NonHexUnicode", "<U00G1> \\xC1 |0", 13},
                      BadLine{"NonHexByte", "<U0041> \\xG1 |0", 13},
                      BadLine{"NonHexTrail", "<U0041> \\xC1\\xZ1 |0", 13},
                      BadLine{"ShortPair", "<U0041> \\xC1\\ |0", 13},
                      BadLine{"NoByteDigits", "<U0041> \\x |0", 13},
                      BadLine{"EmptyMarker", "<U0041> \\xC1 |", 13},
                      BadLine{"NonHexMarker", "<U0041> \\xC1 |z", 13},
                      BadLine{"TwoSpacesMakeAnEmptyField", "<U0041>  \\xC1 |0", 13},
                      BadLine{"TabIsNoSeparator", "<U0041>\t\\xC1 |0", 13}),
    CaseName());

// ---- The table file ----

class TableFileTest : public ::testing::Test {
 protected:
  void ExpectSameMaps(const CCSID& a, const CCSID& b) {
    EXPECT_EQ(a.table().sbcs_map, b.table().sbcs_map);
    for (int lead = 0; lead < 256; ++lead) {
      const LeadEntry& x = a.table().lead_map[static_cast<std::size_t>(lead)];
      const LeadEntry& y = b.table().lead_map[static_cast<std::size_t>(lead)];
      ASSERT_EQ(x.is_lead != 0, y.is_lead != 0) << lead;
      if (x.is_lead) {
        EXPECT_EQ(*x.trail_map, *y.trail_map) << lead;
      }
    }
  }

  TempDir dir_;
};

TEST_F(TableFileTest, SingleByteTableIs1024LittleEndianBytes) {
  auto table = ImportText(dir_, "CHARMAP\n<U0041> \\xC1 |0\n<U20AC> \\x9F |0\n");
  std::string path = dir_ / "single.tbl";
  table->Save(path);
  EXPECT_EQ(table->FileName(), path);
  std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 1024u);
  EXPECT_EQ(bytes.substr(2 * 0xC1, 2), std::string("\x41\x00", 2));
  EXPECT_EQ(bytes.substr(2 * 0x9F, 2), std::string("\xAC\x20", 2));
  EXPECT_EQ(bytes.substr(512), std::string(512, '\0'));

  CCSID loaded;
  loaded.Load(path, 37);
  EXPECT_EQ(loaded.CcsidNumber(), 37);
  ExpectSameMaps(*table, loaded);
}

TEST_F(TableFileTest, LeadRecordsCarryTheirTrailMaps) {
  auto table = ImportText(dir_, kSampleMap);
  std::string path = dir_ / "double.tbl";
  table->Save(path);
  std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 1024u + 2 * 512u);
  // Lead records before 0x40 are two zero bytes each; 0x40's flag follows them.
  std::size_t flag40 = 512 + 2 * 0x40;
  EXPECT_EQ(bytes.substr(flag40, 2), "\xFF\xFF");
  EXPECT_EQ(bytes.substr(flag40 + 2 + 2 * 0x40, 2), std::string("\x00\x30", 2));
  CCSID loaded;
  loaded.Load(path, 0);
  ExpectSameMaps(*table, loaded);
}

TEST_F(TableFileTest, AnyNonZeroFlagIsALeadByteAndTrailingBytesAreIgnored) {
  std::string bytes(1024, '\0');
  bytes[512 + 2 * 0x42] = '\x01';
  std::string trail(512, '\0');
  trail[2 * 0xC1] = '\x21';
  trail[2 * 0xC1 + 1] = '\xFF';
  bytes.insert(512 + 2 * 0x42 + 2, trail);
  bytes += "trailing garbage";
  CCSID table;
  table.Load(dir_.Write("flag.tbl", bytes), 0);
  EXPECT_TRUE(table.isDBCS(0x42));
  EXPECT_EQ(table.DBCStoUnicode(0x42, 0xC1), static_cast<std::int16_t>(0xFF21));
}

TEST_F(TableFileTest, SaveShortensALongerFile) {
  std::string path = dir_.Write("old.tbl", std::string(5000, 'x'));
  CCSID table;
  table.Save(path);
  EXPECT_EQ(ReadFile(path), std::string(1024, '\0'));
}

TEST_F(TableFileTest, TruncatedFileRaisesInputPastEndAndKeepsTheMaps) {
  auto table = ImportText(dir_, kSampleMap);
  std::string full = dir_ / "full.tbl";
  table->Save(full);
  std::string bytes = ReadFile(full);
  // Cut inside the single-byte map, before a flag, inside a flag, inside a trail map, and just
  // before the end.
  for (std::size_t cut :
       {std::size_t{0}, std::size_t{511}, std::size_t{512}, std::size_t{512 + 2 * 0x40 + 1},
        std::size_t{512 + 2 * 0x40 + 100}, bytes.size() - 1}) {
    std::string path = dir_.Write("cut.tbl", bytes.substr(0, cut));
    try {
      table->Load(path, 939);
      ADD_FAILURE() << "no error at cut " << cut;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), error_number::kInputPastEndOfFile) << cut;
      EXPECT_THAT(e.description(), HasSubstr(path));
    }
    EXPECT_EQ(table->FileName(), path);
    EXPECT_EQ(table->CcsidNumber(), 939);
    EXPECT_EQ(table->DBCStoUnicode(0x42, 0xC1), static_cast<std::int16_t>(0xFF21)) << cut;
    EXPECT_EQ(Single(*table, 0xC1), 0x41) << cut;
  }
}

TEST_F(TableFileTest, MissingFileNamesThePathAndKeepsTheMaps) {
  auto table = ImportText(dir_, kSampleMap);
  std::string missing = dir_ / "absent.tbl";
  try {
    table->Load(missing, 1);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), error_number::kFileNotFound);
    EXPECT_THAT(e.description(), HasSubstr(missing));
  }
  EXPECT_EQ(table->FileName(), missing);
  EXPECT_EQ(Single(*table, 0xC1), 0x41);
}

TEST_F(TableFileTest, LoadAfterImportKeepsTheImportsReverseMap) {
  auto other = ImportText(dir_, "CHARMAP\n<U0041> \\x41 |0\n", "other.ucm");
  other->Save(dir_ / "other.tbl");
  auto table = ImportText(dir_, kSampleMap);
  table->Load(dir_ / "other.tbl", 0);
  EXPECT_EQ(Single(*table, 0xC1), 0);  // the byte maps are the file's
  EXPECT_EQ(Reverse(*table, u'A'), 0xC1);
  EXPECT_EQ(table->ToEBCDIC(U("A")), B({0xC1}));
}

// ---- The reverse map built from the byte maps ----

TEST(BuildReverseMapTest, LowestByteWinsSinglesBeforePairs) {
  TempDir dir;
  auto table = ImportText(dir,
                          "CHARMAP\n"
                          "<U00A2> \\x4B |0\n"
                          "<U00A2> \\x4A |0\n"  // same character, lower byte
                          "<U00A3> \\x42\\x4C |0\n"
                          "<U00A3> \\x41\\x4D |0\n"  // lower lead
                          "<U00A3> \\x4C |0\n"       // single byte beats the pairs
                          "<U00A4> \\x42\\x4E |0\n"
                          "<U00A4> \\x42\\x4D |0\n");  // same lead, lower trail
  codepage::BuildReverseMap(table->table());
  EXPECT_EQ(Reverse(*table, 0xA2), 0x4A);
  EXPECT_EQ(Reverse(*table, 0xA3), 0x4C);
  EXPECT_EQ(Reverse(*table, 0xA4), 0x42 + 256 * 0x4D);
  EXPECT_EQ(Reverse(*table, 0x1234), 0x6F);
  // Unmapped bytes stand for U+0000: the lowest of them wins it.
  EXPECT_EQ(Reverse(*table, 0), 0x00);
}

TEST(LookupTest, EmptyTable) {
  CCSID table;
  EXPECT_EQ(table.FileName(), "");
  EXPECT_EQ(table.CcsidNumber(), 0);
  for (int b = 0; b < 256; ++b) {
    auto byte = static_cast<std::uint8_t>(b);
    EXPECT_TRUE(table.isSBCS(byte));
    EXPECT_FALSE(table.isDBCS(byte));
    EXPECT_EQ(table.SBCStoUnicode(byte), 0);
    EXPECT_EQ(table.DBCStoUnicode(byte, byte), -3);
  }
  EXPECT_EQ(table.table().reverse_map, nullptr);
}

TEST(LookupTest, UnmappedPairUnderALeadByteIsReplacementCharacter) {
  TempDir dir;
  auto table = ImportText(dir, kSampleMap);
  EXPECT_EQ(table->DBCStoUnicode(0x42, 0xC3), -3);
  EXPECT_EQ(table->DBCStoUnicode(0xC1, 0xC1), -3);
  EXPECT_EQ(table->SBCStoUnicode(0x99), 0);
}

}  // namespace
}  // namespace svregistration::testing
