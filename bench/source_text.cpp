// Generated 80-column legacy source text for the benchmarks, from a given seed: lines with TABs,
// sequence numbers in columns 73-80, and some Shift-JIS lines.
#include "source_text.h"

#include <cstdio>
#include <random>
#include <string>

namespace svregistration::bench {

std::vector<std::uint8_t> GenerateSourceText(std::size_t bytes, unsigned seed) {
  static const char* const kStatements[] = {
      "MOVE WS-AMOUNT TO OUT-AMOUNT.",   "PERFORM 2000-READ-INPUT THRU 2000-EXIT.",
      "IF WS-EOF = 'Y' GO TO 9000-END.", "ADD 1 TO WS-COUNTER.",
      "DISPLAY 'TOTAL ' WS-TOTAL.",      "05  WS-NAME          PIC X(30) VALUE SPACES.",
  };
  // "顧客名" and "合計金額" in Shift-JIS.
  static const char* const kJapanese[] = {"\x8C\xDA\x8B\x71\x96\xBC",
                                          "\x8D\x87\x8C\x76\x8B\xE0\x8A\x7A"};
  std::mt19937 random(seed);
  std::vector<std::uint8_t> text;
  text.reserve(bytes + 100);
  unsigned line_number = 100;
  while (text.size() < bytes) {
    std::string line =
        std::to_string(line_number).insert(0, 6 - std::to_string(line_number).size(), '0');
    auto kind = static_cast<unsigned>(random() % 10);
    if (kind < 4) {
      line += "\t\t";  // 40% of the lines indent with TABs
    } else {
      line += "       ";
    }
    line += kStatements[random() % 6];
    if (kind == 9) {
      line += " '";
      line += kJapanese[random() % 2];
      line += "'";
    }
    std::size_t width = kind < 4 ? 60 : 72;  // TABs take columns the bytes do not
    if (line.size() < width) line.append(width - line.size(), ' ');
    char sequence[16];
    std::snprintf(sequence, sizeof sequence, "%08u", line_number * 10);
    line += sequence;
    line += "\n";
    text.insert(text.end(), line.begin(), line.end());
    line_number = line_number % 999999 + 1;
  }
  return text;
}

}  // namespace svregistration::bench
