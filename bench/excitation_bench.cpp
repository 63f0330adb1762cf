// Evaluation of the excitation at one abscissa: N modal degrees of freedom,
// S second members. Bytes processed = the second members read per call
// (S x N doubles), the dominant traffic of the sum.
#include <benchmark/benchmark.h>

#include <vector>

#include "VOKDYNExcitationTools.h"
#include "VOKHostDynamics.h"
#include "bench_support.h"

namespace {


void BM_GetExcitValues(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int s = static_cast<int>(state.range(1));
  VOKHost::ModalBase* tools = bench::SyntheticBase(n);
  VOKHost::Modulation* ramp = VOKHost::Modulation::Create("ramp", {{0.0, 1.0}, {100.0, 2.0}, {200.0, 0.5}});
  VOKHost::LoadExcitation* excitation = VOKHost::LoadExcitation::Create("loads");
  for (int k = 0; k < s; ++k) {
    VOKHost::GeneratedLoad* load = VOKHost::GeneratedLoad::Create(k);
    excitation->AddEntry(load, ramp, 1.0f + 0.01f * static_cast<float>(k), 0.1f * static_cast<float>(k));
    load->Release();
  }

  VOKDYNExcitationTools* excit = new VOKDYNExcitationTools;
  VOKListValVOKBaseUnknown_var list;
  list.Append(VOKBaseUnknown_var(static_cast<VOKIDYNExcitation*>(excitation)));
  ExcitationType first = UndefinedExcitationType;
  if (FAILED(excit->Initialize(list, tools, first, DYNDefaultDomain))) state.SkipWithError("Initialize failed");

  std::vector<VOKMathComplex> values(static_cast<std::size_t>(n));
  VOKMathComplex* out = values.data();
  double abscissa = 0.0;
  for (auto _ : state) {
    excit->GetExcitValues(abscissa, out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
    abscissa += 0.5;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(s) * n * static_cast<int64_t>(sizeof(double)));
  state.counters["N"] = n;
  state.counters["S"] = s;

  excit->Release();
  excitation->Release();
  ramp->Release();
  tools->Release();
}

BENCHMARK(BM_GetExcitValues)->ArgsProduct({{100, 1000, 10000}, {6, 30, 200}});

}  // namespace
