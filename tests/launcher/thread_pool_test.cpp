// The launcher's thread pool: start-up at the first request, growth and shrinking within
// ThreadsMin and ThreadsMax, failing items and workers, the doubles check, the queue events and
// destruction with work still queued or still running. Waits are bounded; nothing is timed.
#include "launcher/support/thread_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using launcher::TEmptyKind;
using launcher::TProcessorThread;
using launcher::TThreadsPool;
using launcher::TThreadState;
using launcher::TWorkItem;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = 10s;  // upper bound of every wait; never reached when things work
constexpr auto kNoCheck = 0ms;   // no periodic check: the test calls CheckPoolDown itself

template <class Condition>
bool Eventually(Condition condition) {
  const auto deadline = Clock::now() + kPatience;
  while (!condition()) {
    if (Clock::now() > deadline) return condition();
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class Gate {
 public:
  void Open() {
    {
      std::lock_guard lock(mutex_);
      open_ = true;
    }
    opened_.notify_all();
  }
  bool Wait() {
    std::unique_lock lock(mutex_);
    return opened_.wait_for(lock, kPatience, [&] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

// Shared with items that may outlive the test's scope on a detached worker.
struct Tally {
  std::atomic<int> started{0};
  std::atomic<int> ran{0};  // Handlers that returned normally
  std::atomic<int> destroyed{0};
  std::mutex mutex;
  std::vector<int> order;  // keys in the order their Handlers started
  std::vector<std::thread::id> threads;
};

class Item : public TWorkItem {
 public:
  using Body = std::function<void(TProcessorThread&)>;
  Item(int key, std::shared_ptr<Tally> tally, Body body = {}) : key_(key), tally_(tally) {
    Handler = [key, tally, body](TProcessorThread& thread, TWorkItem&) {
      {
        std::lock_guard lock(tally->mutex);
        tally->order.push_back(key);
        tally->threads.push_back(std::this_thread::get_id());
      }
      ++tally->started;
      if (body) body(thread);
      ++tally->ran;
    };
  }
  ~Item() override { ++tally_->destroyed; }
  bool SameRequest(const TWorkItem& other) const override {
    const auto* item = dynamic_cast<const Item*>(&other);
    return item != nullptr && item->key_ == key_;
  }
  std::string LogText() const override { return "Item " + std::to_string(key_); }

 private:
  int key_;
  std::shared_ptr<Tally> tally_;
};

std::unique_ptr<TWorkItem> MakeItem(int key, const std::shared_ptr<Tally>& tally,
                                    Item::Body body = {}) {
  return std::make_unique<Item>(key, tally, std::move(body));
}

bool Queue(TThreadsPool& pool, std::unique_ptr<TWorkItem> item) { return pool.AddRequest(item); }

class LogLines {
 public:
  std::function<void(const std::string&)> Hook() {
    return [this](const std::string& line) {
      std::lock_guard lock(mutex_);
      lines_.push_back(line);
    };
  }
  int CountContaining(const std::string& part) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) {
      return l.find(part) != std::string::npos;
    }));
  }
  std::vector<std::string> StartingWith(const std::string& prefix) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> found;
    for (const std::string& l : lines_) {
      if (l.rfind(prefix, 0) == 0) found.push_back(l);
    }
    return found;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

// Counts the workers' start and end events.
struct Lifecycle {
  std::atomic<int> initialized{0};
  std::atomic<int> finalized{0};
  std::mutex mutex;
  std::set<std::thread::id> threads;

  void Attach(TThreadsPool& pool) {
    pool.OnThreadInitializing = [this](TThreadsPool&, TProcessorThread&) {
      {
        std::lock_guard lock(mutex);
        threads.insert(std::this_thread::get_id());
      }
      ++initialized;
    };
    pool.OnThreadFinalizing = [this](TThreadsPool&, TProcessorThread&) { ++finalized; };
  }
};

// Queues trivial items as fast as the workers take them until the pool has `target` workers,
// checking after every request that it never has more than `ceiling`.
void PumpUntil(TThreadsPool& pool, int target, int ceiling, const std::shared_ptr<Tally>& tally,
               int& queued) {
  const auto deadline = Clock::now() + kPatience;
  while (pool.ThreadCount() < target && Clock::now() < deadline) {
    ASSERT_TRUE(Queue(pool, MakeItem(queued++, tally)));
    ASSERT_LE(pool.ThreadCount(), ceiling);
    if (pool.QueueLength() > 64) std::this_thread::yield();
  }
}

TEST(ThreadPool, FirstRequestStartsThreadsMinWorkers) {
  struct Row {
    int min, max;
  };
  for (const Row row : std::vector<Row>{{20, 50}, {3, 50}, {5, 2}}) {
    SCOPED_TRACE(row.min);
    LogLines log;
    Lifecycle lifecycle;
    auto tally = std::make_shared<Tally>();
    {
      TThreadsPool pool;  // as the launcher has it: default period, first check at once
      pool.ThreadsMin = row.min;
      pool.ThreadsMax = row.max;
      pool.LogHook = log.Hook();
      lifecycle.Attach(pool);
      EXPECT_EQ(pool.ThreadCount(), 0);

      ASSERT_TRUE(Queue(pool, MakeItem(7, tally)));
      EXPECT_EQ(pool.ThreadCount(), row.min);
      EXPECT_EQ(lifecycle.initialized, row.min);
      ASSERT_TRUE(Eventually([&] { return tally->destroyed == 1; }));
      EXPECT_EQ(tally->ran, 1);
      std::lock_guard lock(lifecycle.mutex);
      EXPECT_EQ(lifecycle.threads.size(), static_cast<std::size_t>(row.min));
      EXPECT_EQ(lifecycle.threads.count(tally->threads.at(0)), 1u);
      EXPECT_EQ(log.CountContaining("AddRequest(Item 7)"), 1);
    }
    EXPECT_EQ(lifecycle.finalized, row.min);
  }
}

TEST(ThreadPool, GrowsWhenItemsArriveFastButNeverAboveThreadsMax) {
  struct Row {
    int min, max, expected;
    const char* firstGrowth;  // the diagnostic of the first growth beyond the minimum
  };
  const std::vector<Row> rows = {
      {2, 5, 5, "FThreads.Count (2)<FThreadsMax(5), AvgWait="},
      {3, 3, 3, nullptr},
      {4, 2, 4, nullptr},  // the minimum wins over a smaller maximum
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.min);
    LogLines log;
    auto tally = std::make_shared<Tally>();
    int queued = 0;
    TThreadsPool pool(kNoCheck);
    pool.ThreadsMin = row.min;
    pool.ThreadsMax = row.max;
    pool.LogHook = log.Hook();

    PumpUntil(pool, row.expected, row.expected, tally, queued);
    ASSERT_EQ(pool.ThreadCount(), row.expected);
    for (int i = 0; i < 2000; ++i) {
      ASSERT_TRUE(Queue(pool, MakeItem(queued++, tally)));
      ASSERT_EQ(pool.ThreadCount(), row.expected);
    }
    ASSERT_TRUE(Eventually([&] { return tally->destroyed == queued; }));
    EXPECT_EQ(tally->ran, queued);

    const std::vector<std::string> growth = log.StartingWith("FThreads.Count (");
    if (row.firstGrowth == nullptr) {
      EXPECT_TRUE(growth.empty());
    } else {
      ASSERT_FALSE(growth.empty());
      const std::string prefix = row.firstGrowth;
      EXPECT_EQ(growth.front().substr(0, prefix.size()), prefix);
      const std::string mean = growth.front().substr(prefix.size());
      ASSERT_FALSE(mean.empty());
      EXPECT_TRUE(std::all_of(mean.begin(), mean.end(), [](char c) {
        return c >= '0' && c <= '9';
      })) << mean;
      EXPECT_LT(std::stoi(mean), 100);
    }
  }
}

TEST(ThreadPool, RetiresOneIdleWorkerPerCheckDownToThreadsMin) {
  struct Row {
    const char* name;
    std::chrono::milliseconds interval;  // kNoCheck: the test calls CheckPoolDown
  };
  for (const Row& row : {Row{"called directly", kNoCheck}, Row{"periodic", 20ms}}) {
    SCOPED_TRACE(row.name);
    const bool direct = row.interval == kNoCheck;
    LogLines log;
    Lifecycle lifecycle;
    auto tally = std::make_shared<Tally>();
    int queued = 0;
    TThreadsPool pool(row.interval);
    pool.ThreadsMin = 2;
    pool.ThreadsMax = 4;
    pool.LogHook = log.Hook();
    lifecycle.Attach(pool);

    PumpUntil(pool, 4, 4, tally, queued);
    ASSERT_EQ(pool.ThreadCount(), 4);
    // Short work on every worker, so that all of them soon count as idle once it stops.
    const Item::Body shortWork = [](TProcessorThread&) { std::this_thread::sleep_for(1ms); };
    for (int i = 0; i < 400; ++i) ASSERT_TRUE(Queue(pool, MakeItem(queued++, tally, shortWork)));
    ASSERT_TRUE(Eventually([&] { return tally->destroyed == queued; }));

    ASSERT_TRUE(Eventually([&] {
      const int before = pool.ThreadCount();
      if (direct) pool.CheckPoolDown();
      const int after = pool.ThreadCount();
      if (direct) {
        EXPECT_GE(after, before - 1);
      }
      EXPECT_GE(after, 2);
      return after == 2;
    }));
    ASSERT_TRUE(Eventually([&] {
      if (direct) pool.CheckPoolDown();
      return pool.RetiredCount() == 0;
    }));
    for (int i = 0; i < 3; ++i) {
      if (direct) pool.CheckPoolDown();
      std::this_thread::sleep_for(row.interval * 2);
      EXPECT_EQ(pool.ThreadCount(), 2);
    }
    EXPECT_EQ(lifecycle.initialized - lifecycle.finalized, 2);
    EXPECT_GE(log.CountContaining("TThreadsPool.CheckPoolDown"), 3);
  }
}

TEST(ThreadPool, HandlerOrEventErrorEndsOnlyThatItem) {
  struct Row {
    const char* name;
    Item::Body firstBody;
    bool eventThrowsForFirst;
    std::vector<int> expectedEventKeys;  // OnProcessRequest is skipped after a Handler error
    const char* loggedError;
  };
  const std::vector<Row> rows = {
      {"std exception",
       [](TProcessorThread&) { throw std::runtime_error("boom"); },
       false,
       {2},
       "Item 1 failed: boom"},
      {"other exception",
       [](TProcessorThread&) { throw 42; },
       false,
       {2},
       "Item 1 failed: unknown error"},
      {"OnProcessRequest", {}, true, {1, 2}, "OnProcessRequest for Item 1 failed: event"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    LogLines log;
    auto tally = std::make_shared<Tally>();
    std::mutex mutex;
    std::vector<int> eventKeys;
    TThreadsPool pool(kNoCheck);
    pool.ThreadsMin = 1;
    pool.ThreadsMax = 1;
    pool.LogHook = log.Hook();
    pool.OnProcessRequest = [&](TThreadsPool&, TWorkItem& item, TProcessorThread&) {
      const int key = item.LogText() == "Item 1" ? 1 : 2;
      {
        std::lock_guard lock(mutex);
        eventKeys.push_back(key);
      }
      if (key == 1 && row.eventThrowsForFirst) throw std::runtime_error("event");
    };

    ASSERT_TRUE(Queue(pool, MakeItem(1, tally, row.firstBody)));
    ASSERT_TRUE(Queue(pool, MakeItem(2, tally)));
    ASSERT_TRUE(Eventually([&] { return tally->destroyed == 2; }));
    EXPECT_EQ(tally->started, 2);
    EXPECT_EQ(tally->ran, row.firstBody ? 1 : 2);
    EXPECT_EQ(pool.ThreadCount(), 1);
    {
      std::lock_guard lock(tally->mutex);
      EXPECT_EQ(tally->order, (std::vector<int>{1, 2}));
      EXPECT_EQ(tally->threads.at(0), tally->threads.at(1));  // the same worker went on
    }
    std::lock_guard lock(mutex);
    EXPECT_EQ(eventKeys, row.expectedEventKeys);
    EXPECT_EQ(log.CountContaining(row.loggedError), 1);
  }
}

TEST(ThreadPool, DoublesCheckRefusesQueuedAndProcessedItems) {
  auto tally = std::make_shared<Tally>();
  auto gate = std::make_shared<Gate>();
  TThreadsPool pool(kNoCheck);
  pool.ThreadsMin = 1;
  pool.ThreadsMax = 1;
  ASSERT_TRUE(Queue(pool, MakeItem(1, tally, [gate](TProcessorThread&) { gate->Wait(); })));
  ASSERT_TRUE(Eventually([&] { return tally->started == 1; }));  // 1 is being processed
  ASSERT_TRUE(Queue(pool, MakeItem(2, tally)));                  // 2 waits in the queue

  struct Row {
    int key;  // 0: a plain TWorkItem, never the same as another
    bool check, accepted;
  };
  const std::vector<Row> rows = {
      {1, true, false}, {2, true, false}, {3, true, true}, {3, true, false},
      {1, false, true}, {0, true, true},  {0, true, true},
  };
  int queued = 2, keyed = 2;  // keyed: items counted by `tally`
  for (const Row& row : rows) {
    SCOPED_TRACE(row.key);
    auto refusedTally = std::make_shared<Tally>();
    std::unique_ptr<TWorkItem> item;
    if (row.key == 0) {
      item = std::make_unique<TWorkItem>();
    } else {
      item = MakeItem(row.key, row.accepted ? tally : refusedTally);
    }
    TWorkItem* const raw = item.get();
    ASSERT_EQ(pool.AddRequest(item, row.check), row.accepted);
    if (row.accepted) {
      EXPECT_EQ(item, nullptr);
      ++queued;
      if (row.key != 0) ++keyed;
    } else {
      ASSERT_EQ(item.get(), raw);  // still the caller's, intact
      EXPECT_EQ(item->LogText(), "Item " + std::to_string(row.key));
      EXPECT_EQ(refusedTally->destroyed, 0);
      item.reset();
      EXPECT_EQ(refusedTally->destroyed, 1);
    }
  }
  EXPECT_EQ(pool.QueueLength(), queued - 1);
  gate->Open();
  ASSERT_TRUE(Eventually([&] { return tally->destroyed == keyed && pool.QueueLength() == 0; }));
  EXPECT_EQ(tally->ran, keyed);
}

TEST(ThreadPool, QueueEmptyEventKinds) {
  using K = TEmptyKind;
  struct Row {
    int workers, blocked, behind;
    std::vector<K> expected;
  };
  const std::vector<Row> rows = {
      {1, 1, 0, {K::ekQueueEmpty, K::ekProcessingFinished}},
      {1, 1, 2, {K::ekQueueEmpty, K::ekQueueEmpty, K::ekProcessingFinished}},
      {2, 2, 0, {K::ekQueueEmpty, K::ekQueueEmpty, K::ekProcessingFinished}},
      {2, 2, 1, {K::ekQueueEmpty, K::ekQueueEmpty, K::ekQueueEmpty, K::ekProcessingFinished}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.workers << " " << row.blocked << " " << row.behind);
    auto tally = std::make_shared<Tally>();
    auto gate = std::make_shared<Gate>();
    std::mutex mutex;
    std::vector<K> kinds;
    TThreadsPool pool(kNoCheck);
    pool.ThreadsMin = row.workers;
    pool.ThreadsMax = row.workers;
    pool.OnQueueEmpty = [&](TThreadsPool&, K kind) {
      std::lock_guard lock(mutex);
      kinds.push_back(kind);
    };
    for (int i = 0; i < row.blocked; ++i) {
      ASSERT_TRUE(Queue(pool, MakeItem(i, tally, [gate](TProcessorThread&) { gate->Wait(); })));
      ASSERT_TRUE(Eventually([&] { return tally->started == i + 1; }));
    }
    for (int i = 0; i < row.behind; ++i) ASSERT_TRUE(Queue(pool, MakeItem(100 + i, tally)));
    gate->Open();
    const int total = row.blocked + row.behind;
    ASSERT_TRUE(Eventually([&] {
      std::lock_guard lock(mutex);
      return tally->destroyed == total && !kinds.empty() && kinds.back() == K::ekProcessingFinished;
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(kinds, row.expected);
  }
}

TEST(ThreadPool, ItemQueuedByTheQueueEmptyEventIsProcessed) {
  auto tally = std::make_shared<Tally>();
  std::atomic<bool> refilled{false};
  TThreadsPool pool(kNoCheck);
  pool.ThreadsMin = 1;
  pool.ThreadsMax = 1;
  pool.OnQueueEmpty = [&](TThreadsPool& sender, TEmptyKind kind) {
    if (kind == TEmptyKind::ekQueueEmpty && !refilled.exchange(true)) {
      EXPECT_TRUE(Queue(sender, MakeItem(2, tally)));
    }
  };
  ASSERT_TRUE(Queue(pool, MakeItem(1, tally)));
  ASSERT_TRUE(Eventually([&] { return tally->destroyed == 2; }));
  EXPECT_EQ(tally->ran, 2);
  EXPECT_EQ(pool.QueueLength(), 0);
}

TEST(ThreadPool, ItemsRunInQueueOrderAcrossCompaction) {
  for (const int count : {1, 127, 128, 300, 1000}) {
    SCOPED_TRACE(count);
    auto tally = std::make_shared<Tally>();
    auto gate = std::make_shared<Gate>();
    TThreadsPool pool(kNoCheck);
    pool.ThreadsMin = 1;
    pool.ThreadsMax = 1;
    ASSERT_TRUE(Queue(pool, MakeItem(0, tally, [gate](TProcessorThread&) { gate->Wait(); })));
    ASSERT_TRUE(Eventually([&] { return tally->started == 1; }));
    for (int key = 1; key <= count; ++key) ASSERT_TRUE(Queue(pool, MakeItem(key, tally)));
    EXPECT_EQ(pool.QueueLength(), count);
    gate->Open();
    // A second batch arrives while the first one drains.
    for (int key = count + 1; key <= 2 * count; ++key)
      ASSERT_TRUE(Queue(pool, MakeItem(key, tally)));
    ASSERT_TRUE(Eventually([&] { return tally->destroyed == 2 * count + 1; }));
    EXPECT_EQ(pool.QueueLength(), 0);
    std::vector<int> expected(static_cast<std::size_t>(2 * count + 1));
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i);
    std::lock_guard lock(tally->mutex);
    EXPECT_EQ(tally->order, expected);
  }
}

TEST(ThreadPool, RunningAveragesStartAt1000And3000AndWeighTheOldTwice) {
  auto tally = std::make_shared<Tally>();
  std::atomic<std::int64_t> wait{-1}, processing{-1}, elapsed{-1};
  std::atomic<bool> processingState{false};
  TThreadsPool pool(kNoCheck);
  pool.ThreadsMin = 1;
  pool.ThreadsMax = 1;
  const auto start = Clock::now();
  const Item::Body observe = [&](TProcessorThread& thread) {
    wait = thread.AvgWait();
    processing = thread.AvgProcessing();
    processingState = thread.State() == TThreadState::Processing;
    elapsed = std::chrono::ceil<std::chrono::milliseconds>(Clock::now() - start).count();
  };
  ASSERT_TRUE(Queue(pool, MakeItem(1, tally, observe)));
  ASSERT_TRUE(Eventually([&] { return tally->destroyed == 1; }));
  // Both samples lie between 0 and the time since the request was queued.
  EXPECT_TRUE(processingState);
  EXPECT_GE(wait, 2 * 1000 / 3);
  EXPECT_LE(wait, (2 * 1000 + elapsed) / 3);
  EXPECT_GE(processing, 2 * 3000 / 3);
  EXPECT_LE(processing, (2 * 3000 + elapsed) / 3);
}

TEST(ThreadPool, DeadWorkerIsReplacedAfterThreadDeadTimeout) {
  struct Row {
    int timeout;
    bool replaced;
  };
  for (const Row row : std::vector<Row>{{100, true}, {0, false}, {60000, false}}) {
    SCOPED_TRACE(row.timeout);
    Lifecycle lifecycle;
    auto stuck = std::make_shared<Tally>();
    auto next = std::make_shared<Tally>();
    auto gate = std::make_shared<Gate>();
    TThreadsPool pool(kNoCheck);
    pool.ThreadsMin = 1;
    pool.ThreadsMax = 1;
    pool.ThreadDeadTimeout = row.timeout;
    lifecycle.Attach(pool);

    ASSERT_TRUE(Queue(pool, MakeItem(1, stuck, [gate](TProcessorThread&) { gate->Wait(); })));
    ASSERT_TRUE(Eventually([&] { return stuck->started == 1; }));
    std::this_thread::sleep_for(150ms);  // processing has now lasted longer than 100 ms
    pool.CheckPoolDown();
    EXPECT_EQ(pool.ThreadCount(), 1);
    EXPECT_EQ(pool.RetiredCount(), row.replaced ? 1 : 0);
    EXPECT_EQ(lifecycle.initialized, row.replaced ? 2 : 1);

    if (row.replaced) {
      // The replacement serves while the dead worker is still stuck.
      ASSERT_TRUE(Queue(pool, MakeItem(2, next)));
      ASSERT_TRUE(Eventually([&] { return next->destroyed == 1; }));
      EXPECT_EQ(stuck->ran, 0);
      std::lock_guard lock(stuck->mutex);
      std::lock_guard lock2(next->mutex);
      EXPECT_NE(stuck->threads.at(0), next->threads.at(0));
    }
    gate->Open();
    ASSERT_TRUE(Eventually([&] { return stuck->destroyed == 1; }));
    ASSERT_TRUE(Eventually([&] {
      pool.CheckPoolDown();
      return pool.RetiredCount() == 0;
    }));
    EXPECT_EQ(lifecycle.finalized, row.replaced ? 1 : 0);
    EXPECT_EQ(pool.ThreadCount(), 1);
  }
}

TEST(ThreadPool, StartupErrorSkipsTheWorker) {
  struct Row {
    std::set<int> succeeding;  // numbers of the OnThreadInitializing calls that succeed
    int workers;
    const char* logged;  // the first start-up error, passed on as the creation error
  };
  const std::vector<Row> rows = {
      {{1, 2, 3, 4}, 4, nullptr},
      {{2, 4}, 2, "TThreadsPool: a worker could not be created: init failed #1"},
      {{}, 0, "TThreadsPool: a worker could not be created: init failed #1"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.workers);
    LogLines log;
    std::atomic<int> calls{0}, finalized{0};
    auto tally = std::make_shared<Tally>();
    {
      TThreadsPool pool(kNoCheck);
      pool.ThreadsMin = 4;
      pool.ThreadsMax = 4;
      pool.LogHook = log.Hook();
      pool.OnThreadInitializing = [&](TThreadsPool&, TProcessorThread&) {
        const int call = ++calls;
        if (!row.succeeding.count(call))
          throw std::runtime_error("init failed #" + std::to_string(call));
      };
      pool.OnThreadFinalizing = [&](TThreadsPool&, TProcessorThread&) { ++finalized; };

      ASSERT_TRUE(Queue(pool, MakeItem(1, tally)));
      EXPECT_GE(calls, 4);  // every missing worker was tried
      EXPECT_EQ(pool.ThreadCount(), row.workers);
      if (row.workers > 0) {
        ASSERT_TRUE(Eventually([&] { return tally->ran == 1; }));
      } else {
        EXPECT_EQ(pool.QueueLength(), 1);
      }
      if (row.logged != nullptr) {
        EXPECT_EQ(log.CountContaining(row.logged), 1);
      }
    }
    EXPECT_EQ(finalized, row.workers);
    EXPECT_EQ(tally->destroyed, 1);
  }
}

TEST(ThreadPool, DestructionEndsWorkersAndFreesQueuedItems) {
  for (const int behind : {0, 5, 200}) {
    SCOPED_TRACE(behind);
    Lifecycle lifecycle;
    auto tally = std::make_shared<Tally>();
    auto pool = std::make_unique<TThreadsPool>(kNoCheck);
    pool->ThreadsMin = 1;
    pool->ThreadsMax = 1;
    lifecycle.Attach(*pool);
    // The first item runs until the destructor tells its worker to end.
    ASSERT_TRUE(Queue(*pool, MakeItem(0, tally, [](TProcessorThread& thread) {
      Eventually([&] { return thread.Terminated(); });
    })));
    ASSERT_TRUE(Eventually([&] { return tally->started == 1; }));
    for (int key = 1; key <= behind; ++key) ASSERT_TRUE(Queue(*pool, MakeItem(key, tally)));

    pool.reset();
    EXPECT_EQ(tally->ran, 1);
    EXPECT_EQ(tally->started, 1);  // nothing queued ran after the termination
    EXPECT_EQ(tally->destroyed, 1 + behind);
    EXPECT_EQ(lifecycle.finalized, 1);
  }
}

TEST(ThreadPool, DestructionGivesUpOnAStuckHandlerWithoutLosingItsItem) {
  LogLines log;
  Lifecycle lifecycle;
  auto tally = std::make_shared<Tally>();
  auto gate = std::make_shared<Gate>();
  auto pool = std::make_unique<TThreadsPool>(kNoCheck, 50ms);
  pool->ThreadsMin = 1;
  pool->ThreadsMax = 1;
  pool->LogHook = log.Hook();
  lifecycle.Attach(*pool);
  std::atomic<int> processed{0};
  pool->OnProcessRequest = [&](TThreadsPool&, TWorkItem&, TProcessorThread&) { ++processed; };
  ASSERT_TRUE(Queue(*pool, MakeItem(1, tally, [gate](TProcessorThread&) { gate->Wait(); })));
  ASSERT_TRUE(Eventually([&] { return tally->started == 1; }));
  ASSERT_TRUE(Queue(*pool, MakeItem(2, tally)));

  pool.reset();
  EXPECT_EQ(tally->ran, 0);        // the Handler is still blocked
  EXPECT_EQ(tally->destroyed, 1);  // the queued item is freed
  EXPECT_EQ(log.CountContaining("did not end in time"), 1);

  // The detached worker finishes its item and ends without touching the freed pool.
  gate->Open();
  ASSERT_TRUE(Eventually([&] { return tally->destroyed == 2; }));
  EXPECT_EQ(tally->ran, 1);
  EXPECT_EQ(processed, 0);  // the pool's events are gone with it
  EXPECT_EQ(lifecycle.finalized, 0);
}

}  // namespace
