// Runs the benchmarks of a program and prints, after Google Benchmark's
// figures, each benchmark's time per iteration against a peer measured in the
// same run.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Benchmark name, then the name of its peer.
using Pairs = std::vector<std::pair<std::string, std::string>>;

// Runs the program's benchmarks (after benchmark::Initialize) and answers
// each one's time per iteration by name, having printed the usual figures.
inline std::map<std::string, double> runCollectingTimes() {
  class Collector : public benchmark::ConsoleReporter {
   public:
    Collector() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
      for (const Run& run : runs) nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime();
      ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nanoseconds;
  };
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  return collector.nanoseconds;
}

inline int runWithRatios(int argc, char** argv, const Pairs& pairs) {
  benchmark::Initialize(&argc, argv);
  const std::map<std::string, double> nanoseconds = runCollectingTimes();
  std::printf("\nRatios against the peer measured in the same run:\n");
  for (const auto& [name, peer] : pairs) {
    const auto a = nanoseconds.find(name), b = nanoseconds.find(peer);
    if (a == nanoseconds.end() || b == nanoseconds.end() || b->second == 0) continue;
    std::printf("%-28s %12.1f ns  %8.2fx %s\n", name.c_str(), a->second, a->second / b->second,
                peer.c_str());
  }
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench
