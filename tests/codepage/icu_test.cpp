// Tables from ICU's converters against imports of the same converters' character maps, and the
// conversions of real code pages (ibm-37, ibm-930) against ICU's own conversions.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>

#include "codepage_test_support.h"
#include "platform/ansi_conversion.h"
#include "support/shared_fixtures.h"
#include "svregistration/error.h"
#include "svregistration/icu_table.h"

namespace svregistration::testing {
namespace {

std::string UcmPath(const std::string& file) {
  return (SharedDir() / "fixtures" / "ucm" / file).string();
}

/// A copy of a character map whose second CHARMAP section (the converter's extension, which an
/// import never reads) is joined to the first, so that an import reads all the mappings the
/// converter holds.
std::string JoinedSections(const TempDir& dir, const std::string& file) {
  std::istringstream in(ReadFile(UcmPath(file)));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  auto first_end = std::find(lines.begin(), lines.end(), "END CHARMAP");
  auto second = std::find(first_end, lines.end(), "CHARMAP");
  std::string text;
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    if (second != lines.end() && it >= first_end && it <= second) continue;
    text += *it + "\n";
  }
  return dir.Write("joined-" + file, text);
}

std::string SavedBytes(CCSID& table, const TempDir& dir, const std::string& name) {
  table.Save(dir / name);
  return ReadFile(dir / name);
}

/// Where two tables' byte maps differ: "s XX" for a single byte, "p LLTT" for a pair.
std::set<std::string> Differences(const CCSID& a, const CCSID& b) {
  std::set<std::string> out;
  char key[16];
  for (int x = 0; x < 256; ++x) {
    auto lead = static_cast<std::uint8_t>(x);
    if (a.SBCStoUnicode(lead) != b.SBCStoUnicode(lead)) {
      std::snprintf(key, sizeof key, "s %02X", x);
      out.insert(key);
    }
    for (int y = 0; y < 256; ++y) {
      auto trail = static_cast<std::uint8_t>(y);
      if (a.DBCStoUnicode(lead, trail) != b.DBCStoUnicode(lead, trail)) {
        std::snprintf(key, sizeof key, "p %02X%02X", x, y);
        out.insert(key);
      }
    }
  }
  return out;
}

struct Converter {
  const char* name;
  const char* file;
  bool two_sections;
};

class FromIcuTest : public ::testing::TestWithParam<Converter> {};

TEST_P(FromIcuTest, SameTableAsImportOfItsCharacterMap) {
  SVREG_REQUIRE_SHARED();
  TempDir dir;
  const Converter& c = GetParam();
  CCSID from_icu;
  FillFromIcu(from_icu, c.name);
  CCSID imported;
  imported.Import(c.two_sections ? JoinedSections(dir, c.file) : UcmPath(c.file), 0);
  EXPECT_EQ(SavedBytes(from_icu, dir, "icu.tbl"), SavedBytes(imported, dir, "ucm.tbl"));
  EXPECT_TRUE(*from_icu.table().reverse_map == *imported.table().reverse_map);

  if (c.two_sections) {
    // The file as it stands gives the first section only: a part of the converter's table.
    CCSID first_section;
    first_section.Import(UcmPath(c.file), 0);
    for (int b = 0; b < 256; ++b) {
      auto byte = static_cast<std::uint8_t>(b);
      if (first_section.SBCStoUnicode(byte) != 0) {
        EXPECT_EQ(first_section.SBCStoUnicode(byte), from_icu.SBCStoUnicode(byte)) << b;
      }
    }
    EXPECT_EQ(first_section.table().lead_map[0x45].trail_map == nullptr,
              from_icu.table().lead_map[0x45].trail_map == nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Converters, FromIcuTest,
                         ::testing::Values(Converter{"ibm-37", "ibm-37_P100-1995.ucm", false},
                                           Converter{"ibm-273", "ibm-273_P100-1995.ucm", false},
                                           Converter{"ibm-500", "ibm-500_P100-1995.ucm", false},
                                           Converter{"ibm-1047", "ibm-1047_P100-1995.ucm", false},
                                           Converter{"ibm-1140", "ibm-1140_P100-1997.ucm", false},
                                           Converter{"ibm-930", "ibm-930_P120-1999.ucm", true},
                                           Converter{"ibm-933", "ibm-933_P110-1995.ucm", false},
                                           Converter{"ibm-935", "ibm-935_P110-1999.ucm", false},
                                           Converter{"ibm-937", "ibm-937_P110-1999.ucm", false},
                                           Converter{"ibm-939", "ibm-939_P120-1999.ucm", false}),
                         CaseName());

/// The byte keys (as Differences names them) of the mapping lines whose character is beyond
/// U+FFFF or a sequence of several characters.
std::set<std::string> WideLines(const std::string& file) {
  std::set<std::string> keys;
  std::istringstream in(ReadFile(UcmPath(file)));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("<U", 0) != 0) continue;
    std::string unicode = line.substr(0, line.find(' '));
    bool wide = std::count(unicode.begin(), unicode.end(), '<') > 1 || unicode.size() > 7;
    if (!wide) continue;
    std::string bytes =
        line.substr(unicode.size() + 1, line.find(' ', unicode.size() + 1) - unicode.size() - 1);
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\\'), bytes.end());
    bytes.erase(std::remove(bytes.begin(), bytes.end(), 'x'), bytes.end());
    keys.insert((bytes.size() == 2 ? "s " : "p ") + bytes);
  }
  return keys;
}

// ibm-1390 and ibm-1399 map some pairs to characters beyond U+FFFF (<U2000B>) and to sequences
// (<U00E6><U0300>). An import stores the first four hexadecimal digits of such a line (U+2000,
// U+00E6); a table from ICU cannot hold what the converter gives for them and leaves them out.
// Every other entry is the same.
TEST(FromIcuTest, WideMappingsAreTheOnlyDifference) {
  SVREG_REQUIRE_SHARED();
  TempDir dir;
  for (auto [name, file] : {std::pair{"ibm-1390", "ibm-1390_P110-2003.ucm"},
                            std::pair{"ibm-1399", "ibm-1399_P110-2003.ucm"}}) {
    CCSID from_icu;
    FillFromIcu(from_icu, name);
    CCSID imported;
    imported.Import(JoinedSections(dir, file), 0);
    std::set<std::string> wide = WideLines(file);
    EXPECT_GT(wide.size(), 300u) << name;
    EXPECT_EQ(Differences(from_icu, imported), wide) << name;
    for (const std::string& key : wide) {
      auto lead = static_cast<std::uint8_t>(std::stoi(key.substr(2, 2), nullptr, 16));
      auto trail = static_cast<std::uint8_t>(std::stoi(key.substr(4, 2), nullptr, 16));
      EXPECT_EQ(from_icu.DBCStoUnicode(lead, trail), -3) << name << " " << key;
    }
  }
}

TEST(FromIcuTest, UnknownOrUnsuitableConverterRaises) {
  for (const char* name : {"no-such-converter", "UTF-8"}) {
    CCSID table;
    try {
      FillFromIcu(table, name);
      ADD_FAILURE() << name;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), 5) << name;
      EXPECT_THAT(e.description(), ::testing::HasSubstr(name));
    }
  }
}

// ---- Conversions against ICU's ----

struct IcuConverter {
  explicit IcuConverter(const char* name) {
    UErrorCode status = U_ZERO_ERROR;
    cnv = ucnv_open(name, &status);
    EXPECT_TRUE(U_SUCCESS(status)) << name;
    ucnv_setFallback(cnv, true);
  }
  ~IcuConverter() { ucnv_close(cnv); }
  IcuConverter(const IcuConverter&) = delete;
  IcuConverter& operator=(const IcuConverter&) = delete;

  std::u16string ToUnicode(const std::vector<std::uint8_t>& bytes) {
    std::u16string out(bytes.size() + 8, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t n = ucnv_toUChars(cnv, out.data(), static_cast<std::int32_t>(out.size()),
                                   reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<std::int32_t>(bytes.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status));
    out.resize(static_cast<std::size_t>(n));
    return out;
  }

  std::vector<std::uint8_t> FromUnicode(const std::u16string& text) {
    std::vector<std::uint8_t> out(4 * text.size() + 8);
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t n = ucnv_fromUChars(cnv, reinterpret_cast<char*>(out.data()),
                                     static_cast<std::int32_t>(out.size()), text.data(),
                                     static_cast<std::int32_t>(text.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status));
    out.resize(static_cast<std::size_t>(n));
    return out;
  }

  UConverter* cnv;
};

bool DoubleInAnsi(char16_t ch, std::uint32_t code_page) {
  std::int16_t code = platform::AnsiCode(ch, code_page);
  return code > 255 || code < 0;
}

// ibm-37 has no shift bytes of its own: ICU reads 0x0E as U+000E while a table starts a
// double-byte run there, so 0x0E is left out; with RemoveAll 0x0F (dropped here, U+000F in ICU)
// is left out too. Everything else converts byte for byte as ICU converts it.
TEST(IcuCrossCheckTest, Ibm37RecordsMatchIcu) {
  SVREG_REQUIRE_SHARED();
  ScopedLocale locale("en_US.UTF-8");
  CCSID table;
  table.Import(UcmPath("ibm-37_P100-1995.ucm"), 37);
  IcuConverter icu("ibm-37");
  std::mt19937 random(37);
  for (SOSIKeepType keep : {SOSIKeepType::KeepAll, SOSIKeepType::RemoveAll}) {
    std::vector<std::uint8_t> all;
    std::u16string joined;
    for (int record = 0; record < 300; ++record) {
      std::vector<std::uint8_t> bytes(record == 299 ? 37 : 80);
      for (auto& b : bytes) {
        do {
          b = static_cast<std::uint8_t>(random() & 0xFF);
        } while (b == 0x0E || (keep == SOSIKeepType::RemoveAll && b == 0x0F));
      }
      ASSERT_EQ(table.ToUnicode(bytes, keep), icu.ToUnicode(bytes)) << record;
      all.insert(all.end(), bytes.begin(), bytes.end());
      joined += (record ? u"\r\n" : u"") + icu.ToUnicode(bytes);
    }
    EXPECT_EQ(table.ToUnicode(all, keep), joined);
  }
}

/// Records of single bytes and shift-out runs of pairs, each run closed with SI within the record
/// or running to the record's end, so that no pair crosses a record end.
std::vector<std::uint8_t> MixedRecord(std::mt19937& random,
                                      const std::vector<std::uint8_t>& singles,
                                      const std::vector<std::uint16_t>& pairs) {
  std::vector<std::uint8_t> record;
  auto pick_single = [&] { return singles[random() % singles.size()]; };
  while (record.size() < 80) {
    std::size_t room = 80 - record.size();
    if (room >= 4 && random() % 3 == 0) {
      bool to_record_end = (room - 1) % 2 == 0 && random() % 4 == 0;
      std::size_t count =
          to_record_end ? (room - 1) / 2 : 1 + random() % std::min<std::size_t>(6, (room - 2) / 2);
      record.push_back(0x0E);
      for (std::size_t k = 0; k < count; ++k) {
        std::uint16_t pair = pairs[random() % pairs.size()];
        record.push_back(static_cast<std::uint8_t>(pair >> 8));
        record.push_back(static_cast<std::uint8_t>(pair & 0xFF));
      }
      if (!to_record_end) record.push_back(0x0F);
    } else {
      record.push_back(pick_single());
    }
  }
  return record;
}

// ibm-930 in a Japanese locale (ANSI code page 932). The behaviours coincide for single bytes
// whose character code page 932 holds in one byte or not at all (one it holds in two bytes
// becomes "?"), that are no quote (quotes open literals, which end runs early), and for pairs whose
// character code page 932 holds in two bytes (others come out as their two bytes read singly).
// With KeepAll the table's characters for SO and SI (none: U+0000) stay where ICU writes nothing.
TEST(IcuCrossCheckTest, Ibm930RecordsMatchIcu) {
  SVREG_REQUIRE_SHARED();
  ScopedLocale locale("ja_JP.UTF-8");
  TempDir dir;
  CCSID table;
  table.Import(JoinedSections(dir, "ibm-930_P120-1999.ucm"), 930);
  IcuConverter icu("ibm-930");

  std::vector<std::uint8_t> singles;
  for (int b = 0; b < 256; ++b) {
    auto byte = static_cast<std::uint8_t>(b);
    char16_t ch = static_cast<char16_t>(table.SBCStoUnicode(byte));
    if (ch == 0 || byte == 0x0E || byte == 0x0F || ch == u'"' || ch == u'\'') continue;
    if (DoubleInAnsi(ch, 932)) continue;
    singles.push_back(byte);
  }
  std::vector<std::uint16_t> pairs;
  for (int lead = 0x40; lead < 0xFF; ++lead) {
    for (int trail = 0x40; trail < 0xFF; ++trail) {
      auto u = static_cast<char16_t>(
          table.DBCStoUnicode(static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)));
      if (u != 0xFFFD && DoubleInAnsi(u, 932)) {
        pairs.push_back(static_cast<std::uint16_t>(lead << 8 | trail));
      }
    }
  }
  ASSERT_GT(singles.size(), 150u);
  ASSERT_GT(pairs.size(), 6000u);

  std::mt19937 random(930);
  for (int i = 0; i < 500; ++i) {
    std::vector<std::uint8_t> record = MixedRecord(random, singles, pairs);
    std::u16string expected = icu.ToUnicode(record);
    ASSERT_EQ(table.ToUnicode(record, SOSIKeepType::RemoveAll), expected) << i;
    std::u16string kept = table.ToUnicode(record, SOSIKeepType::KeepAll);
    auto shifts = std::count_if(record.begin(), record.end(),
                                [](std::uint8_t b) { return b == 0x0E || b == 0x0F; });
    EXPECT_EQ(std::count(kept.begin(), kept.end(), u'\0'), shifts) << i;
    kept.erase(std::remove(kept.begin(), kept.end(), u'\0'), kept.end());
    ASSERT_EQ(kept, expected) << i;
  }
}

/// Text lines of characters the table maps (other than CR, LF and those that map to SO or SI),
/// encoded line by line by ICU and padded with the host space as records are. ICU closes a line
/// that ends inside a double-byte run with SI; a record is never closed, so that SI is dropped.
void ExpectTextLikeIcu(CCSID& table, const char* name, std::uint32_t seed) {
  IcuConverter icu(name);
  const ReverseMapArray& reverse = *table.table().reverse_map;
  std::vector<char16_t> chars;
  for (std::uint32_t u = 1; u < 0xFFFD; ++u) {
    if (u == u'\r' || u == u'\n' || (u >= 0xD800 && u <= 0xDFFF)) continue;
    if (reverse[u] != 0 && reverse[u] != 0x0E && reverse[u] != 0x0F) {
      chars.push_back(static_cast<char16_t>(u));
    }
  }
  std::mt19937 random(seed);
  std::u16string text;
  std::vector<std::uint8_t> expected;
  for (int line = 0; line < 300; ++line) {
    std::u16string chars_of_line;
    std::size_t length = random() % 60;
    for (std::size_t k = 0; k < length; ++k) chars_of_line += chars[random() % chars.size()];
    std::vector<std::uint8_t> bytes = icu.FromUnicode(chars_of_line);
    if (!chars_of_line.empty() && reverse[chars_of_line.back()] >= 256) {
      ASSERT_EQ(bytes.back(), 0x0F);
      bytes.pop_back();
    }
    if (line != 0) {
      text += u'\n';
      expected.resize((expected.size() + 79) / 80 * 80, 0x40);
    }
    text += chars_of_line;
    expected.insert(expected.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(table.ToEBCDIC(text), expected);
}

TEST(IcuCrossCheckTest, TextMatchesIcuPlusPadding) {
  SVREG_REQUIRE_SHARED();
  TempDir dir;
  CCSID ibm37;
  ibm37.Import(UcmPath("ibm-37_P100-1995.ucm"), 37);
  ExpectTextLikeIcu(ibm37, "ibm-37", 37);
  CCSID ibm930;
  ibm930.Import(JoinedSections(dir, "ibm-930_P120-1999.ucm"), 930);
  ExpectTextLikeIcu(ibm930, "ibm-930", 930);
}

}  // namespace
}  // namespace svregistration::testing
