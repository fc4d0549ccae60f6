// Tests of the conversions between Unicode and the Windows code pages: known byte sequences of
// each ANSI code page, best fits and the default character for what a code page lacks, AnsiCode
// values, and the agreement of the lead-byte table with the converters.
#include "platform/ansi_conversion.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unicode/ucnv.h>

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/locale_services.h"
#include "platform/locale_table.h"
#include "svregistration/error.h"

namespace svregistration::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(UnicodeToAnsi, GivesTheBytesOfEachAnsiCodePage) {
  struct Case {
    std::uint32_t code_page;
    std::u16string text;
    Bytes bytes;
  };
  const Case cases[] = {
      {932,
       u"日本語テキストｱA",
       {0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0x83, 0x65, 0x83, 0x4C, 0x83, 0x58, 0x83, 0x67, 0xB1,
        0x41}},
      {936, u"中文", {0xD6, 0xD0, 0xCE, 0xC4}},
      {949, u"한국어", {0xC7, 0xD1, 0xB1, 0xB9, 0xBE, 0xEE}},
      {950, u"中文", {0xA4, 0xA4, 0xA4, 0xE5}},
      {874, u"กข", {0xA1, 0xA2}},
      {1250, u"ő", {0xF5}},
      {1251, u"Дом", {0xC4, 0xEE, 0xEC}},
      {1252, u"€é", {0x80, 0xE9}},
      {1253, u"Ωα", {0xD9, 0xE1}},
      {1254, u"ğ", {0xF0}},
      {1255, u"ש", {0xF9}},
      {1256, u"ع", {0xDA}},
      {1257, u"ą", {0xE0}},
      {1258, u"ư", {0xFD}},
      {1252,
       u"line 1\r\n\tline 2",
       {'l', 'i', 'n', 'e', ' ', '1', '\r', '\n', '\t', 'l', 'i', 'n', 'e', ' ', '2'}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UnicodeToAnsi(c.text, c.code_page), c.bytes) << "code page " << c.code_page;
  }
}

TEST(UnicodeToAnsi, CharactersTheCodePageLacksBecomeItsDefaultCharacter) {
  struct Case {
    std::uint32_t code_page;
    std::u16string text;
    Bytes bytes;
  };
  const Case cases[] = {
      {1252, u"a\u3042b", {'a', '?', 'b'}},
      // No best fit in ICU's table either: A with macron is not written as a plain A.
      {1252, u"\u0100", {'?'}},
      // Below U+0100 too the substitute is "?", not ICU's single-byte SUB.
      {932, u"\u00E9\u00A0", {'?', '?'}},
      // Default-ignorable characters are not dropped either.
      {932, u"a\u00ADb\u200Bc", {'a', '?', 'b', '?', 'c'}},
      {1252, u"\u00AD\u034F", {0xAD, '?'}},
      {1251, u"\u00E9", {'?'}},
      // A character outside the BMP is one character; a lone surrogate is one too.
      {932, u"x\U0001F600y", {'x', '?', 'y'}},
      {1252, std::u16string(1, u'\xD800') + u"z", {'?', 'z'}},
      {949, u"\u3042\u00FF\u0E01", {0xAA, 0xA2, 'y', '?'}},  // best fit y for ÿ
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UnicodeToAnsi(c.text, c.code_page), c.bytes) << "code page " << c.code_page;
  }
}

TEST(UnicodeToAnsi, EmptyTextGivesNoBytes) {
  EXPECT_TRUE(UnicodeToAnsi(u"", 932).empty());
  EXPECT_TRUE(UnicodeToAnsi(u"", 1252).empty());
}

TEST(UnicodeToAnsi, LongTextsConvertWhole) {
  std::u16string text;
  Bytes expected;
  for (int i = 0; i < 100000; ++i) {
    text += u"あA";
    expected.insert(expected.end(), {0x82, 0xA0, 'A'});
  }
  EXPECT_EQ(UnicodeToAnsi(text, 932), expected);
}

TEST(UnicodeToAnsi, AnUnknownCodePageIsAnInvalidProcedureCall) {
  for (std::uint32_t code_page : {12345u, 65001u}) {
    try {
      UnicodeToAnsi(u"a", code_page);
      ADD_FAILURE() << "no error for code page " << code_page;
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), 5);
      EXPECT_NE(error.description().find(std::to_string(code_page)), std::string::npos)
          << error.description();
    }
  }
  EXPECT_THROW(AnsiCode(u'a', 12345), Error);
  EXPECT_THROW(AnsiToUnicode(nullptr, 0, 12345), Error);
}

TEST(UnicodeToAnsi, CodePageZeroIsTheSystemLocalesCodePage) {
  const char* saved = getenv("SVREG_SYSTEM_LOCALE");
  std::string saved_value = saved ? saved : "";
  setenv("SVREG_SYSTEM_LOCALE", "1041", 1);
  EXPECT_EQ(UnicodeToAnsi(u"あ", 0), (Bytes{0x82, 0xA0}));
  setenv("SVREG_SYSTEM_LOCALE", "1049", 1);
  EXPECT_EQ(UnicodeToAnsi(u"Д", 0), (Bytes{0xC4}));
  if (saved) {
    setenv("SVREG_SYSTEM_LOCALE", saved_value.c_str(), 1);
  } else {
    unsetenv("SVREG_SYSTEM_LOCALE");
  }
}

TEST(AnsiToUnicode, ReadsTheBytesOfACodePage) {
  const Bytes sjis = {0x93, 0xFA, 0x96, 0x7B, 0xB1, 0x41};
  EXPECT_EQ(AnsiToUnicode(sjis.data(), sjis.size(), 932), u"日本ｱA");
  const Bytes cp1252 = {0x80, 0xE9};
  EXPECT_EQ(AnsiToUnicode(cp1252.data(), cp1252.size(), 1252), u"€é");
  EXPECT_EQ(AnsiToUnicode(nullptr, 0, 932), u"");
  // A lead byte without its trail byte maps to nothing.
  const Bytes truncated = {'a', 0x82};
  EXPECT_EQ(AnsiToUnicode(truncated.data(), truncated.size(), 932), u"a\uFFFD");
}

TEST(AnsiCode, GivesSingleBytesAndSignedPairs) {
  struct Case {
    char16_t ch;
    std::uint32_t code_page;
    std::int16_t code;
  };
  const Case cases[] = {
      {u'A', 932, 65},
      {u'A', 1252, 65},
      {u'\u3042', 932, static_cast<std::int16_t>(0x82A0 - 0x10000)},  // lead byte >= 0x80
      {u'\uFF71', 932, 0xB1},                                         // half-width katakana
      {u'\u00E9', 1252, 0xE9},
      {u'\u00E9', 932, 63},  // missing: the default character
      {u'\u3042', 1252, 63},
      {u'\xD800', 932, 63},  // a lone surrogate
      {u'\uD55C', 949, static_cast<std::int16_t>(0xC7D1 - 0x10000)},
      {u'\u4E2D', 950, static_cast<std::int16_t>(0xA4A4 - 0x10000)},
      // Best fits: wave dash, minus sign, double vertical line, em dash.
      {u'\u301C', 932, static_cast<std::int16_t>(0x8160 - 0x10000)},
      {u'\u2212', 932, static_cast<std::int16_t>(0x817C - 0x10000)},
      {u'\u2016', 932, static_cast<std::int16_t>(0x8161 - 0x10000)},
      {u'\u2014', 932, static_cast<std::int16_t>(0x815C - 0x10000)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AnsiCode(c.ch, c.code_page), c.code)
        << "U+" << std::hex << static_cast<int>(c.ch) << " in " << std::dec << c.code_page;
  }
}

// ICU's own converter of a code page with its fallback mappings on, asked one character at a
// time: the bytes of the character, or none when the code page has neither a mapping nor a best
// fit for it.
std::string IcuBestFit(UConverter* converter, char16_t ch) {
  char bytes[8];
  UErrorCode status = U_ZERO_ERROR;
  std::int32_t length = ucnv_fromUChars(converter, bytes, sizeof bytes, &ch, 1, &status);
  return U_SUCCESS(status) ? std::string(bytes, static_cast<std::size_t>(length)) : std::string();
}

// For every ANSI code page of the locale table and every character of the BMP, AnsiCode and
// UnicodeToAnsi give the converter's best fit, or the default character where there is none.
TEST(AnsiCode, AgreesWithTheConverterWithFallbacksForEveryAnsiCodePage) {
  std::set<std::uint32_t> ansi_code_pages;
  for (const detail::LocaleEntry& locale : detail::LocaleTable()) {
    if (locale.ansi_code_page != 0) ansi_code_pages.insert(locale.ansi_code_page);
  }
  ASSERT_GE(ansi_code_pages.size(), 14u);
  for (std::uint32_t code_page : ansi_code_pages) {
    const detail::CodePageEntry& entry = *detail::FindCodePage(code_page);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UConverter, void (*)(UConverter*)> icu(
        ucnv_open(std::string(entry.converter).c_str(), &status), ucnv_close);
    ASSERT_TRUE(U_SUCCESS(status)) << entry.converter;
    ucnv_setFallback(icu.get(), true);
    ucnv_setFromUCallBack(icu.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);

    std::u16string all;
    std::string expected_bytes;
    int mismatches = 0;
    for (std::uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
      auto ch = static_cast<char16_t>(unit);
      if (unit >= 0xD800 && unit <= 0xDFFF) continue;
      std::string bytes = IcuBestFit(icu.get(), ch);
      if (bytes.empty()) bytes = "?";
      all += ch;
      expected_bytes += bytes;
      auto code =
          static_cast<std::int16_t>(bytes.size() == 1 ? static_cast<std::uint8_t>(bytes[0])
                                                      : static_cast<std::uint8_t>(bytes[0]) << 8 |
                                                            static_cast<std::uint8_t>(bytes[1]));
      if (AnsiCode(ch, code_page) != code && ++mismatches <= 5) {
        ADD_FAILURE() << "U+" << std::hex << unit << " in " << std::dec << code_page;
      }
    }
    EXPECT_EQ(mismatches, 0) << code_page;
    EXPECT_EQ(UnicodeToAnsi(all, code_page), Bytes(expected_bytes.begin(), expected_bytes.end()))
        << code_page;
  }
}

// Whether the converter reads byte b followed by some trail byte as one character: then b is a
// lead byte of its code page.
bool ConverterReadsAsPair(std::uint32_t code_page, std::uint8_t b) {
  for (int trail = 0x40; trail <= 0xFE; ++trail) {
    const std::uint8_t bytes[2] = {b, static_cast<std::uint8_t>(trail)};
    if (AnsiToUnicode(bytes, 2, code_page).size() == 1) return true;
  }
  return false;
}

bool TableSaysLead(const detail::CodePageEntry& entry, std::uint8_t b) {
  for (std::size_t i = 0; i < entry.lead_bytes.size(); i += 2) {
    std::uint8_t first = entry.lead_bytes[i];
    std::uint8_t last = entry.lead_bytes[i + 1];
    if (first == 0 && last == 0) break;
    if (first <= b && b <= last) return true;
  }
  return false;
}

TEST(CodePageTable, LeadBytesAgreeWithTheConverters) {
  for (const detail::CodePageEntry& entry : detail::CodePageTable()) {
    for (int b = 0x01; b <= 0xFF; ++b) {
      auto byte = static_cast<std::uint8_t>(b);
      EXPECT_EQ(ConverterReadsAsPair(entry.code_page, byte), TableSaysLead(entry, byte))
          << "code page " << entry.code_page << ", byte 0x" << std::hex << b;
    }
  }
}

// Converters are per thread: threads converting at once, with more code pages than a thread keeps
// open, each get their own results.
TEST(UnicodeToAnsi, ThreadsConvertIndependently) {
  struct Job {
    std::uint32_t code_page;
    std::u16string text;
    Bytes bytes;
  };
  const std::vector<Job> jobs = {{932, u"あ", {0x82, 0xA0}}, {936, u"中", {0xD6, 0xD0}},
                                 {949, u"한", {0xC7, 0xD1}}, {950, u"中", {0xA4, 0xA4}},
                                 {1251, u"Д", {0xC4}},       {1253, u"Ω", {0xD9}}};
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        for (std::size_t j = 0; j < jobs.size(); ++j) {
          const Job& job = jobs[(j + t) % jobs.size()];
          if (UnicodeToAnsi(job.text, job.code_page) != job.bytes) ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : failures) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace svregistration::platform
