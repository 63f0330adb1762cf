// Fault injection: the k-th counted host operation fails.
#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "VOKAnalysisExplicit.h"
#include "VOKHostTesting.h"
#include "VOKMsgCatalog.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_target{0};
std::atomic<long> g_count{0};
std::atomic<long> g_result{E_FAIL};
std::mutex g_nameMutex;
std::string g_hitName;
// Only the outermost operation of a thread counts: what the platform calls
// internally while serving an operation is part of that operation.
thread_local int t_depth = 0;

// Arming per worker: each thread but the arming one keeps its own count. A
// new arming starts a new generation, which resets a thread's count the
// first time it counts again.
std::atomic<bool> g_perWorker{false};
std::atomic<unsigned long> g_generation{0};
std::atomic<std::thread::id> g_armingThread{};
thread_local unsigned long t_generation = 0;
thread_local long t_count = 0;

void RecordHit(const char* iOperation) {
  std::lock_guard<std::mutex> lock(g_nameMutex);
  g_hitName = iOperation ? iOperation : "";
}

void ClearHit() {
  std::lock_guard<std::mutex> lock(g_nameMutex);
  g_hitName.clear();
}
}  // namespace

namespace VOKHost {

void FaultArm(long k, long iResult) {
  g_result = iResult;
  g_perWorker = false;
  g_count = 0;
  g_target = k;
  ClearHit();
  g_counting = true;
}

void FaultArmPerWorker(long k) {
  g_result = E_FAIL;
  g_counting = false;
  g_count = 0;
  g_target = k;
  ClearHit();
  g_armingThread = std::this_thread::get_id();
  ++g_generation;
  g_perWorker = true;
}

void FaultDisarm() {
  g_counting = false;
  g_perWorker = false;
  g_target = 0;
}

long FaultCount() { return g_count.load(); }

std::string FaultHitName() {
  std::lock_guard<std::mutex> lock(g_nameMutex);
  return g_hitName;
}

FaultPoint::FaultPoint(const char* iOperation) : _Fail(false) {
  if (t_depth++ != 0) return;
  if (g_counting) {
    long n = ++g_count;
    if (n == g_target) {
      _Fail = true;
      RecordHit(iOperation);
    }
  } else if (g_perWorker && std::this_thread::get_id() != g_armingThread.load()) {
    const unsigned long generation = g_generation.load();
    if (t_generation != generation) {
      t_generation = generation;
      t_count = 0;
    }
    ++g_count;
    if (++t_count == g_target) {
      _Fail = true;
      RecordHit(iOperation);
    }
  }
}

FaultPoint::~FaultPoint() { --t_depth; }

long FaultPoint::Result() const { return g_result.load(); }

LiveCounts CurrentLiveCounts() {
  LiveCounts counts;
  counts.components = VOKBaseUnknown::LiveCount();
  counts.collectors = VOKAnalysisCollectorRoot::LiveCount();
  counts.dialogs = VOKDialog::LiveCount();
  return counts;
}

}  // namespace VOKHost
