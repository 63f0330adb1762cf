// Reference counting of characteristic collectors.
#include <atomic>

#include "VOKAnalysisExplicit.h"
#include "VOKErrors.h"

namespace {
std::atomic<int> g_liveCollectors{0};
}

VOKAnalysisCollectorRoot::VOKAnalysisCollectorRoot() : _RefCount(1) { ++g_liveCollectors; }
VOKAnalysisCollectorRoot::~VOKAnalysisCollectorRoot() { --g_liveCollectors; }

unsigned long VOKAnalysisCollectorRoot::AddRef() { return static_cast<unsigned long>(++_RefCount); }

unsigned long VOKAnalysisCollectorRoot::Release() {
  long count = --_RefCount;
  if (count < 0) {
    VOKFatalError("VOKAnalysisCollectorRoot::Release: reference count below zero", nullptr, nullptr,
                  nullptr, __FILE__, __LINE__);
    return 0;
  }
  if (count == 0) {
    _RefCount = 1;  // stabilised while the destructor runs
    delete this;
    return 0;
  }
  return static_cast<unsigned long>(count);
}

int VOKAnalysisCollectorRoot::LiveCount() { return g_liveCollectors.load(); }
