// The solver record store and the data services that read it.
#include <cstdarg>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "VOKAnalysisExplicit.h"
#include "VOKHostSolverRecords.h"
#include "VOKHostTesting.h"

namespace {

typedef std::pair<const VOKBaseUnknown*, std::string> RecordKey;

struct Store {
  std::mutex mutex;
  std::map<RecordKey, std::vector<double>> records;
  std::map<RecordKey, VOKHost::SolverRecordReads> reads;
};

Store& TheStore() {
  // Never destroyed: components may erase their records during exit.
  static Store* store = new Store;
  return *store;
}

// The object's identity: its VOKBaseUnknown answer (null when it gives none).
const VOKBaseUnknown* Identity(VOKBaseUnknown* iObject) {
  if (!iObject) return nullptr;
  void* answer = nullptr;
  if (FAILED(iObject->QueryInterface(IID_VOKBaseUnknown, &answer)) || !answer) return nullptr;
  VOKBaseUnknown* identity = static_cast<VOKBaseUnknown*>(answer);
  identity->Release();
  return identity;
}

}  // namespace

namespace VOKHost {

void SetSolverRecord(VOKBaseUnknown* iObject, const std::string& iName,
                     const std::vector<double>& iValues) {
  const VOKBaseUnknown* id = Identity(iObject);
  if (!id) return;
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.records[RecordKey(id, iName)] = iValues;
}

void EraseSolverRecord(VOKBaseUnknown* iObject, const std::string& iName) {
  const VOKBaseUnknown* id = Identity(iObject);
  if (!id) return;
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.records.erase(RecordKey(id, iName));
  store.reads.erase(RecordKey(id, iName));
}

void EraseSolverRecords(VOKBaseUnknown* iObject) {
  if (!iObject) return;
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  for (auto it = store.records.begin(); it != store.records.end();)
    it = it->first.first == iObject ? store.records.erase(it) : std::next(it);
  for (auto it = store.reads.begin(); it != store.reads.end();)
    it = it->first.first == iObject ? store.reads.erase(it) : std::next(it);
}

void ClearSolverRecords() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.records.clear();
  store.reads.clear();
}

int SolverRecordCount() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  return static_cast<int>(store.records.size());
}

SolverRecordReads SolverRecordReadCount(VOKBaseUnknown* iObject, const std::string& iName) {
  const VOKBaseUnknown* id = Identity(iObject);
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  auto it = store.reads.find(RecordKey(id, iName));
  return it == store.reads.end() ? SolverRecordReads() : it->second;
}

void ResetSolverRecordReadCounts() {
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  store.reads.clear();
}

}  // namespace VOKHost

// Both services take exactly one further argument: int* for the size,
// double* for the buffer. A null object, record name or pointer is refused.

long VOKTarvoAccessDataServices::ReadDescSizes(VOKBaseUnknown* iObject, const char* iRecord, ...) {
  VOKHost::FaultPoint fp("VOKTarvoAccessDataServices::ReadDescSizes");
  va_list args;
  va_start(args, iRecord);
  int* size = va_arg(args, int*);
  va_end(args);
  if (fp.Fail()) return fp.Result();
  if (!iRecord || !size) return E_FAIL;
  const VOKBaseUnknown* id = Identity(iObject);
  if (!id) return E_FAIL;
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  const RecordKey key(id, iRecord);
  ++store.reads[key].sizes;
  auto it = store.records.find(key);
  *size = it == store.records.end() ? 0 : static_cast<int>(it->second.size());
  return S_OK;
}

long VOKTarvoAccessDataServices::ReadDescData(VOKBaseUnknown* iObject, const char* iRecord, ...) {
  VOKHost::FaultPoint fp("VOKTarvoAccessDataServices::ReadDescData");
  va_list args;
  va_start(args, iRecord);
  double* buffer = va_arg(args, double*);
  va_end(args);
  if (fp.Fail()) return fp.Result();
  if (!iRecord || !buffer) return E_FAIL;
  const VOKBaseUnknown* id = Identity(iObject);
  if (!id) return E_FAIL;
  Store& store = TheStore();
  std::lock_guard<std::mutex> lock(store.mutex);
  const RecordKey key(id, iRecord);
  ++store.reads[key].data;
  auto it = store.records.find(key);
  if (it == store.records.end()) return E_FAIL;  // no such record to read
  const std::vector<double>& values = it->second;
  for (std::size_t p = 0; p < values.size(); ++p) buffer[p] = values[p];
  return S_OK;
}
