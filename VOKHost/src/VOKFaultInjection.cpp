// Fault injection: the k-th counted host operation fails.
#include <atomic>
#include <mutex>
#include <string>

#include "VOKAnalysisExplicit.h"
#include "VOKHostTesting.h"
#include "VOKMsgCatalog.h"

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_target{0};
std::atomic<long> g_count{0};
std::mutex g_nameMutex;
std::string g_hitName;
// Only the outermost operation of a thread counts: what the platform calls
// internally while serving an operation is part of that operation.
thread_local int t_depth = 0;
}  // namespace

namespace VOKHost {

void FaultArm(long k) {
  g_count = 0;
  g_target = k;
  {
    std::lock_guard<std::mutex> lock(g_nameMutex);
    g_hitName.clear();
  }
  g_counting = true;
}

void FaultDisarm() {
  g_counting = false;
  g_target = 0;
}

long FaultCount() { return g_count.load(); }

std::string FaultHitName() {
  std::lock_guard<std::mutex> lock(g_nameMutex);
  return g_hitName;
}

FaultPoint::FaultPoint(const char* iOperation) : _Fail(false) {
  if (t_depth++ == 0 && g_counting) {
    long n = ++g_count;
    if (n == g_target) {
      _Fail = true;
      std::lock_guard<std::mutex> lock(g_nameMutex);
      g_hitName = iOperation ? iOperation : "";
    }
  }
}

FaultPoint::~FaultPoint() { --t_depth; }

LiveCounts CurrentLiveCounts() {
  LiveCounts counts;
  counts.components = VOKBaseUnknown::LiveCount();
  counts.collectors = VOKAnalysisCollectorRoot::LiveCount();
  counts.dialogs = VOKDialog::LiveCount();
  return counts;
}

}  // namespace VOKHost
