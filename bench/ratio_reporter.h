// The console report, followed by each benchmark's speed against its anchor's, both measured in
// the same run: only such ratios mean the same on any machine. A benchmark's time is the
// processor time of its fastest run (the "min" statistic when runs are repeated), the one least
// disturbed; it includes the kernel's work for the thread, such as faulting in fresh memory.
// When the single runs of repeated benchmarks reach the reporter (ReportAggregatesOnly off), the
// ratio is followed by the range of the ratios of the n-th run of each, and the console shows
// only the aggregates.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace svregistration::bench {

struct RatioPair {
  std::string subject;  // a benchmark's name without repetition fields, as "ToUnicode/37"
  std::string anchor;
  double goal;  // the speed aimed at, anchor time / subject time
};

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  explicit RatioReporter(std::vector<RatioPair> pairs) : pairs_(std::move(pairs)) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    for (const Run& run : runs) {
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions > 1;
      if (!single) shown.push_back(run);
      if (run.error_occurred) continue;
      std::string name = run.run_name.function_name;
      if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
      double seconds = run.GetAdjustedCPUTime();
      if (single) runs_[name].push_back(seconds);
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "min") continue;
      auto [at, added] = fastest_.emplace(name, seconds);
      if (!added) at->second = std::min(at->second, seconds);
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nspeed against the anchor measured in this run (anchor time / time):\n");
    for (const RatioPair& pair : pairs_) {
      auto subject = fastest_.find(pair.subject);
      auto anchor = fastest_.find(pair.anchor);
      if (subject == fastest_.end() || anchor == fastest_.end()) continue;
      double speed = anchor->second / subject->second;
      std::printf("  %-28s %5.2fx %-28s (goal %.2fx) %s%s\n", pair.subject.c_str(), speed,
                  pair.anchor.c_str(), pair.goal, speed >= pair.goal ? "met" : "NOT MET",
                  Range(runs_[pair.subject], runs_[pair.anchor]).c_str());
    }
  }

 private:
  // The lowest and highest ratio of the n-th runs of the two, as " (runs 1.90-2.10x)".
  static std::string Range(const std::vector<double>& subject, const std::vector<double>& anchor) {
    std::size_t n = std::min(subject.size(), anchor.size());
    if (n < 2) return "";
    double low = anchor[0] / subject[0], high = low;
    for (std::size_t i = 1; i < n; ++i) {
      low = std::min(low, anchor[i] / subject[i]);
      high = std::max(high, anchor[i] / subject[i]);
    }
    char text[48];
    std::snprintf(text, sizeof text, " (runs %.2f-%.2fx)", low, high);
    return text;
  }

  std::vector<RatioPair> pairs_;
  std::map<std::string, double> fastest_;
  std::map<std::string, std::vector<double>> runs_;  // each single run of a repeated benchmark
};

/// Runs the benchmarks the command line selects with the reporter; for BENCHMARK_MAIN's place.
inline int RunWithRatios(int argc, char** argv, std::vector<RatioPair> pairs) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter(std::move(pairs));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace svregistration::bench
