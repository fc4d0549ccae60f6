// Tests of the conversions between Unicode and the Windows code pages: known byte sequences of
// each ANSI code page, the default character for what a code page lacks, and every character of
// the BMP against ICU's converter.
#include "nls/ansi_conversion.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "nls/locale_table.h"
#include "support/error_capture.h"

namespace svregistration::nls {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Known bytes tell that each code page is read through the right converter; the exhaustive test
// below then holds every character of it to that converter. What that test cannot see: a
// character outside the BMP is one "?", and so is a lone surrogate. The code page, the text, its
// bytes.
// clang-format off
const std::tuple<std::uint32_t, std::u16string, Bytes> kKnown[] = {
    {932, u"日本語ｱA", {0x93, 0xFA, 0x96, 0x7B, 0x8C, 0xEA, 0xB1, 0x41}},
    {936, u"中文", {0xD6, 0xD0, 0xCE, 0xC4}},  {949, u"한국", {0xC7, 0xD1, 0xB1, 0xB9}},
    {950, u"中文", {0xA4, 0xA4, 0xA4, 0xE5}},  {874, u"กข", {0xA1, 0xA2}},
    {1250, u"ő", {0xF5}},  {1251, u"Дом", {0xC4, 0xEE, 0xEC}},  {1253, u"Ωα", {0xD9, 0xE1}},
    {1252, u"€é\r\n\t", {0x80, 0xE9, '\r', '\n', '\t'}},  {1254, u"ğ", {0xF0}},
    {1255, u"ש", {0xF9}},  {1256, u"ع", {0xDA}},  {1257, u"ą", {0xE0}},  {1258, u"ư", {0xFD}},
    {932, u"x\U0001F600y", {'x', '?', 'y'}},
    {1252, std::u16string(1, u'\xD800') + u"z", {'?', 'z'}},
};
// clang-format on

TEST(UnicodeToAnsi, GivesTheBytesOfEachAnsiCodePageAndReadsThemBack) {
  for (const auto& [code_page, text, bytes] : kKnown) {
    EXPECT_EQ(UnicodeToAnsi(text, code_page), bytes) << "code page " << code_page;
    if (std::count(bytes.begin(), bytes.end(), '?') != 0) continue;
    EXPECT_EQ(AnsiToUnicode(bytes.data(), bytes.size(), code_page), text) << code_page;
  }
  EXPECT_EQ(AnsiToUnicode(nullptr, 0, 932), u"");
  // A lead byte without its trail byte maps to nothing.
  const Bytes truncated = {'a', 0x82};
  EXPECT_EQ(AnsiToUnicode(truncated.data(), truncated.size(), 932), u"a\uFFFD");
  // A code page the table lacks is an invalid procedure call.
  for (std::uint32_t code_page : {12345u, 65001u}) {
    testing::ExpectError([&] { UnicodeToAnsi(u"a", code_page); }, 5, std::to_string(code_page));
  }
  EXPECT_EQ(testing::ErrorNumber([] { AnsiCode(u'a', 12345); }), 5);
  EXPECT_EQ(testing::ErrorNumber([] { AnsiToUnicode(nullptr, 0, 12345); }), 5);
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

// For every code page of the table (each locale's ANSI code page is one of them) and every
// character of the BMP, AnsiCode and UnicodeToAnsi give the converter's best fit, or the default
// character where there is none. The whole BMP goes through UnicodeToAnsi at once, so long texts
// are converted whole too.
TEST(AnsiCode, AgreesWithTheConverterWithFallbacksForEveryCodePage) {
  for (const detail::CodePageEntry& entry : detail::CodePageTable()) {
    const std::uint32_t code_page = entry.code_page;
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
      int code = 0;  // one byte, or lead byte and trail byte
      for (char b : bytes) code = code << 8 | static_cast<std::uint8_t>(b);
      if (AnsiCode(ch, code_page) != static_cast<std::int16_t>(code) && ++mismatches <= 5) {
        ADD_FAILURE() << "U+" << std::hex << unit << " in " << std::dec << code_page;
      }
    }
    EXPECT_EQ(mismatches, 0) << code_page;
    EXPECT_EQ(UnicodeToAnsi(all, code_page), Bytes(expected_bytes.begin(), expected_bytes.end()))
        << code_page;
  }
}

// Converters are per thread: threads converting at once, with more code pages than a thread keeps
// open, each get their own results.
TEST(UnicodeToAnsi, ThreadsConvertIndependently) {
  std::vector<int> failures(4, 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 100; ++round) {
        for (std::size_t j = 0; j < std::size(kKnown); ++j) {
          const auto& [code_page, text, bytes] = kKnown[(j + t) % std::size(kKnown)];
          if (UnicodeToAnsi(text, code_page) != bytes) ++failures[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int count : failures) EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace svregistration::nls
