// The launcher's thread pool: queue, growth, periodic shrinking and the worker loop. Lock order:
// queue lock, then workers lock, then an item lock; the signal lock is innermost. Workers hold
// the pool's liveness lock shared everywhere except inside a Handler.
#include "launcher/support/thread_pool.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <shared_mutex>

#include "launcher/support/error.h"

namespace launcher {

namespace {

constexpr std::int64_t kQuickWaitMs = 5;   // a wait this short means work arrives faster than taken
constexpr std::int64_t kBusyWaitMs = 100;  // mean waits below this ask for one more worker
constexpr std::size_t kCompactAbove = 127;  // queue positions before compaction is worth it

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t Averaged(std::int64_t average, std::int64_t sample) {
  return (2 * average + sample) / 3;
}

std::string ErrorText(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace

namespace detail {

enum class Wake { Terminate, Request, Check };

// What a worker may still need after the pool object is gone: it lives as long as any worker.
struct PoolShared {
  std::shared_mutex alive;  // exclusive only while the destructor unhooks `pool`
  TThreadsPool* pool = nullptr;

  std::mutex signalLock;
  std::condition_variable signal;       // a request, a due check or a termination
  std::condition_variable endedSignal;  // a worker passed its last access to the pool
  std::int64_t pending = 0;             // the semaphore: one per queued item
  bool timed = false;
  std::chrono::steady_clock::duration interval{};
  std::chrono::steady_clock::time_point nextCheck{};

  // Terminate wins over a request, a request over the periodic check.
  Wake WaitForWork(TProcessorThread& self) {
    std::unique_lock lock(signalLock);
    for (;;) {
      if (self.terminated_) {
        // The wake-up may have been meant for a request: hand it on.
        if (pending > 0) signal.notify_one();
        return Wake::Terminate;
      }
      if (pending > 0) {
        --pending;
        return Wake::Request;
      }
      if (!timed) {
        signal.wait(lock);
        continue;
      }
      const auto now = std::chrono::steady_clock::now();
      if (now >= nextCheck) {
        // A periodic timer: missed periods collapse into this one check.
        nextCheck += interval * ((now - nextCheck) / interval + 1);
        return Wake::Check;
      }
      signal.wait_until(lock, nextCheck);
    }
  }

  void Release() {
    {
      std::lock_guard lock(signalLock);
      ++pending;
    }
    signal.notify_one();
  }

  void MarkEnded(TProcessorThread& self) {
    {
      std::lock_guard lock(signalLock);
      self.ended_ = true;
    }
    endedSignal.notify_all();
  }
};

}  // namespace detail

// ---------------------------------------------------------------------------------------------
// TWorkItem

TWorkItem::~TWorkItem() = default;

bool TWorkItem::SameRequest(const TWorkItem&) const { return false; }

std::string TWorkItem::LogText() const { return "Request"; }

// ---------------------------------------------------------------------------------------------
// TProcessorThread

TProcessorThread::TProcessorThread(TThreadsPool& pool, std::shared_ptr<detail::PoolShared> shared)
    : pool_(&pool), shared_(std::move(shared)) {}

TProcessorThread::~TProcessorThread() {
  // The pool joins or detaches every thread it starts; should one slip through, detaching
  // is better than std::terminate.
  if (thread_.joinable()) thread_.detach();
}

std::int64_t TProcessorThread::AvgWait() const { return AvgWaitAt(NowMs()); }

std::int64_t TProcessorThread::AvgProcessing() const { return AvgProcessingAt(NowMs()); }

std::int64_t TProcessorThread::AvgWaitAt(std::int64_t now) const {
  const TThreadState state = state_;
  const std::int64_t average = avgWait_;
  if (state != TThreadState::Waiting && state != TThreadState::CheckingPool) return average;
  return Averaged(average, now - waitStart_);
}

std::int64_t TProcessorThread::AvgProcessingAt(std::int64_t now) const {
  const TThreadState state = state_;
  const std::int64_t average = avgProcessing_;
  if (state != TThreadState::Processing) return average;
  return Averaged(average, now - processStart_);
}

void TProcessorThread::Terminate() {
  {
    std::lock_guard lock(shared_->signalLock);
    terminated_ = true;
  }
  shared_->signal.notify_all();
}

void TProcessorThread::BeginWait() {
  // The start time first: a reader that sees the state must see its start.
  waitStart_ = NowMs();
  state_ = TThreadState::Waiting;
}

// ---------------------------------------------------------------------------------------------
// TThreadsPool: construction and destruction

TThreadsPool::TThreadsPool(std::chrono::milliseconds checkInterval,
                           std::chrono::milliseconds endTimeout)
    : shared_(std::make_shared<detail::PoolShared>()), endTimeout_(endTimeout) {
  shared_->pool = this;
  shared_->timed = checkInterval.count() > 0;
  shared_->interval = checkInterval;
  shared_->nextCheck = std::chrono::steady_clock::now();
}

TThreadsPool::~TThreadsPool() {
  // 1. Under the workers lock, stop growth and checks and take every worker; then end them.
  std::vector<Worker> all;
  {
    std::lock_guard lock(workersLock_);
    destroying_ = true;
    all = std::move(workers_);
    all.insert(all.end(), retired_.begin(), retired_.end());
    workers_.clear();
    retired_.clear();
  }
  for (const Worker& worker : all) worker->Terminate();

  // 2. Wait for the workers to pass their last access to the pool, for a limited time only.
  {
    std::unique_lock lock(shared_->signalLock);
    shared_->endedSignal.wait_for(lock, endTimeout_, [&] {
      return std::all_of(all.begin(), all.end(), [](const Worker& w) { return w->ended_.load(); });
    });
  }

  // 3. Unhook the pool: a worker still in its Handler sees this when it returns and ends on its
  // own (it holds its worker object and the shared part), so it can be detached.
  {
    std::unique_lock lock(shared_->alive);
    shared_->pool = nullptr;
  }
  for (const Worker& worker : all) {
    if (worker->ended_) {
      worker->thread_.join();
    } else {
      Log("TThreadsPool: a worker did not end in time and is left running");
      worker->thread_.detach();
    }
  }
  all.clear();

  std::vector<std::unique_ptr<TWorkItem>> left;
  {
    std::lock_guard lock(queueLock_);
    left = std::move(queue_);
    head_ = 0;
  }
  // Deleted outside the queue lock, in case an item's destructor calls back.
  left.clear();
}

// ---------------------------------------------------------------------------------------------
// TThreadsPool: requests

bool TThreadsPool::AddRequest(std::unique_ptr<TWorkItem>& item, bool checkForDoubles) {
  if (!item) return false;
  Log("AddRequest(" + item->LogText() + ")");
  std::unique_lock queueLock(queueLock_);
  if (checkForDoubles) {
    for (std::size_t i = head_; i < queue_.size(); ++i) {
      if (queue_[i] && item->SameRequest(*queue_[i])) return false;
    }
  }
  {
    std::lock_guard workersLock(workersLock_);
    Grow();
    if (checkForDoubles) {
      for (const Worker& worker : workers_) {
        std::lock_guard itemLock(worker->itemLock_);
        if (worker->item_ && item->SameRequest(*worker->item_)) return false;
      }
    }
  }
  queue_.push_back(std::move(item));
  queueLock.unlock();
  // After the queue lock, so that the woken worker does not block on it at once.
  shared_->Release();
  return true;
}

int TThreadsPool::ThreadCount() const {
  std::lock_guard lock(workersLock_);
  return static_cast<int>(workers_.size());
}

int TThreadsPool::RetiredCount() const {
  std::lock_guard lock(workersLock_);
  return static_cast<int>(retired_.size());
}

int TThreadsPool::QueueLength() const {
  std::lock_guard lock(queueLock_);
  return static_cast<int>(
      std::count_if(queue_.begin() + static_cast<std::ptrdiff_t>(head_), queue_.end(),
                    [](const std::unique_ptr<TWorkItem>& item) { return item != nullptr; }));
}

// ---------------------------------------------------------------------------------------------
// TThreadsPool: the worker loop

void TThreadsPool::Execute(Worker self, std::shared_ptr<detail::PoolShared> shared,
                           std::promise<std::optional<std::string>> started) {
  // The creator holds the workers lock until `started` is set, so the pool is alive here.
  std::shared_lock alive(shared->alive);
  TThreadsPool* pool = shared->pool;
  std::optional<std::string> startupError;
  if (pool->OnThreadInitializing) {
    try {
      pool->OnThreadInitializing(*pool, *self);
    } catch (...) {
      startupError = ErrorText(std::current_exception());
    }
  }
  const bool failed = startupError.has_value();
  started.set_value(std::move(startupError));
  if (failed) return;  // the creator joins this thread and reports the error

  self->BeginWait();
  for (;;) {
    const detail::Wake wake = shared->WaitForWork(*self);
    if (wake == detail::Wake::Terminate) break;
    if (wake == detail::Wake::Check) {
      pool->CheckRound(*self);
      continue;
    }
    if (!pool->StartRequest(*self)) {
      self->BeginWait();
      continue;
    }

    // The Handler runs without the liveness lock so that the destructor can give up on it.
    std::optional<std::string> handlerError;
    TWorkItem& item = *self->item_;  // only this thread replaces item_
    if (item.Handler) {
      alive.unlock();
      try {
        item.Handler(*self, item);
      } catch (...) {
        handlerError = ErrorText(std::current_exception());
      }
      alive.lock();
      pool = shared->pool;
      if (!pool) {
        std::unique_ptr<TWorkItem> orphan;
        {
          std::lock_guard lock(self->itemLock_);
          orphan = std::move(self->item_);
        }
        orphan.reset();
        shared->MarkEnded(*self);
        return;
      }
    }
    pool->FinishRequest(*self, handlerError);
  }

  self->state_ = TThreadState::Terminating;
  if (pool->OnThreadFinalizing) {
    try {
      pool->OnThreadFinalizing(*pool, *self);
    } catch (...) {
      pool->Log("TThreadsPool: OnThreadFinalizing failed: " + ErrorText(std::current_exception()));
    }
  }
  shared->MarkEnded(*self);
}

void TThreadsPool::CheckRound(TProcessorThread& self) {
  self.state_ = TThreadState::CheckingPool;
  try {
    CheckPoolDown();
  } catch (...) {
    Log("TThreadsPool.CheckPoolDown failed: " + ErrorText(std::current_exception()));
  }
  // Checking is part of the wait: the wait's start time stays.
  self.state_ = TThreadState::Waiting;
}

bool TThreadsPool::StartRequest(TProcessorThread& self) {
  const std::int64_t waited = NowMs() - self.waitStart_;
  self.avgWait_ = Averaged(self.avgWait_, waited);
  self.state_ = TThreadState::TakingRequest;
  if (waited < kQuickWaitMs) {
    try {
      std::lock_guard lock(workersLock_);
      Grow();
    } catch (...) {
      Log("TThreadsPool: growing failed: " + ErrorText(std::current_exception()));
    }
  }

  bool emptied = false;
  {
    std::lock_guard lock(queueLock_);
    while (head_ < queue_.size() && !queue_[head_]) ++head_;
    if (queue_.size() > kCompactAbove && head_ >= queue_.size() * 3 / 4) {
      std::erase_if(queue_, [](const std::unique_ptr<TWorkItem>& item) { return !item; });
      head_ = 0;
    }
    if (head_ >= queue_.size()) {
      // Cannot happen while the semaphore counts the queued items.
      Log("TThreadsPool: no request in the queue");
      return false;
    }
    {
      // Still under the queue lock, so that the doubles check sees the item in one place or
      // the other, never in neither.
      std::lock_guard itemLock(self.itemLock_);
      self.item_ = std::move(queue_[head_]);
    }
    ++head_;
    ++processing_;
    if (head_ >= queue_.size()) {
      queue_.clear();
      head_ = 0;
      emptied = true;
    }
  }
  // Raised outside the queue lock, after the list is reset: an item the event queues survives.
  if (emptied) RaiseQueueEmpty(TEmptyKind::ekQueueEmpty);

  self.processStart_ = NowMs();
  self.state_ = TThreadState::Processing;
  return true;
}

void TThreadsPool::FinishRequest(TProcessorThread& self,
                                 const std::optional<std::string>& handlerError) {
  TWorkItem& item = *self.item_;
  if (handlerError) {
    Log("TThreadsPool: " + item.LogText() + " failed: " + *handlerError);
  } else if (OnProcessRequest) {
    try {
      OnProcessRequest(*this, item, self);
    } catch (...) {
      Log("TThreadsPool: OnProcessRequest for " + item.LogText() +
          " failed: " + ErrorText(std::current_exception()));
    }
  }
  std::unique_ptr<TWorkItem> done;
  {
    std::lock_guard lock(self.itemLock_);
    done = std::move(self.item_);
  }
  // Deleted outside the item lock: the item's destructor may queue work with the doubles check.
  done.reset();

  self.avgProcessing_ = Averaged(self.avgProcessing_, NowMs() - self.processStart_);
  self.state_ = TThreadState::Processed;
  bool finished;
  {
    std::lock_guard lock(queueLock_);
    --processing_;
    finished = processing_ == 0 && head_ >= queue_.size();
  }
  if (finished) RaiseQueueEmpty(TEmptyKind::ekProcessingFinished);
  self.BeginWait();
}

void TThreadsPool::RaiseQueueEmpty(TEmptyKind kind) {
  if (!OnQueueEmpty) return;
  try {
    OnQueueEmpty(*this, kind);
  } catch (...) {
    Log("TThreadsPool: OnQueueEmpty failed: " + ErrorText(std::current_exception()));
  }
}

// ---------------------------------------------------------------------------------------------
// TThreadsPool: growing and shrinking (all under the workers lock)

TThreadsPool::Worker TThreadsPool::CreateWorker() {
  Worker worker(new TProcessorThread(*this, shared_));
  std::promise<std::optional<std::string>> started;
  std::future<std::optional<std::string>> startup = started.get_future();
  worker->thread_ = std::thread(&TThreadsPool::Execute, worker, shared_, std::move(started));
  std::optional<std::string> error = startup.get();
  if (error) {
    worker->thread_.join();
    throw LauncherError(*error);
  }
  return worker;
}

void TThreadsPool::AddWorker() {
  try {
    workers_.reserve(workers_.size() + 1);  // so that adding the started worker cannot fail
    workers_.push_back(CreateWorker());
  } catch (...) {
    Log("TThreadsPool: a worker could not be created: " + ErrorText(std::current_exception()));
  }
}

void TThreadsPool::Grow() {
  if (destroying_) return;
  ReplaceDeadWorkers();
  const int count = static_cast<int>(workers_.size());
  const int min = ThreadsMin;
  if (count < min) {
    // One attempt per missing worker: a creation that keeps failing must not loop for ever.
    for (int i = count; i < min; ++i) AddWorker();
    return;
  }
  const int max = ThreadsMax;
  if (count >= max) return;
  const std::int64_t now = NowMs();  // one clock read for the whole list
  std::int64_t total = 0;
  for (const Worker& worker : workers_) total += worker->AvgWaitAt(now);
  const std::int64_t mean = count == 0 ? 1 : total / count;
  if (mean >= kBusyWaitMs) return;
  char text[96];
  std::snprintf(text, sizeof text, "FThreads.Count (%d)<FThreadsMax(%d), AvgWait=%d", count, max,
                static_cast<int>(mean));
  Log(text);
  AddWorker();
}

void TThreadsPool::ReplaceDeadWorkers() {
  const int timeout = ThreadDeadTimeout;
  const std::int64_t now = NowMs();
  for (std::size_t i = 0; i < workers_.size();) {
    TProcessorThread& worker = *workers_[i];
    const bool dead =
        worker.Terminated() || (timeout > 0 && worker.State() == TThreadState::Processing &&
                                now - worker.processStart_ > timeout);
    if (!dead) {
      ++i;
      continue;
    }
    Log("TThreadsPool: a dead worker is replaced");
    worker.Terminate();
    retired_.push_back(workers_[i]);
    try {
      workers_[i] = CreateWorker();
      ++i;
    } catch (...) {
      // An empty place would be read by every later walk: drop it, growth refills it.
      Log("TThreadsPool: a worker could not be created: " + ErrorText(std::current_exception()));
      workers_.erase(workers_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

void TThreadsPool::FreeEndedRetired() {
  std::erase_if(retired_, [](const Worker& worker) {
    if (!worker->ended_) return false;
    worker->thread_.join();  // returns at once: the thread is past its last step
    return true;
  });
}

void TThreadsPool::RetireOneIdle() {
  const int min = std::max(0, ThreadsMin.load());
  const std::int64_t now = NowMs();
  for (int i = static_cast<int>(workers_.size()) - 1; i >= min; --i) {
    TProcessorThread& worker = *workers_[static_cast<std::size_t>(i)];
    const TThreadState state = worker.State();
    if (state != TThreadState::Waiting && state != TThreadState::CheckingPool) continue;
    const std::int64_t wait = worker.AvgWaitAt(now);
    if (wait <= kBusyWaitMs || worker.AvgProcessingAt(now) >= 2 * wait) continue;
    Log("TThreadsPool: an idle worker is retired");
    worker.Terminate();
    retired_.push_back(workers_[static_cast<std::size_t>(i)]);
    workers_.erase(workers_.begin() + i);
    return;
  }
}

void TThreadsPool::CheckPoolDown() {
  std::lock_guard lock(workersLock_);
  Log("TThreadsPool.CheckPoolDown");
  if (destroying_) return;
  ReplaceDeadWorkers();
  FreeEndedRetired();
  RetireOneIdle();
}

void TThreadsPool::Log(const std::string& text) const {
  if (!LogHook) return;
  try {
    LogHook(text);
  } catch (...) {
    // A failing log must not change what the pool does.
  }
}

}  // namespace launcher
