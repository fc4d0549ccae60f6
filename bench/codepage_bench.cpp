// Throughput of the code page conversions on 1 MiB of EBCDIC records (SVREG_BENCH_MIB to change
// the size), side by side with ICU's own conversions of the same bytes and text with the same
// converters, and the import of the ibm-930 character map. The end of the report gives each
// conversion's speed against ICU's, measured in the same run.
//
//   ibm-37   records of source-like single-byte text;
//   ibm-930  the same with a shift-out run of 15 pairs in every record (decoded in a Japanese
//            locale, whose ANSI code page holds the pairs' characters).
// Bytes per second count the EBCDIC bytes in both directions. ToUnicode and ToEBCDIC return fresh
// output, so they are set against ICU converting into fresh output ("fresh"); ToUnicodeReused
// (the stream decoder), ToEbcdicReused and ICU's "reused" runs write into one buffer kept across
// calls, which leaves the cost of first touching new memory out (large in virtual machines).
// ToUnicodeLoadedTable loads the table from its file for every call, against ICU opening its
// converter for every call: what a program converting one file pays.
#include <benchmark/benchmark.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codepage/table.h"
#include "ratio_reporter.h"
#include "svregistration/ccsid.h"
#include "svregistration/icu_table.h"
#include "svregistration/record_decoder.h"

namespace {

using svregistration::CCSID;
using svregistration::SOSIKeepType;

std::size_t DataBytes() {
  const char* mib = std::getenv("SVREG_BENCH_MIB");
  std::size_t size = (mib ? std::strtoul(mib, nullptr, 10) : 1) << 20;
  return size / 80 * 80;
}

struct CodePage {
  const char* converter;
  const char* locale;
  std::unique_ptr<CCSID> table;
  std::vector<std::uint8_t> records;
  std::u16string text;  // the records decoded, lines joined by CR LF
  UConverter* icu = nullptr;
};

/// EBCDIC bytes of the characters of a few lines of source, through the table's reverse map.
std::vector<std::uint8_t> SingleBytePool(CCSID& table) {
  std::u16string sample =
      u"       IDENTIFICATION DIVISION. PROGRAM-ID. PAYROLL. 0123456789 "
      u"MOVE WS-AMOUNT TO OUT-AMOUNT (1:12). ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnop";
  std::vector<std::uint8_t> bytes = table.ToEBCDIC(sample);
  return bytes;
}

CodePage Make(const char* converter, const char* locale, bool with_runs) {
  CodePage page{converter, locale, std::make_unique<CCSID>(), {}, {}, nullptr};
  svregistration::FillFromIcu(*page.table, converter);
  std::vector<std::uint8_t> pool = SingleBytePool(*page.table);
  std::vector<std::uint16_t> pairs;
  for (int lead = 0x45; lead < 0x60; ++lead) {
    for (int trail = 0x41; trail < 0xFF; ++trail) {
      auto u = static_cast<std::uint16_t>(page.table->DBCStoUnicode(
          static_cast<std::uint8_t>(lead), static_cast<std::uint8_t>(trail)));
      if (u >= 0x4E00 && u < 0xA000) pairs.push_back(static_cast<std::uint16_t>(lead << 8 | trail));
    }
  }
  std::mt19937 random(80);
  std::size_t size = DataBytes();
  page.records.reserve(size);
  while (page.records.size() < size) {
    std::size_t start = page.records.size();
    if (with_runs && !pairs.empty()) {
      for (int i = 0; i < 30; ++i) page.records.push_back(pool[random() % pool.size()]);
      page.records.push_back(0x0E);
      for (int i = 0; i < 15; ++i) {
        std::uint16_t pair = pairs[random() % pairs.size()];
        page.records.push_back(static_cast<std::uint8_t>(pair >> 8));
        page.records.push_back(static_cast<std::uint8_t>(pair & 0xFF));
      }
      page.records.push_back(0x0F);
    }
    while (page.records.size() < start + 80) page.records.push_back(pool[random() % pool.size()]);
  }
  ::setenv("LC_ALL", locale, 1);
  page.text = page.table->ToUnicode(page.records, SOSIKeepType::RemoveAll);
  UErrorCode status = U_ZERO_ERROR;
  page.icu = ucnv_open(converter, &status);
  if (U_FAILURE(status)) std::abort();
  return page;
}

CodePage& Page(int which) {
  static CodePage ibm37 = Make("ibm-37", "C", false);
  static CodePage ibm930 = Make("ibm-930", "ja_JP.UTF-8", true);
  return which == 37 ? ibm37 : ibm930;
}

void ToUnicode(benchmark::State& state) {
  CodePage& page = Page(static_cast<int>(state.range(0)));
  ::setenv("LC_ALL", page.locale, 1);
  for (auto _ : state) {
    std::u16string text = page.table->ToUnicode(page.records, SOSIKeepType::KeepAll);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.records.size()));
}

// The same conversion into one output buffer reused across calls, as a stream converts.
void ToUnicodeReused(benchmark::State& state) {
  CodePage& page = Page(static_cast<int>(state.range(0)));
  ::setenv("LC_ALL", page.locale, 1);
  std::vector<char16_t> out(svregistration::RecordDecoder::MaxTextSize(page.records.size()));
  for (auto _ : state) {
    svregistration::RecordDecoder decoder(*page.table, SOSIKeepType::KeepAll);
    std::size_t written = 0;
    decoder.Decode(page.records.data(), page.records.size(), true, out.data(), written);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.records.size()));
}

// A table loaded from its file for every call, as a program that converts one file does: what a
// table works out once (the pairs as the locale's code page holds them) is part of each call.
void ToUnicodeLoadedTable(benchmark::State& state) {
  CodePage& page = Page(static_cast<int>(state.range(0)));
  ::setenv("LC_ALL", page.locale, 1);
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("svreg-bench-" + std::to_string(state.range(0)) + ".tbl"))
                               .string();
  page.table->Save(file);
  for (auto _ : state) {
    CCSID table;
    table.Load(file, 0);
    std::u16string text = table.ToUnicode(page.records, SOSIKeepType::KeepAll);
    benchmark::DoNotOptimize(text.data());
  }
  std::filesystem::remove(file);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.records.size()));
}

// ICU's converter opened for every call, the same bytes into a fresh buffer.
void IcuOpenedConverter(benchmark::State& state) {
  CodePage& page = Page(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(page.converter, &status);
    std::u16string out(page.records.size() + 16, u'\0');
    std::int32_t n = ucnv_toUChars(converter, out.data(), static_cast<std::int32_t>(out.size()),
                                   reinterpret_cast<const char*>(page.records.data()),
                                   static_cast<std::int32_t>(page.records.size()), &status);
    ucnv_close(converter);
    if (U_FAILURE(status)) state.SkipWithError("ICU failed");
    out.resize(static_cast<std::size_t>(n));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.records.size()));
}

void IcuToUChars(benchmark::State& state, bool reuse) {
  CodePage& page = Page(static_cast<int>(state.range(0)));
  std::u16string reused(page.records.size() + 16, u'\0');
  for (auto _ : state) {
    std::u16string fresh;
    std::u16string& out = reuse ? reused : fresh;
    if (!reuse) out.resize(page.records.size() + 16);
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t n = ucnv_toUChars(page.icu, out.data(), static_cast<std::int32_t>(out.size()),
                                   reinterpret_cast<const char*>(page.records.data()),
                                   static_cast<std::int32_t>(page.records.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("ICU failed");
    if (!reuse) out.resize(static_cast<std::size_t>(n));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(page.records.size()));
}

void ToEbcdic(benchmark::State& state) {
  CodePage& page = Page(static_cast<int>(state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::vector<std::uint8_t> out = page.table->ToEBCDIC(page.text);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

// The same conversion into one output buffer reused across calls.
void ToEbcdicReused(benchmark::State& state) {
  CodePage& page = Page(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> out;
  svregistration::codepage::EncodeText(svregistration::codepage::TableOf(*page.table), page.text,
                                       out);  // grows `out`
  for (auto _ : state) {
    svregistration::codepage::EncodeText(svregistration::codepage::TableOf(*page.table), page.text,
                                         out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(out.size()));
}

void IcuFromUChars(benchmark::State& state, bool reuse) {
  CodePage& page = Page(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> reused(2 * page.text.size() + 16);
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::vector<std::uint8_t> fresh;
    std::vector<std::uint8_t>& out = reuse ? reused : fresh;
    if (!reuse) out.resize(2 * page.text.size() + 16);
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t n = ucnv_fromUChars(page.icu, reinterpret_cast<char*>(out.data()),
                                     static_cast<std::int32_t>(out.size()), page.text.data(),
                                     static_cast<std::int32_t>(page.text.size()), &status);
    if (U_FAILURE(status)) state.SkipWithError("ICU failed");
    bytes = static_cast<std::size_t>(n);
    if (!reuse) out.resize(bytes);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}

void Import930(benchmark::State& state) {
  std::filesystem::path map =
      std::filesystem::path(SVREG_SHARED_DIR) / "fixtures/ucm/ibm-930_P120-1999.ucm";
  if (!std::filesystem::exists(map)) {
    state.SkipWithError("the shared fixtures folder is absent");
    return;
  }
  for (auto _ : state) {
    CCSID table;
    table.Import(map.string(), 930);
    benchmark::DoNotOptimize(&table);
  }
}

// Five runs of each, reported as median and minimum (of times; the minimum's rate column is the
// slowest run's): the fastest run is the one least disturbed by the rest of the system.
double Minimum(const std::vector<double>& values) {
  return *std::min_element(values.begin(), values.end());
}

void Args(benchmark::internal::Benchmark* b) {
  b->Arg(37)->Arg(930)->Unit(benchmark::kMillisecond)->MinTime(0.5)->Repetitions(5);
  b->ComputeStatistics("min", Minimum);
}

BENCHMARK(ToUnicode)->Apply(Args);
BENCHMARK_CAPTURE(IcuToUChars, fresh, false)->Apply(Args);
BENCHMARK(ToUnicodeReused)->Apply(Args);
BENCHMARK(ToUnicodeLoadedTable)->Apply(Args);
BENCHMARK(IcuOpenedConverter)->Apply(Args);
BENCHMARK_CAPTURE(IcuToUChars, reused, true)->Apply(Args);
BENCHMARK(ToEbcdic)->Apply(Args);
BENCHMARK_CAPTURE(IcuFromUChars, fresh, false)->Apply(Args);
BENCHMARK(ToEbcdicReused)->Apply(Args);
BENCHMARK_CAPTURE(IcuFromUChars, reused, true)->Apply(Args);
BENCHMARK(Import930)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ComputeStatistics("min", Minimum)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  using svregistration::bench::RatioPair;
  return svregistration::bench::RunWithRatios(
      argc, argv,
      {RatioPair{"ToUnicode/37", "IcuToUChars/fresh/37", 4.0},
       RatioPair{"ToUnicode/930", "IcuToUChars/fresh/930", 2.0},
       RatioPair{"ToUnicode/37", "IcuToUChars/reused/37", 4.0},
       RatioPair{"ToUnicode/930", "IcuToUChars/reused/930", 2.0},
       RatioPair{"ToUnicodeReused/37", "IcuToUChars/reused/37", 4.0},
       RatioPair{"ToUnicodeReused/930", "IcuToUChars/reused/930", 2.0},
       RatioPair{"ToUnicodeLoadedTable/37", "IcuOpenedConverter/37", 4.0},
       RatioPair{"ToUnicodeLoadedTable/930", "IcuOpenedConverter/930", 2.0},
       RatioPair{"ToEbcdic/37", "IcuFromUChars/fresh/37", 1.0},
       RatioPair{"ToEbcdic/930", "IcuFromUChars/fresh/930", 1.0},
       RatioPair{"ToEbcdicReused/37", "IcuFromUChars/reused/37", 1.0},
       RatioPair{"ToEbcdicReused/930", "IcuFromUChars/reused/930", 1.0}});
}
