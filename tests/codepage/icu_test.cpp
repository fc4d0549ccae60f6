// Tables from ICU's converters against imports of the same converters' character maps, and the
// conversions of real code pages (ibm-37, ibm-930) against ICU's own conversions.
#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>

#include "codepage_test_support.h"
#include "nls/ansi_conversion.h"
#include "support/scoped_environment.h"
#include "support/shared_fixtures.h"
#include "svregistration/icu_table.h"

namespace svregistration::testing {
namespace {

std::string UcmPath(const std::string& file) {
  return (SharedDir() / "fixtures" / "ucm" / file).string();
}

/// A copy of a character map whose second CHARMAP section (the converter's extension, which an
/// import never reads) is joined to the first, so that an import reads all the converter holds.
std::string JoinedSections(const TempDir& dir, const std::string& file) {
  std::string text = ReadFile(UcmPath(file));
  std::size_t end = text.find("\nEND CHARMAP\n");
  std::size_t second = text.find("\nCHARMAP\n", end);
  if (second != std::string::npos) text.erase(end, second + 8 - end);
  return dir.Write("joined-" + file, text);
}

// A table from ICU's converter and the import of the converter's character map (both sections)
// hold the same: byte for byte the same file and the same reverse map. The exception: ibm-1390
// and ibm-1399 map some pairs to characters beyond U+FFFF (<U2000B>) and to sequences
// (<U00E6><U0300>). An import stores the first four hexadecimal digits of such a line (U+2000,
// U+00E6); a table from ICU cannot hold what the converter gives and leaves the pair out.
TEST(FromIcuTest, SameTableAsImportOfItsCharacterMap) {
  SVREG_REQUIRE_SHARED();
  for (std::string file :
       {"ibm-37_P100-1995.ucm", "ibm-1140_P100-1997.ucm", "ibm-930_P120-1999.ucm",
        "ibm-933_P110-1995.ucm", "ibm-935_P110-1999.ucm", "ibm-937_P110-1999.ucm",
        "ibm-939_P120-1999.ucm", "ibm-1390_P110-2003.ucm", "ibm-1399_P110-2003.ucm"}) {
    SCOPED_TRACE(file);
    TempDir dir;
    CCSID from_icu, imported;
    FillFromIcu(from_icu, file.substr(0, file.find('_')));
    imported.Import(JoinedSections(dir, file), 0);
    if (file.starts_with("ibm-13")) {  // their 328 wide lines are all pairs
      int left_out = 0;
      for (int code = 0; code < 0x10000; ++code) {
        auto lead = static_cast<std::uint8_t>(code >> 8), trail = static_cast<std::uint8_t>(code);
        std::int16_t icu = from_icu.DBCStoUnicode(lead, trail);
        if (icu != imported.DBCStoUnicode(lead, trail)) {
          EXPECT_EQ(icu, -3) << code;
          ++left_out;
        }
      }
      EXPECT_EQ(left_out, 328);
      continue;
    }
    from_icu.Save(dir / "from_icu.tbl");
    imported.Save(dir / "imported.tbl");
    EXPECT_EQ(ReadFile(dir / "from_icu.tbl"), ReadFile(dir / "imported.tbl"));
    EXPECT_TRUE(*codepage::TableOf(from_icu).reverse_map ==
                *codepage::TableOf(imported).reverse_map);
  }
}

// ICU's own converter, with its fallback mappings on.
struct IcuConverter {
  explicit IcuConverter(const char* name) : cnv(ucnv_open(name, &status), ucnv_close) {
    EXPECT_TRUE(U_SUCCESS(status)) << name;
    ucnv_setFallback(cnv.get(), true);
  }

  std::u16string ToUnicode(const Bytes& bytes) {
    std::u16string out(bytes.size() + 8, u'\0');
    out.resize(static_cast<std::size_t>(
        ucnv_toUChars(cnv.get(), out.data(), static_cast<std::int32_t>(out.size()),
                      reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::int32_t>(bytes.size()), &status)));
    EXPECT_TRUE(U_SUCCESS(status));
    return out;
  }

  Bytes FromUnicode(const std::u16string& text) {
    Bytes out(4 * text.size() + 8);
    out.resize(static_cast<std::size_t>(ucnv_fromUChars(
        cnv.get(), reinterpret_cast<char*>(out.data()), static_cast<std::int32_t>(out.size()),
        text.data(), static_cast<std::int32_t>(text.size()), &status)));
    EXPECT_TRUE(U_SUCCESS(status));
    return out;
  }

  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UConverter, void (*)(UConverter*)> cnv;
};

// Whether the ANSI code page holds the character in two bytes (their code is above 255, read as
// a negative number when the lead byte's high bit is set).
bool DoubleInAnsi(char16_t ch, std::uint32_t code_page) {
  return static_cast<std::uint16_t>(nls::AnsiCode(ch, code_page)) > 255;
}

// Records of ibm-37 in a Western locale (ANSI code page 1252) and of ibm-930 in a Japanese one
// (932), against ICU's conversion. The behaviours coincide for single bytes whose character the
// ANSI code page holds in one byte or not at all (one it holds in two bytes becomes "?"), that are
// no quote (quotes open literals, which end runs early) and no shift byte (ICU reads them as
// U+000E and U+000F where a table starts and ends runs); and for pairs whose character the ANSI
// code page holds in two bytes (others come out as their two bytes read singly) and that ICU
// reads as the import does (an import reads a |1 line, such as <U7E48> \x60\xF1, in both
// directions; ICU only from Unicode). With KeepAll the table's characters for SO and SI (none:
// U+0000) stay where ICU writes nothing. Records are single bytes and runs of pairs, each closed
// with SI within the record or running to its end, so that no pair crosses a record end; the
// last record is short. All records at once are their lines joined with CR LF.
//
// Text lines of characters the table maps (other than CR, LF and those that map to SO or SI),
// encoded line by line by ICU and padded with the host space as records are. ICU closes a line
// that ends inside a double-byte run with SI; a record is never closed, so that SI is dropped.
TEST(IcuCrossCheckTest, RecordsAndTextMatchIcu) {
  SVREG_REQUIRE_SHARED();
  TempDir dir;
  for (const auto& [name, ucm, locale, code_page, text_seed] :
       {std::tuple{"ibm-37", UcmPath("ibm-37_P100-1995.ucm"), "en_US.UTF-8", 1252u, 37u},
        std::tuple{"ibm-930", JoinedSections(dir, "ibm-930_P120-1999.ucm"), "ja_JP.UTF-8", 932u,
                   930u}}) {
    SCOPED_TRACE(name);
    ScopedLocale user(locale);
    CCSID table;
    table.Import(ucm, 0);
    IcuConverter icu(name);
    Bytes singles;
    for (int b = 0; b < 256; ++b) {
      auto byte = static_cast<std::uint8_t>(b);
      auto ch = static_cast<char16_t>(table.SBCStoUnicode(byte));
      if (ch != 0 && byte != 0x0E && byte != 0x0F && ch != u'"' && ch != u'\'' &&
          !DoubleInAnsi(ch, code_page)) {
        singles.push_back(byte);
      }
    }
    std::vector<std::array<std::uint8_t, 2>> pairs;
    for (int code = 0x4040; code < 0xFF00; ++code) {
      auto lead = static_cast<std::uint8_t>(code >> 8), trail = static_cast<std::uint8_t>(code);
      auto u = static_cast<char16_t>(table.DBCStoUnicode(lead, trail));
      if ((code & 0xFF) >= 0x40 && u != 0xFFFD && DoubleInAnsi(u, code_page) &&
          icu.ToUnicode({0x0E, lead, trail, 0x0F}) == std::u16string(1, u)) {
        pairs.push_back({lead, trail});
      }
    }
    ASSERT_GT(singles.size(), 150u);
    ASSERT_GE(pairs.size(), code_page == 932 ? 6000u : 0u);

    std::mt19937 random(code_page);
    Bytes all;
    std::u16string joined;
    for (int i = 0; i < 300; ++i) {
      const std::size_t size = i == 299 ? 37 : 80;
      Bytes record;
      while (record.size() < size) {
        std::size_t room = size - record.size();
        if (pairs.empty() || room < 3 || random() % 3 != 0) {
          record.push_back(singles[random() % singles.size()]);
          continue;
        }
        record.push_back(0x0E);
        for (std::size_t k = std::min<std::size_t>(1 + random() % 6, (room - 1) / 2); k > 0; --k) {
          const auto& pair = pairs[random() % pairs.size()];
          record.insert(record.end(), pair.begin(), pair.end());
        }
        if (record.size() < size) record.push_back(0x0F);
      }
      std::u16string expected = icu.ToUnicode(record);
      ASSERT_EQ(table.ToUnicode(record, SOSIKeepType::RemoveAll), expected) << i;
      std::u16string kept = table.ToUnicode(record, SOSIKeepType::KeepAll);
      EXPECT_EQ(std::erase(kept, u'\0'), static_cast<std::size_t>(std::ranges::count(record, 0x0E) +
                                                                  std::ranges::count(record, 0x0F)))
          << i;
      ASSERT_EQ(kept, expected) << i;
      all.insert(all.end(), record.begin(), record.end());
      joined += (i ? u"\r\n" : u"") + expected;
    }
    EXPECT_EQ(table.ToUnicode(all, SOSIKeepType::RemoveAll), joined);

    const ReverseMapArray& reverse = *codepage::TableOf(table).reverse_map;
    std::vector<char16_t> chars;
    for (std::uint32_t u = 1; u < 0xFFFD; ++u) {
      if (u != u'\r' && u != u'\n' && (u < 0xD800 || u > 0xDFFF) && reverse[u] != 0 &&
          reverse[u] != 0x0E && reverse[u] != 0x0F) {
        chars.push_back(static_cast<char16_t>(u));
      }
    }
    random.seed(text_seed);
    std::u16string text;
    Bytes expected;
    for (int line = 0; line < 300; ++line) {
      std::u16string chars_of_line;
      for (std::size_t k = random() % 60; k > 0; --k)
        chars_of_line += chars[random() % chars.size()];
      Bytes bytes = icu.FromUnicode(chars_of_line);
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
}

}  // namespace
}  // namespace svregistration::testing
