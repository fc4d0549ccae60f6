// The code page table: character map import, the binary table file, the reverse map built from
// the byte maps, and the lookups of single bytes and pairs.
#include <gtest/gtest.h>

#include <tuple>

#include "codepage_test_support.h"
#include "support/error_capture.h"

namespace svregistration::testing {
namespace {

std::uint16_t Single(const CCSID& table, std::uint8_t b) {
  return static_cast<std::uint16_t>(table.SBCStoUnicode(b));
}
std::int32_t Reverse(const CCSID& table, char16_t c) {
  return (*codepage::TableOf(table).reverse_map)[c];
}

// ---- Import ----

TEST(ImportTest, StoresWhatTheLinesSay) {
  // The character map, a byte and its single-byte map entry after the import, a character and
  // its reverse map entry (U+FFFD is 0x3F unless a line maps it).
  const std::tuple<const char*, std::uint8_t, std::uint16_t, char16_t, std::int32_t> cases[] = {
      // Lines before the section are not read.
      {"<U0041> \\xC1 |0\nCHARMAP\nEND CHARMAP\n", 0xC1, 0, 0xFFFD, 0x3F},
      {"charmap\n<U0041> \\xC1 |0\nend charmap\n<U0042> \\xC2 |0\n", 0xC1, 0x41, u'B', 0},
      {"CHARMAP\nENDCHARMAP\n<U0042> \\xC2 |0\n", 0xC2, 0, 0xFFFD, 0x3F},
      {"CHARMAP\n# END CHARMAP\n<U0042> \\xC2 |0\nEND CHARMAP\n", 0xC2, 0x42, 0xFFFD, 0x3F},
      {"CHARMAP\n<U0042> \\xC2 |0", 0xC2, 0x42, 0xFFFD, 0x3F},  // no END line, no last line end
      {"CHARMAP\r\n<U0042> \\xC2 |0\r\nEND CHARMAP\r\n", 0xC2, 0x42, 0xFFFD, 0x3F},
      {"CHARMAP\n   <U0042> \\xC2 |0   \n", 0xC2, 0x42, 0xFFFD, 0x3F},
      {"CHARMAP\n<U10000> \\x41 |0\n", 0x41, 0x1000, 0xFFFD, 0x3F},  // only four digits are read
      {"CHARMAP\n<U0042> \\xC2 |0 extra fields\n", 0xC2, 0x42, 0xFFFD, 0x3F},
      {"CHARMAP\n<U00e2> \\x4 |0\n", 0x04, 0xE2, 0xFFFD, 0x3F},
      {"CHARMAP\n<UFFFF> \\xFF |0\n", 0xFF, 0xFFFF, 0xFFFD, 0x3F},
      // Markers: the first mapping wins in each direction; 3 replaces the byte's character, 1
      // the character's byte, 2 changes nothing; U+0000 reads as unmapped.
      {"CHARMAP\n<U00A2> \\x4A |0\n<U00A3> \\x4A |0\n", 0x4A, 0xA2, 0xFFFD, 0x3F},
      {"CHARMAP\n<U00A2> \\x4A |0\n<U00A2> \\x4B |0\n", 0x4B, 0xA2, 0xA2, 0x4A},
      {"CHARMAP\n<U00A2> \\x4A |0\n<U00A3> \\x4A |1\n", 0x4A, 0xA2, 0xA3, 0x4A},
      {"CHARMAP\n<U00A2> \\x4A |0\n<U00A2> \\x4B |1\n", 0x4A, 0xA2, 0xA2, 0x4B},
      {"CHARMAP\n<U00A2> \\x4A |0\n<U00A3> \\x4A |3\n", 0x4A, 0xA3, 0xA2, 0x4A},
      {"CHARMAP\n<U00A2> \\x4A |2\n", 0x4A, 0, 0xA2, 0},
      {"CHARMAP\n<U00A2> \\x4A |2x\n", 0x4A, 0, 0xFFFD, 0x3F},  // the marker is one character
      {"CHARMAP\n<U0000> \\x4A |0\n<U00A3> \\x4A |0\n", 0x4A, 0xA3, 0xFFFD, 0x3F},
  };
  for (const auto& [text, byte, single, ch, reverse] : cases) {
    SCOPED_TRACE(text);
    TempDir dir;
    auto table = ImportText(dir, text);
    EXPECT_EQ(Single(*table, byte), single);
    EXPECT_EQ(Reverse(*table, ch), reverse);
  }
}

TEST(ImportTest, PairsMakeLeadBytesAndCodes) {
  TempDir dir;
  auto table = ImportText(dir, kSampleMap);
  EXPECT_EQ(std::tuple(table->isDBCS(0x42), table->isSBCS(0x42), table->isSBCS(0xC1)),
            std::tuple(true, false, true));
  // A pair, an unmapped pair under a lead byte, a byte that is no lead byte.
  EXPECT_EQ(std::tuple(table->DBCStoUnicode(0x42, 0xC1), table->DBCStoUnicode(0x42, 0xC3),
                       table->DBCStoUnicode(0xC1, 0xC1)),
            std::tuple(static_cast<std::int16_t>(0xFF21), -3, -3));
  // Unmapped characters stay 0 after an import.
  EXPECT_EQ(std::tuple(Reverse(*table, 0xFF21), Reverse(*table, u'A'), Reverse(*table, 0x1234)),
            std::tuple(0x42 + 256 * 0xC1, 0xC1, 0));
}

// An import adds to the byte maps and renews the reverse map, before it opens the file.
TEST(ImportTest, ImportsAddToTheByteMapsAndRenewTheReverseMap) {
  TempDir dir;
  CCSID table;
  table.Import(dir.Write("one.ucm", "CHARMAP\n<U0041> \\xC1 |0\n<U3000> \\x40\\x40 |0\n"), 37);
  table.Import(dir.Write("two.ucm", "CHARMAP\n<U0042> \\xC2 |0\n"), 930);
  EXPECT_EQ(std::tuple(Single(table, 0xC1), Single(table, 0xC2), table.DBCStoUnicode(0x40, 0x40)),
            std::tuple(0x41, 0x42, 0x3000));
  // The first import's reverse entries are gone.
  EXPECT_EQ(std::tuple(Reverse(table, u'A'), Reverse(table, u'B')), std::tuple(0, 0xC2));
  EXPECT_EQ(std::tuple(table.FileName(), table.CcsidNumber()), std::tuple(dir / "two.ucm", 930));

  // A missing file is named; the byte maps stay.
  std::string missing = dir / "absent.ucm";
  ExpectError([&] { table.Import(missing, 5026); }, error_number::kFileNotFound, missing);
  EXPECT_EQ(
      std::tuple(table.FileName(), table.CcsidNumber(), Single(table, 0xC2), Reverse(table, u'B')),
      std::tuple(missing, 5026, 0x42, 0));
  missing = dir / "absent.tbl";
  ExpectError([&] { table.Load(missing, 1); }, error_number::kFileNotFound, missing);
  EXPECT_EQ(std::tuple(table.FileName(), Single(table, 0xC2)), std::tuple(missing, 0x42));
}

// The first bad line ends the import with the mappings before it kept.
TEST(ImportTest, BadLinesStopWithTheErrorAndTheirLine) {
  // clang-format off
  const std::pair<const char*, int> cases[] = {
      {"", 9}, {"    ", 9}, {"<U0041>", 9}, {"<U0041> \\xC1", 9}, {"  # not a comment here", 13},
      {"<U041> \\xC1 |0", 13}, {"<U00G1> \\xC1 |0", 13}, {"<U0041> \\xG1 |0", 13},
      {"<U0041> \\xC1\\xZ1 |0", 13}, {"<U0041> \\xC1\\ |0", 13}, {"<U0041> \\x |0", 13},
      {"<U0041> \\xC1 |", 13}, {"<U0041> \\xC1 |z", 13},
      {"<U0041>  \\xC1 |0", 13},  // two spaces make an empty field
      {"<U0041>\t\\xC1 |0", 13},  // a tab is no separator
  };
  // clang-format on
  for (const auto& [line, number] : cases) {
    SCOPED_TRACE(line);
    TempDir dir;
    std::string path = dir.Write("bad.ucm", std::string("CHARMAP\n<U0042> \\xC2 |0\n") + line +
                                                "\n<U0043> \\xC3 |0\nEND CHARMAP\n");
    CCSID table;
    ExpectError([&] { table.Import(path, 0); }, number, "line 3 of '" + path + "'");
    // The line before stays, the line after is not read, and the import did not reach its end
    // (where U+FFFD gets its byte).
    EXPECT_EQ(std::tuple(Single(table, 0xC2), Single(table, 0xC3), Reverse(table, u'B'),
                         Reverse(table, 0xFFFD)),
              std::tuple(0x42, 0, 0xC2, 0));
  }
}

// A file handed over to be a character map must have a CHARMAP section that maps a character;
// one that has not is refused before the table changes.
TEST(ImportTest, ImportCharacterMapRefusesFilesThatAreNoCharacterMap) {
  const std::pair<const char*, const char*> refused[] = {
      {"", "none of its 0 lines starts a CHARMAP section"},
      {"root:x:0:0:root:/root:/bin/bash\n<U0041> \\xC1 |0\n", "none of its 2 lines starts"},
      {"END CHARMAP\nCHARMAP\n<U0041> \\xC1 |0\n", "none of its 1 lines starts"},
      {"CHARMAP\n# nothing\n\nEND CHARMAP\n<U0041> \\xC1 |0\n",
       "its CHARMAP section maps no character"},
  };
  TempDir dir;
  CCSID table;
  ImportCharacterMap(table, dir.Write("good.ucm", kSampleMap), 37);
  for (const auto& [text, reason] : refused) {
    SCOPED_TRACE(text);
    const std::string path = dir.Write("bad.ucm", text);
    ExpectError([&] { ImportCharacterMap(table, path, 930); }, error_number::kInvalidProcedureCall,
                "'" + path + "' is not a character map: " + reason);
    EXPECT_EQ(std::tuple(table.FileName(), table.CcsidNumber(), Single(table, 0xC1),
                         Reverse(table, u'A')),
              std::tuple(dir / "good.ucm", 37, 0x41, 0xC1));
  }
  ExpectError([&] { ImportCharacterMap(table, dir / "absent.ucm", 930); },
              error_number::kFileNotFound, dir / "absent.ucm");
  EXPECT_EQ(table.FileName(), dir / "good.ucm");
}

// ---- The table file ----

TEST(TableFileTest, LayoutAndRoundTrip) {
  TempDir dir;
  auto table = ImportText(dir, kSampleMap);
  std::string path = dir / "double.tbl";
  table->Save(path);
  EXPECT_EQ(table->FileName(), path);
  std::string bytes = ReadFile(path);
  // 256 little-endian characters, then per byte a 2-byte flag followed, for a lead byte, by
  // its 256 trail characters.
  ASSERT_EQ(bytes.size(), 1024u + 2 * 512u);
  EXPECT_EQ(bytes.substr(2 * 0xC1, 2), std::string("\x41\x00", 2));
  const std::size_t flag40 = 512 + 2 * 0x40, flag42 = flag40 + 512 + 2 * 2;
  EXPECT_EQ(bytes.substr(512, 2 * 0x40), std::string(2 * 0x40, '\0'));
  EXPECT_EQ(bytes.substr(flag40, 2), "\xFF\xFF");
  EXPECT_EQ(bytes.substr(flag40 + 2 + 2 * 0x40, 2), std::string("\x00\x30", 2));
  EXPECT_EQ(bytes.substr(flag42, 2), "\xFF\xFF");
  EXPECT_EQ(bytes.substr(flag42 + 2 + 2 * 0xC2, 2), std::string("\x22\xFF", 2));

  CCSID loaded;
  loaded.Load(path, 37);
  EXPECT_EQ(loaded.CcsidNumber(), 37);
  loaded.Save(dir / "again.tbl");
  EXPECT_EQ(ReadFile(dir / "again.tbl"), bytes);
}

TEST(TableFileTest, TruncatedFileRaisesInputPastEndAndKeepsTheMaps) {
  TempDir dir;
  auto table = ImportText(dir, kSampleMap);
  table->Save(dir / "full.tbl");
  std::string bytes = ReadFile(dir / "full.tbl");
  // Cut inside the single-byte map, before a flag, inside a flag, inside a trail map, and just
  // before the end.
  for (std::size_t cut : std::vector<std::size_t>{0, 511, 512, 512 + 2 * 0x40 + 1,
                                                  512 + 2 * 0x40 + 100, bytes.size() - 1}) {
    SCOPED_TRACE(cut);
    std::string path = dir.Write("cut.tbl", bytes.substr(0, cut));
    ExpectError([&] { table->Load(path, 939); }, error_number::kInputPastEndOfFile, path);
    EXPECT_EQ(std::tuple(table->FileName(), table->CcsidNumber(), table->DBCStoUnicode(0x42, 0xC1),
                         Single(*table, 0xC1)),
              std::tuple(path, 939, static_cast<std::int16_t>(0xFF21), 0x41));
  }
}

// A load replaces the single bytes and the lead flags (any flag that is not 0), and ignores what
// follows the last map; the reverse map and the pairs of bytes the file does not flag stay.
TEST(TableFileTest, LoadReplacesSinglesAndLeadFlagsOnly) {
  TempDir dir;
  std::string bytes(1024, '\0');
  bytes[512 + 2 * 0x40] = '\x01';
  std::string trail(512, '\0');
  trail.replace(2 * 0xC1, 2, "\x42\x30");  // U+3042 after lead byte 0x40
  bytes.insert(512 + 2 * 0x40 + 2, trail);
  auto table = ImportText(dir, kSampleMap);
  table->Load(dir.Write("flag.tbl", bytes + "trailing garbage"), 0);
  EXPECT_EQ(
      std::tuple(Single(*table, 0xC1), table->isDBCS(0x40), table->DBCStoUnicode(0x40, 0xC1),
                 table->isDBCS(0x42), table->DBCStoUnicode(0x42, 0xC1), Reverse(*table, u'A')),
      std::tuple(0, true, 0x3042, false, static_cast<std::int16_t>(0xFF21), 0xC1));
  EXPECT_EQ(table->ToEBCDIC(u"A"), Bytes{0xC1});
}

// ---- The reverse map built from the byte maps ----

TEST(BuildReverseMapTest, LowestByteWinsSinglesBeforePairs) {
  TempDir dir;
  auto table = ImportText(dir,
                          "CHARMAP\n<U00A2> \\x4B |0\n<U00A2> \\x4A |0\n"   // lower byte
                          "<U00A3> \\x42\\x4C |0\n<U00A3> \\x41\\x4D |0\n"  // lower lead
                          "<U00A3> \\x4C |0\n"  // a single byte beats the pairs
                          "<U00A4> \\x42\\x4E |0\n<U00A4> \\x42\\x4D |0\n");  // lower trail
  codepage::BuildReverseMap(codepage::TableOf(*table));
  // Unmapped bytes stand for U+0000: the lowest wins.
  EXPECT_EQ(std::tuple(Reverse(*table, 0xA2), Reverse(*table, 0xA3), Reverse(*table, 0xA4),
                       Reverse(*table, 0x1234), Reverse(*table, 0)),
            std::tuple(0x4A, 0x4C, 0x42 + 256 * 0x4D, 0x6F, 0x00));
}

}  // namespace
}  // namespace svregistration::testing
