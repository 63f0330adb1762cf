#include "VOKDYNSweep.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vokdyn {

namespace {

constexpr auto kProgressPeriod = std::chrono::milliseconds(50);
constexpr std::size_t kNoBatch = static_cast<std::size_t>(-1);

struct Shared {
  explicit Shared(const BatchWork& iWork) : work(iWork) {}
  const BatchWork& work;
  std::atomic<std::size_t> done{0};               // units finished
  std::atomic<std::size_t> firstFailed{kNoBatch};  // lowest failed batch
  std::atomic<bool> abandon{false};               // the calling thread gave up
  std::mutex mutex;
  std::condition_variable finishedChanged;
  std::size_t finished = 0;                       // workers returned
};

struct Worker {
  std::size_t index = 0, firstBatch = 0, endBatch = 0;
  std::size_t failedBatch = kNoBatch;
  std::exception_ptr failure;
};

void LowerFirstFailed(std::atomic<std::size_t>& ioFirst, std::size_t iBatch) {
  std::size_t current = ioFirst.load();
  while (iBatch < current && !ioFirst.compare_exchange_weak(current, iBatch)) {
  }
}

void RunWorker(Shared& ioShared, Worker& ioWorker) {
  for (std::size_t b = ioWorker.firstBatch; b < ioWorker.endBatch; ++b) {
    if (ioShared.abandon.load(std::memory_order_relaxed) || ioShared.firstFailed.load(std::memory_order_relaxed) < b)
      break;
    try {
      ioShared.done.fetch_add(ioShared.work(ioWorker.index, b), std::memory_order_relaxed);
    } catch (...) {
      ioWorker.failedBatch = b;
      ioWorker.failure = std::current_exception();
      LowerFirstFailed(ioShared.firstFailed, b);
      break;
    }
  }
  std::lock_guard<std::mutex> lock(ioShared.mutex);
  ++ioShared.finished;
  ioShared.finishedChanged.notify_all();
}

// The started workers, joined on every way out, so that no thread outlives
// what it works on.
class Threads {
 public:
  explicit Threads(Shared& ioShared) : _Shared(ioShared) {}
  ~Threads() {
    _Shared.abandon = true;
    JoinAll();
  }
  Threads(const Threads&) = delete;
  Threads& operator=(const Threads&) = delete;
  void Start(Worker& ioWorker) { _Threads.emplace_back([this, &ioWorker] { RunWorker(_Shared, ioWorker); }); }
  std::size_t Count() const { return _Threads.size(); }
  void JoinAll() {
    for (std::thread& t : _Threads)
      if (t.joinable()) t.join();
  }

 private:
  Shared& _Shared;
  std::vector<std::thread> _Threads;
};

}  // namespace

std::size_t WorkerCount(std::size_t iBatches, int iThreads) {
  std::size_t threads = iThreads < 1 ? 1 : static_cast<std::size_t>(iThreads);
  return std::max<std::size_t>(1, std::min({threads, iBatches, kMaxWorkers}));
}

void RunBatches(std::size_t iBatches, int iThreads, const BatchWork& iWork, std::size_t iTotalUnits,
                const Progress& iProgress) {
  if (iBatches == 0) {
    if (iProgress) iProgress(iTotalUnits, iTotalUnits);
    return;
  }
  const std::size_t count = WorkerCount(iBatches, iThreads);
  std::vector<Worker> workers(count);
  for (std::size_t w = 0; w < count; ++w) {
    workers[w].index = w;
    workers[w].firstBatch = iBatches * w / count;
    workers[w].endBatch = iBatches * (w + 1) / count;
  }
  Shared shared(iWork);
  {
    Threads running(shared);
    for (Worker& worker : workers) running.Start(worker);
    std::size_t reported = 0;
    std::unique_lock<std::mutex> lock(shared.mutex);
    while (shared.finished < running.Count()) {
      shared.finishedChanged.wait_for(lock, kProgressPeriod);
      const std::size_t done = shared.done.load();
      if (iProgress && done > reported && done < iTotalUnits) {
        lock.unlock();
        iProgress(done, iTotalUnits);
        reported = done;
        lock.lock();
      }
    }
    lock.unlock();
    running.JoinAll();
  }
  // The failure of lowest batch, as a single thread meets it.
  const Worker* failed = nullptr;
  for (const Worker& worker : workers)
    if (worker.failure && (!failed || worker.failedBatch < failed->failedBatch)) failed = &worker;
  if (failed) std::rethrow_exception(failed->failure);
  if (iProgress) iProgress(iTotalUnits, iTotalUnits);
}

}  // namespace vokdyn
