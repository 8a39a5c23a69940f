// What a call through the host costs: a global function called the way a
// script host calls it, against the same text rule called directly. The
// ratios are printed after the figures.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "extension/general/rmb_capital.h"
#include "extension/general/text_rules.h"
#include "host/host.h"

namespace {

host::Host& library() {
  static host::Host instance(NXCLASS_PATH);
  return instance;
}

const char kPadded[] = "  member card 0001  ";
const char kAmount[] = "123456789.12";

// The peer: the rule itself, no host in between.
void DirectTrim(benchmark::State& state) {
  for (auto _ : state) {
    std::string trimmed(nx::trimWhite(kPadded));
    benchmark::DoNotOptimize(trimmed);
  }
}
BENCHMARK(DirectTrim);

// The host's argument value, the name lookup, the reads through the host
// calls and the result write: the overhead of one call through the host.
void HostTrimDispatch(benchmark::State& state) {
  host::Host& h = library();
  for (auto _ : state) {
    host::CallResult r = h.callFunction("gf_trim", {host::Value::string(kPadded)});
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(HostTrimDispatch);

// The library's own part: the entry point with a call information made
// once, as a script host that reuses its frames would call it.
void EntryPointTrim(benchmark::State& state) {
  library();
  void* handle = dlopen(NXCLASS_PATH, RTLD_NOW | RTLD_NOLOAD);
  auto invoke =
      reinterpret_cast<PBX_InvokeGlobalFunction_t>(dlsym(handle, "PBX_InvokeGlobalFunction"));
  host::Session session;
  host::Arguments arguments({host::Value::string(kPadded)});
  host::Value result;
  PBCallInfo info{&arguments, &result, nullptr};
  for (auto _ : state) {
    invoke(&session, "gf_trim", &info);
    benchmark::DoNotOptimize(result);
  }
  dlclose(handle);
}
BENCHMARK(EntryPointTrim);

void DirectRmb(benchmark::State& state) {
  for (auto _ : state) {
    std::string text = nx::capitalAmount(kAmount);
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(DirectRmb);

void HostRmb(benchmark::State& state) {
  host::Host& h = library();
  for (auto _ : state) {
    host::CallResult r = h.callFunction("gf_rmb_c", {host::Value::decimal(kAmount)});
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(HostRmb);

// Keeps each benchmark's time per iteration for the ratios.
class Collector : public benchmark::ConsoleReporter {
 public:
  Collector() : ConsoleReporter(isatty(1) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) nanoseconds[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> nanoseconds;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  const auto ratio = [&collector](const char* name, const char* peer) {
    const auto a = collector.nanoseconds.find(name), b = collector.nanoseconds.find(peer);
    if (a == collector.nanoseconds.end() || b == collector.nanoseconds.end() || b->second == 0)
      return;
    std::printf("%-18s %9.1f ns per call, %6.2fx %s (%.1f ns more)\n", name, a->second,
                a->second / b->second, peer, a->second - b->second);
  };
  std::printf("\nRatios against the direct call:\n");
  ratio("EntryPointTrim", "DirectTrim");
  ratio("HostTrimDispatch", "DirectTrim");
  ratio("HostRmb", "DirectRmb");
  benchmark::Shutdown();
  return 0;
}
