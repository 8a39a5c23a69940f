// What the launcher's thread pool costs against std::async on the same work: throughput (a
// batch of small items until all are done) and latency (from AddRequest to the Handler
// starting). The pool is set up as the launcher sets it; ratios follow the figures.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <vector>

#include "bench/ratios.h"
#include "launcher/support/thread_pool.h"

namespace {

using Clock = std::chrono::steady_clock;
using launcher::TProcessorThread;
using launcher::TThreadsPool;
using launcher::TWorkItem;

constexpr int kBatch = 1000;

// A few hundred nanoseconds of arithmetic: small next to any hand-over between threads.
void SmallWork() {
  unsigned value = 1;
  for (unsigned i = 0; i < 200; ++i) value = value * 31u + i;
  benchmark::DoNotOptimize(value);
}

void ConfigureAsLauncher(TThreadsPool& pool) {
  pool.ThreadsMin = 20;
  pool.ThreadsMax = 50;
}

void Queue(TThreadsPool& pool, std::function<void()> work) {
  auto item = std::make_unique<TWorkItem>();
  item->Handler = [work = std::move(work)](TProcessorThread&, TWorkItem&) { work(); };
  pool.AddRequest(item);
}

void PoolThroughput(benchmark::State& state) {
  std::atomic<int> remaining{0};  // declared first: the pool joins its workers before it goes
  TThreadsPool pool;
  ConfigureAsLauncher(pool);
  for (auto _ : state) {
    remaining = kBatch;
    for (int i = 0; i < kBatch; ++i) {
      Queue(pool, [&remaining] {
        SmallWork();
        if (remaining.fetch_sub(1) == 1) remaining.notify_one();
      });
    }
    for (int left = remaining; left != 0; left = remaining) remaining.wait(left);
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["workers"] = pool.ThreadCount();
}
BENCHMARK(PoolThroughput)->UseRealTime();

void AsyncThroughput(benchmark::State& state) {
  std::vector<std::future<void>> futures;
  futures.reserve(kBatch);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) futures.push_back(std::async(std::launch::async, SmallWork));
    for (auto& future : futures) future.get();
    futures.clear();
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(AsyncThroughput)->UseRealTime();

// The time from the request to the Handler's first statement, measured per request.
void PoolLatency(benchmark::State& state) {
  std::atomic<std::int64_t> started{0};
  TThreadsPool pool;
  ConfigureAsLauncher(pool);
  Queue(pool, [] {});  // the first request starts the workers; not part of the figure
  for (auto _ : state) {
    started = 0;
    const Clock::time_point queued = Clock::now();
    Queue(pool, [&started] {
      started = Clock::now().time_since_epoch().count();
      started.notify_one();
    });
    started.wait(0);
    const Clock::time_point begun{Clock::duration(started.load())};
    state.SetIterationTime(std::chrono::duration<double>(begun - queued).count());
  }
}
BENCHMARK(PoolLatency)->UseManualTime();

void AsyncLatency(benchmark::State& state) {
  std::atomic<std::int64_t> started{0};
  for (auto _ : state) {
    const Clock::time_point queued = Clock::now();
    std::async(std::launch::async, [&started] {
      started = Clock::now().time_since_epoch().count();
    }).get();
    const Clock::time_point begun{Clock::duration(started.load())};
    state.SetIterationTime(std::chrono::duration<double>(begun - queued).count());
  }
}
BENCHMARK(AsyncLatency)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
  return bench::runWithRatios(argc, argv,
                              {{"PoolThroughput/real_time", "AsyncThroughput/real_time"},
                               {"PoolLatency/manual_time", "AsyncLatency/manual_time"}});
}
