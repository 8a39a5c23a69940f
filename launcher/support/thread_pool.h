// The launcher's thread pool: work items queued by AddRequest run on worker threads that grow
// with demand (ThreadsMin at the first request, then up to ThreadsMax) and are retired when idle.
// Every public operation is safe from any thread; events and Handlers run on worker threads.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace launcher {

class TThreadsPool;
class TProcessorThread;

// One job. The pool owns an item from a successful AddRequest until it has been processed (or
// until the pool is destroyed) and then deletes it.
class TWorkItem {
 public:
  virtual ~TWorkItem();
  // Whether this item asks for the same work as `other`; called for the doubles check of
  // AddRequest, possibly while `other` is being processed on a worker.
  virtual bool SameRequest(const TWorkItem& other) const;
  // Short description for the diagnostic log.
  virtual std::string LogText() const;

  // Run on a worker; may be empty. An exception ends only this item.
  std::function<void(TProcessorThread&, TWorkItem&)> Handler;
};

enum class TEmptyKind { ekQueueEmpty, ekProcessingFinished };

enum class TThreadState {
  Initializing,
  Waiting,
  TakingRequest,
  Processing,
  Processed,
  Terminating,
  CheckingPool,
};

namespace detail {
struct PoolShared;
}

// A worker. Created and owned by the pool; Handlers and events receive it by reference.
class TProcessorThread {
 public:
  TProcessorThread(const TProcessorThread&) = delete;
  TProcessorThread& operator=(const TProcessorThread&) = delete;
  ~TProcessorThread();

  // Valid while the pool exists: a Handler that outlives the pool's destructor must not use it.
  TThreadsPool& Pool() const { return *pool_; }
  TThreadState State() const { return state_; }
  // Running averages in milliseconds, including the wait or processing in progress.
  std::int64_t AvgWait() const;
  std::int64_t AvgProcessing() const;
  // Set when the pool retires the worker or is destroyed; a long Handler may poll it.
  bool Terminated() const { return terminated_; }
  // Marks the worker terminated and wakes it; it ends after its current item. Safe at any time.
  void Terminate();

 private:
  friend class TThreadsPool;
  friend struct detail::PoolShared;

  TProcessorThread(TThreadsPool& pool, std::shared_ptr<detail::PoolShared> shared);
  void BeginWait();
  std::int64_t AvgWaitAt(std::int64_t now) const;
  std::int64_t AvgProcessingAt(std::int64_t now) const;

  TThreadsPool* const pool_;
  const std::shared_ptr<detail::PoolShared> shared_;
  std::atomic<TThreadState> state_{TThreadState::Initializing};
  std::atomic<std::int64_t> avgWait_{1000};
  std::atomic<std::int64_t> avgProcessing_{3000};
  std::atomic<std::int64_t> waitStart_{0};
  std::atomic<std::int64_t> processStart_{0};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> ended_{false};  // past its last access to the pool
  std::mutex itemLock_;             // guards item_ against the doubles check
  std::unique_ptr<TWorkItem> item_;
  std::thread thread_;
};

// Destroying the pool terminates every worker and waits up to `endTimeout` for them. A worker
// still in a Handler after that is detached: when its Handler returns it deletes its item and
// ends without touching the pool again (no event is raised for it). Only a Handler is given up
// on: an event still running is waited for, as it receives the pool.
class TThreadsPool {
 public:
  // `checkInterval`: period of CheckPoolDown on an idle worker, the first one due at once;
  // zero or less turns the periodic check off.
  explicit TThreadsPool(std::chrono::milliseconds checkInterval = std::chrono::milliseconds(30000),
                        std::chrono::milliseconds endTimeout = std::chrono::milliseconds(30000));
  ~TThreadsPool();
  TThreadsPool(const TThreadsPool&) = delete;
  TThreadsPool& operator=(const TThreadsPool&) = delete;

  // Grows the pool and queues `item`, moving it out of the caller's pointer: true. False, and
  // `item` untouched, when it is null or (with `checkForDoubles`) SameRequest matches a queued
  // item or one a worker is processing.
  bool AddRequest(std::unique_ptr<TWorkItem>& item, bool checkForDoubles = false);

  // Replaces dead workers, frees ended retired ones and retires at most one idle worker above
  // ThreadsMin. Runs periodically on a worker; may also be called directly.
  void CheckPoolDown();

  int ThreadCount() const;   // workers in the list
  int RetiredCount() const;  // retired workers whose threads were not yet freed
  int QueueLength() const;   // items queued and not yet taken

  std::atomic<int> ThreadsMin{3};
  std::atomic<int> ThreadsMax{50};
  std::atomic<int> ThreadDeadTimeout{0};  // milliseconds; 0 switches the rule off

  // Assign the events and the hook before the first AddRequest. They run on worker threads,
  // concurrently; OnThreadInitializing must not call into the pool (its creator holds the
  // pool's locks while waiting for it), LogHook neither (it is called under them).
  std::function<void(TThreadsPool&, TWorkItem&, TProcessorThread&)> OnProcessRequest;
  std::function<void(TThreadsPool&, TEmptyKind)> OnQueueEmpty;
  std::function<void(TThreadsPool&, TProcessorThread&)> OnThreadInitializing;
  std::function<void(TThreadsPool&, TProcessorThread&)> OnThreadFinalizing;
  std::function<void(const std::string&)> LogHook;

 private:
  using Worker = std::shared_ptr<TProcessorThread>;

  static void Execute(Worker self, std::shared_ptr<detail::PoolShared> shared,
                      std::promise<std::optional<std::string>> started);
  void CheckRound(TProcessorThread& self);
  bool StartRequest(TProcessorThread& self);
  void FinishRequest(TProcessorThread& self, const std::optional<std::string>& handlerError);
  void RaiseQueueEmpty(TEmptyKind kind);

  Worker CreateWorker();
  void AddWorker();
  void Grow();
  void ReplaceDeadWorkers();
  void FreeEndedRetired();
  void RetireOneIdle();
  void Log(const std::string& text) const;

  const std::shared_ptr<detail::PoolShared> shared_;
  const std::chrono::milliseconds endTimeout_;

  mutable std::mutex queueLock_;
  std::vector<std::unique_ptr<TWorkItem>> queue_;  // positions before head_ are empty
  std::size_t head_ = 0;
  int processing_ = 0;  // items taken and not yet finished, under queueLock_

  mutable std::recursive_mutex workersLock_;
  std::vector<Worker> workers_;
  std::vector<Worker> retired_;
  bool destroying_ = false;
};

}  // namespace launcher
