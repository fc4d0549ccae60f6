// The line normaliser in bytes per second of input, with no option and with every option on
// (tabs, both sequence-number rules, SO/SI marking for the Japanese registered locale 1041):
// NormaliseSource, whose result is fresh memory, and NormaliseFileTo streaming a file (in the page
// cache) through one reused buffer, as `svreg source read` does. The anchors copy the same input
// with memcpy into a buffer reused across runs (the goal: a fifth of its speed) and into a fresh
// one, which pays the same first touch of new memory as NormaliseSource.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "nls/locale_services.h"
#include "normaliser/normaliser.h"
#include "ratio_reporter.h"
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

void BM_MemcpyReused(benchmark::State& state) {
  const std::vector<std::uint8_t>& source = Input();
  std::vector<std::uint8_t> out(source.size());
  for (auto _ : state) {
    std::memcpy(out.data(), source.data(), source.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

void BM_MemcpyFresh(benchmark::State& state) {
  const std::vector<std::uint8_t>& source = Input();
  for (auto _ : state) {
    std::vector<std::uint8_t> out(source.size());
    std::memcpy(out.data(), source.data(), source.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

void BM_NormaliseNoOption(benchmark::State& state) { Run(state, {}); }

registration::NormaliserOptions AllOptions() {
  registration::NormaliserOptions options;
  options.expand_tabs = true;
  options.remove_numeration = true;
  options.remove_lead_numeration = true;
  options.convert_sosi = true;
  options.sosi_removed = true;
  auto code_page = nls::CodePageProperties(*nls::LocaleAnsiCodePage(1041));
  for (std::size_t pair = 0; pair < 12; pair += 2) {
    for (unsigned b = code_page->LeadByte[pair]; b != 0 && b <= code_page->LeadByte[pair + 1];
         ++b) {
      options.lead_byte[b] = true;
    }
  }
  return options;
}

void BM_NormaliseAllOptions(benchmark::State& state) { Run(state, AllOptions()); }

void BM_NormaliseFileAllOptions(benchmark::State& state) {
  const std::vector<std::uint8_t>& source = Input();
  std::string path = std::filesystem::temp_directory_path() / "svreg_bench_normaliser.txt";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(source.data()),
             static_cast<std::streamsize>(source.size()));
  registration::NormaliserOptions options = AllOptions();
  std::size_t total = 0;
  registration::ByteSink sink = [&total](const std::uint8_t*, std::size_t size) { total += size; };
  for (auto _ : state) registration::NormaliseFileTo(path, options, sink);
  benchmark::DoNotOptimize(total);
  std::filesystem::remove(path);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(source.size()));
}

double Minimum(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

void Repeated(benchmark::internal::Benchmark* b) {
  b->Unit(benchmark::kMillisecond)->Repetitions(5)->ComputeStatistics("min", Minimum);
}

BENCHMARK(BM_MemcpyReused)->Apply(Repeated);
BENCHMARK(BM_MemcpyFresh)->Apply(Repeated);
BENCHMARK(BM_NormaliseNoOption)->Apply(Repeated);
BENCHMARK(BM_NormaliseAllOptions)->Apply(Repeated);
BENCHMARK(BM_NormaliseFileAllOptions)->Apply(Repeated);

}  // namespace
}  // namespace svregistration::bench

int main(int argc, char** argv) {
  using svregistration::bench::RatioPair;
  return svregistration::bench::RunWithRatios(
      argc, argv,
      {RatioPair{"BM_NormaliseAllOptions", "BM_MemcpyReused", 0.2},
       RatioPair{"BM_NormaliseFileAllOptions", "BM_MemcpyReused", 0.2},
       RatioPair{"BM_NormaliseAllOptions", "BM_MemcpyFresh", 0.2},
       RatioPair{"BM_NormaliseNoOption", "BM_MemcpyFresh", 0.2}});
}
