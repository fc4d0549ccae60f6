// The line normaliser in bytes per second of input, with no option and with every option on
// (tabs, both sequence-number rules, SO/SI marking for the Japanese registered locale 1041).
#include <benchmark/benchmark.h>

#include "platform/locale_services.h"
#include "registration/normaliser.h"
#include "source_text.h"

namespace svregistration::bench {
namespace {

constexpr std::size_t kInputBytes = 64 << 20;

const std::vector<std::uint8_t>& Input() {
  static const std::vector<std::uint8_t> input = GenerateSourceText(kInputBytes);
  return input;
}

void Run(benchmark::State& state, const registration::NormaliserOptions& options) {
  std::vector<std::uint8_t> source = Input();
  for (auto _ : state) {
    auto out = registration::NormaliseSource(source, options);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

void BM_NormaliseNoOption(benchmark::State& state) { Run(state, {}); }

void BM_NormaliseAllOptions(benchmark::State& state) {
  registration::NormaliserOptions options;
  options.expand_tabs = true;
  options.remove_numeration = true;
  options.remove_lead_numeration = true;
  options.convert_sosi = true;
  options.sosi_removed = true;
  auto code_page = platform::CodePageProperties(*platform::LocaleAnsiCodePage(1041));
  for (std::size_t pair = 0; pair < 12; pair += 2) {
    for (unsigned b = code_page->LeadByte[pair]; b != 0 && b <= code_page->LeadByte[pair + 1]; ++b) {
      options.lead_byte[b] = true;
    }
  }
  Run(state, options);
}

BENCHMARK(BM_NormaliseNoOption)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormaliseAllOptions)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace svregistration::bench

BENCHMARK_MAIN();
