// What a call through the host costs: a global function called the way a
// script host calls it, against the same text rule called directly. The
// ratios are printed after the figures.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <string>

#include "bench/ratios.h"
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

}  // namespace

int main(int argc, char** argv) {
  return bench::runWithRatios(argc, argv,
                              {{"EntryPointTrim", "DirectTrim"},
                               {"HostTrimDispatch", "DirectTrim"},
                               {"HostRmb", "DirectRmb"}});
}
