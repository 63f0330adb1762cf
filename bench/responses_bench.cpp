// Throughput of the complex single-frequency contributions: the rigid-body
// modes of six restrained directions, and the static displacements of six
// enforced-displacement load sets, added into a complex response of N
// physical degrees of freedom.
//
// Bytes processed per call: the mode or displacement data the library sums
// (6 x N doubles) plus the caller's complex array it updates (N complex
// values), both counted once.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "VOKDYNExcitationTools.h"
#include "VOKHostComponent.h"
#include "VOKHostDynamics.h"
#include "VOKHostResponses.h"

namespace {

// Every call receives a new mode array and allocates its work arrays; left to
// the allocator's defaults, blocks this large are mapped afresh at each call
// and the page faults of the first touch would outweigh the library's loop.
// Keeping them on the heap measures the loop.
const bool kHeapKept = [] {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  return true;
}();

// A provider that hands out a copy of precomputed rigid modes: the copy is
// what any provider must give, nothing more is measured on its side.
class CopyProvider : public VOKHost::Component, public VOKIDYNRigidModeProvider {
 public:
  explicit CopyProvider(int iN) : _N(iN), _Modes(static_cast<std::size_t>(6) * iN) {
    for (std::size_t i = 0; i < _Modes.size(); ++i) _Modes[i] = std::sin(0.001 * static_cast<double>(i));
  }
  long ComputeRigidModes(const VOKMathAxis&, int& oN, double*& oModes) override {
    oN = _N;
    oModes = new double[_Modes.size()];
    std::memcpy(oModes, _Modes.data(), _Modes.size() * sizeof(double));
    return S_OK;
  }
  long ComputeNodeRigidModes(int, const VOKMathAxis&, int& oSize, double*& oModes) override {
    oSize = 0;
    oModes = nullptr;
    return E_NOTIMPL;
  }

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNRigidModeProvider) return static_cast<VOKIDYNRigidModeProvider*>(this);
    return Component::Answer(iIID);
  }

 private:
  int _N;
  std::vector<double> _Modes;
};

class ProviderTools : public VOKHost::Component, public VOKIDYNBaseTools {
 public:
  explicit ProviderTools(VOKIDYNRigidModeProvider* iProvider) : _Provider(iProvider) { _Provider->AddRef(); }
  ~ProviderTools() override { _Provider->Release(); }
  long GetRigidModeProvider(VOKIDYNRigidModeProvider*& oProvider) override {
    oProvider = _Provider;
    _Provider->AddRef();
    return S_OK;
  }
  long GetNbDof(int&) override { return E_NOTIMPL; }
  long IsDampingDiagonal(int&) override { return E_NOTIMPL; }
  long GetModalStiffnesses(double*&) override { return E_NOTIMPL; }
  long GetModalMasses(double*&) override { return E_NOTIMPL; }
  long ComputeLoadVectors(VOKListValVOKISpecObject_var&, double**&) override { return E_NOTIMPL; }
  long ComputeRigidVectorsOnAxis(const VOKMathAxis&, double**&) override { return E_NOTIMPL; }
  long ComputeRigidVectors(double**&) override { return E_NOTIMPL; }
  long CheckRotationAxis(VOKRawCollint&, int&, VOKMathAxis&) override { return E_NOTIMPL; }

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNBaseTools) return static_cast<VOKIDYNBaseTools*>(this);
    return Component::Answer(iIID);
  }

 private:
  VOKIDYNRigidModeProvider* _Provider;
};

VOKDYNExcitationTools* ToolsFor(VOKBaseUnknown* iExcitation, VOKIDYNBaseTools* iBase) {
  auto* tools = new VOKDYNExcitationTools;
  VOKListValVOKBaseUnknown_var list;
  list.Append(VOKBaseUnknown_var(iExcitation));
  ExcitationType first = UndefinedExcitationType;
  if (FAILED(tools->InitializeForResult(list, iBase, first))) {
    tools->Release();
    return nullptr;
  }
  return tools;
}

void BM_RigidComplex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto* provider = new CopyProvider(n);
  auto* base = new ProviderTools(provider);
  VOKHost::RestraintExcitation* restraint = VOKHost::RestraintExcitation::Create("support motion");
  VOKHost::Modulation* modulation = VOKHost::Modulation::Constant("constant", 1.0);
  for (int d = 1; d <= 6; ++d) restraint->AddDirection(d, 0.5f * static_cast<float>(d), 0.25f * static_cast<float>(d), modulation);
  VOKDYNExcitationTools* tools = ToolsFor(restraint, base);
  std::vector<VOKMathComplex> out(static_cast<std::size_t>(n));
  VOKMathComplex* values = out.data();
  // One call before timing: the heap grows to its working size once.
  if (tools) tools->AddRigidExcit(12.5, n, values);
  for (auto _ : state) {
    if (!tools || FAILED(tools->AddRigidExcit(12.5, n, values))) {
      state.SkipWithError("AddRigidExcit failed");
      break;
    }
    benchmark::DoNotOptimize(values);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * (static_cast<int64_t>(6) * n * 8 + static_cast<int64_t>(n) * 16));
  if (tools) tools->Release();
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{modulation, restraint, base, provider}) c->Release();
}

void BM_EnforcedComplex(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto* provider = new CopyProvider(1);
  auto* base = new ProviderTools(provider);
  VOKHost::LoadExcitation* loads = VOKHost::LoadExcitation::Create("enforced motion");
  VOKHost::Modulation* modulation = VOKHost::Modulation::Constant("constant", 1.0);
  std::vector<VOKHost::EnforcedLoadSet*> sets;
  for (int j = 1; j <= 6; ++j) {
    std::vector<double> field(static_cast<std::size_t>(n));
    for (int p = 0; p < n; ++p) field[static_cast<std::size_t>(p)] = std::cos(0.001 * p + j);
    sets.push_back(VOKHost::EnforcedLoadSet::Create("set", {j}, field));
    loads->AddEntry(sets.back(), modulation, 0.5f * static_cast<float>(j), 0.25f * static_cast<float>(j));
  }
  VOKDYNExcitationTools* tools = ToolsFor(loads, base);
  std::vector<VOKMathComplex> out(static_cast<std::size_t>(n));
  VOKMathComplex* values = out.data();
  if (tools) tools->AddEnforcedDispExcit(12.5, n, values);
  for (auto _ : state) {
    if (!tools || FAILED(tools->AddEnforcedDispExcit(12.5, n, values))) {
      state.SkipWithError("AddEnforcedDispExcit failed");
      break;
    }
    benchmark::DoNotOptimize(values);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * (static_cast<int64_t>(6) * n * 8 + static_cast<int64_t>(n) * 16));
  if (tools) tools->Release();
  for (VOKHost::EnforcedLoadSet* set : sets) set->Release();
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{modulation, loads, base, provider}) c->Release();
}

}  // namespace

BENCHMARK(BM_RigidComplex)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_EnforcedComplex)->Arg(1000000)->Arg(10000000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
