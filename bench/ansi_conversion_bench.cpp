// Unicode to ANSI conversion in bytes per second of UTF-16 input: source text of 80-column lines
// to code page 932 (mostly ASCII with Japanese runs) and to 1252 (ASCII, and with characters it
// lacks, which take the substitution path), and AnsiCode over every character of a text.
#include <benchmark/benchmark.h>

#include <string>

#include "nls/ansi_conversion.h"

namespace svregistration::bench {
namespace {

constexpr std::size_t kUnits = 8 << 20;  // 16 MiB of UTF-16

// Lines of 78 characters and CR LF; every fourth line has a run of `run` in its middle.
std::u16string MakeText(std::u16string_view run) {
  const std::u16string_view ascii =
      u"       MOVE WS-CUSTOMER-NAME TO OUT-NAME OF OUT-RECORD.                       ";
  std::u16string text;
  text.reserve(kUnits + 128);
  for (std::size_t line = 0; text.size() < kUnits; ++line) {
    std::u16string row(ascii.substr(0, 78));
    if (line % 4 == 0) row.replace(20, run.size(), run);
    text += row;
    text += u"\r\n";
  }
  return text;
}

void Run(benchmark::State& state, const std::u16string& text, std::uint32_t code_page) {
  for (auto _ : state) {
    auto bytes = nls::UnicodeToAnsi(text, code_page);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(text.size() * sizeof(char16_t)));
}

void BM_UnicodeToAnsi932(benchmark::State& state) {
  static const std::u16string text = MakeText(u"顧客名を出力レコードに移動する");
  Run(state, text, 932);
}

void BM_UnicodeToAnsi1252Ascii(benchmark::State& state) {
  static const std::u16string text = MakeText(u"");
  Run(state, text, 1252);
}

void BM_UnicodeToAnsi1252Missing(benchmark::State& state) {
  static const std::u16string text = MakeText(u"顧客名を出力レコードに移動する");
  Run(state, text, 1252);
}

void BM_AnsiCodePerCharacter932(benchmark::State& state) {
  static const std::u16string text = MakeText(u"顧客名を出力レコードに移動する").substr(0, 1 << 20);
  for (auto _ : state) {
    int sum = 0;
    for (char16_t ch : text) sum += nls::AnsiCode(ch, 932);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}

BENCHMARK(BM_UnicodeToAnsi932)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnicodeToAnsi1252Ascii)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UnicodeToAnsi1252Missing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnsiCodePerCharacter932)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace svregistration::bench

BENCHMARK_MAIN();
