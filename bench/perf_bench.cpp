// Speed of the evaluation paths against this machine, measured in the same
// run: its read-only memory bandwidth, the multiply-then-add peak (no fused
// multiply-add) of the instruction set the library chose, and the
// straightforward loop of each operation on the same data. Every figure
// that has a goal is a ratio counter, the fastest pass of ours against the
// fastest run of the reference (bench_support.h says why):
//
//   BM_Machine                 read_GBps, triad_GBps, peak_GFLOPs (of `isa`)
//   BM_Single/N/S              speedup_vs_plain (plain-loop time / ours, goal
//                              >= 2 at N >= 10,000), read_bw_fraction (second
//                              members read per second / read bandwidth, goal
//                              >= 0.75 at N = 10^6, S = 200; beyond 64 MB of
//                              members the bandwidth is measured right after)
//   BM_Batched/N/S             per_abscissa_vs_single (goal <= 0.7),
//                              peak_fraction (goal >= 0.70), F = 64
//   BM_DampingValues/M         ns_per_mode (goal <= 5)
//   BM_KernelVariant/isa/N/S/F each instruction-set variant of the kernel
//
// Accumulations (perf_accumulation_bench.cpp) report triad_fraction.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VOKDYNDampingTools.h"
#include "VOKDYNExcitationKernels.h"
#include "VOKDYNExcitationTools.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "bench_support.h"

namespace {

namespace K = VOKDYNExcitationKernels;
using bench::BestSeconds;
using bench::PassTimer;
using bench::TheMachine;
using bench::ThreadSeconds;

void BM_Machine(benchmark::State& state) {
  const bench::Machine& m = TheMachine();
  for (auto _ : state) benchmark::DoNotOptimize(m.readGBps);
  state.counters["read_GBps"] = m.readGBps;
  state.counters["triad_GBps"] = m.triadGBps;
  state.counters["peak_GFLOPs"] = m.peakGflops;
  state.SetLabel(std::string("isa=") + m.isa);
}
BENCHMARK(BM_Machine)->Iterations(1);

// ------------------------------------------------------------ the evaluation

// The loop as stated, one abscissa: clear, then member by member over all
// degrees of freedom.
void StraightLoop(const std::vector<std::unique_ptr<double[]>>& iMembers, const double* iCos,
                  const double* iSin, int iN, VOKMathComplex* oValues) {
  for (int j = 0; j < iN; ++j) oValues[j].re = oValues[j].im = 0.0;
  for (std::size_t i = 0; i < iMembers.size(); ++i) {
    const double c = iCos[i], s = iSin[i];
    const double* v = iMembers[i].get();
    for (int j = 0; j < iN; ++j) {
      oValues[j].re += c * v[j];
      oValues[j].im += s * v[j];
    }
  }
}

// One initialised excitation tools object of N x S (load entries with a
// modulation and a phase each), the same second members for the straight
// loop, and the straight loop's time. One case lives at a time: the largest
// holds 1.6 GB of second members twice.
struct Case {
  int n = 0, s = 0;
  VOKDYNExcitationTools* tools = nullptr;
  VOKHost::ModalBase* base = nullptr;
  VOKHost::Modulation* ramp = nullptr;
  VOKHost::LoadExcitation* excitation = nullptr;
  std::vector<std::unique_ptr<double[]>> members;
  std::vector<double> cosines, sines;
  double straightSeconds = 0.0;
  double singleSeconds = 0.0;  // measured on demand, for the batched ratios
  // (both the fastest of several runs)

  Case(int iN, int iS) : n(iN), s(iS) {
    base = bench::SyntheticBase(n);
    ramp = VOKHost::Modulation::Create("ramp", {{0.0, 1.0}, {100.0, 2.0}, {200.0, 0.5}});
    excitation = VOKHost::LoadExcitation::Create("loads");
    for (int k = 0; k < s; ++k) {
      VOKHost::GeneratedLoad* load = VOKHost::GeneratedLoad::Create(k);
      excitation->AddEntry(load, ramp, 1.0f + 0.01f * static_cast<float>(k), 0.1f * static_cast<float>(k));
      load->Release();
    }
    tools = new VOKDYNExcitationTools;
    VOKListValVOKBaseUnknown_var list;
    list.Append(VOKBaseUnknown_var(static_cast<VOKIDYNExcitation*>(excitation)));
    ExcitationType first = UndefinedExcitationType;
    ok = SUCCEEDED(tools->Initialize(list, base, first, DYNDefaultDomain));
    for (int k = 0; k < s; ++k) {
      members.push_back(bench::Vector(n, k));
      cosines.push_back(std::cos(0.1 * k));
      sines.push_back(std::sin(0.1 * k));
    }
    std::vector<VOKMathComplex> out(static_cast<std::size_t>(n));
    const double work = static_cast<double>(n) * s;
    const int runs = work > 1e8 ? 5 : work > 1e6 ? 9 : 21;
    straightSeconds = BestSeconds(runs, [&] {
      StraightLoop(members, cosines.data(), sines.data(), n, out.data());
      benchmark::ClobberMemory();
    });
  }
  ~Case() {
    tools->Release();
    excitation->Release();
    ramp->Release();
    base->Release();
  }
  double SingleSeconds() {
    if (singleSeconds == 0.0) {
      std::vector<VOKMathComplex> out(static_cast<std::size_t>(n));
      VOKMathComplex* p = out.data();
      double x = 0.0;
      singleSeconds = BestSeconds(21, [&] {
        tools->GetExcitValues(x += 0.5, p);
        benchmark::ClobberMemory();
      });
    }
    return singleSeconds;
  }
  bool ok = false;
};

Case& CaseOf(int iN, int iS) {
  static std::unique_ptr<Case> current;
  if (!current || current->n != iN || current->s != iS) {
    current.reset();
    current.reset(new Case(iN, iS));
  }
  return *current;
}

// The case of the benchmark's (N, S), or null when its tools could not be
// initialised (the benchmark is then marked skipped).
Case* ReadyCase(benchmark::State& state) {
  Case& c = CaseOf(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (!c.ok) {
    state.SkipWithError("Initialize failed");
    return nullptr;
  }
  return &c;
}

void BM_Single(benchmark::State& state) {
  const bench::Machine& machine = TheMachine();
  Case* c = ReadyCase(state);
  if (!c) return;
  const int n = c->n, s = c->s;
  std::vector<VOKMathComplex> values(static_cast<std::size_t>(n));
  VOKMathComplex* out = values.data();
  double abscissa = 0.0;
  const double best = bench::FastestPass(
      state, [&] { c->tools->GetExcitValues(abscissa, out); }, [&] { abscissa += 0.5; });
  const double bytes = 8.0 * n * s;
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<double>(state.iterations()) * bytes));
  state.counters["speedup_vs_plain"] = c->straightSeconds / best;
  // Work that streams from memory is set against the bandwidth of this
  // moment; work in the caches against the figure of the run's start.
  const double readGBps = bytes > 64e6 ? bench::ReadGBpsNow() : machine.readGBps;
  state.counters["read_bw_fraction"] = bytes * 1e-9 / best / readGBps;
}
BENCHMARK(BM_Single)
    ->ArgsProduct({{1000, 10000}, {24, 200}})
    ->Args({100000, 200})
    ->Args({1000000, 200})
    ->Unit(benchmark::kMicrosecond);

void BM_SingleStraightLoop(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), s = static_cast<int>(state.range(1));
  Case& c = CaseOf(n, s);
  std::vector<VOKMathComplex> values(static_cast<std::size_t>(n));
  for (auto _ : state) {
    StraightLoop(c.members, c.cosines.data(), c.sines.data(), n, values.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<double>(state.iterations()) * 8.0 * n * s));
}
BENCHMARK(BM_SingleStraightLoop)->Args({10000, 200})->Unit(benchmark::kMicrosecond);

constexpr int kBatch = 64;

void BM_Batched(benchmark::State& state) {
  const bench::Machine& machine = TheMachine();
  Case* c = ReadyCase(state);
  if (!c) return;
  const int n = c->n, s = c->s;
  const double single = c->SingleSeconds();
  std::vector<double> abscissae(kBatch);
  for (int f = 0; f < kBatch; ++f) abscissae[static_cast<std::size_t>(f)] = 3.0 * f;
  std::vector<VOKMathComplex> values(static_cast<std::size_t>(kBatch) * n);
  const double best = bench::FastestPass(
      state, [&] { c->tools->GetExcitValues(kBatch, abscissae.data(), values.data()); }, [] {});
  const double flops = 4.0 * kBatch * n * s;  // two products and two adds per term
  state.counters["per_abscissa_vs_single"] = best / kBatch / single;
  state.counters["peak_fraction"] = flops * 1e-9 / best / machine.peakGflops;
  state.counters["GFLOPs"] = flops * 1e-9 / best;
}
BENCHMARK(BM_Batched)->ArgsProduct({{1000, 10000}, {24, 200}})->Unit(benchmark::kMicrosecond);

// Each instruction-set variant of the kernel on its own (one abscissa, or F = 64).
void BM_KernelVariant(benchmark::State& state) {
  const K::Variant* variant = K::VariantFor(static_cast<K::Isa>(state.range(0)));
  if (!variant) {
    state.SkipWithError("not supported by this processor");
    return;
  }
  const int n = static_cast<int>(state.range(1)), s = static_cast<int>(state.range(2));
  const int f = static_cast<int>(state.range(3));
  std::vector<std::unique_ptr<double[]>> members;
  std::vector<const double*> table;
  for (int k = 0; k < s; ++k) {
    members.push_back(bench::Vector(n, k));
    table.push_back(members.back().get());
  }
  std::vector<double> cosines(static_cast<std::size_t>(s) * f, 0.75), sines(cosines.size(), -0.5);
  std::vector<VOKMathComplex> out(static_cast<std::size_t>(n) * f);
  for (auto _ : state) {
    variant->evaluate(table.data(), s, f, cosines.data(), sines.data(), n, out.data());
    benchmark::ClobberMemory();
  }
  state.SetLabel(variant->name);
  state.counters["GFLOPs"] =
      benchmark::Counter(4.0 * f * n * s * 1e-9, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_KernelVariant)
    ->ArgsProduct({{0, 1, 2}, {10000}, {200}, {1}})
    ->ArgsProduct({{0, 1, 2}, {1000}, {24, 200}, {64}})
    ->ArgsProduct({{0, 1, 2}, {1000000}, {200}, {1}})
    ->Unit(benchmark::kMicrosecond);

// ------------------------------------------------------------- damping values

// Modal damping per mode on a base of M modes (one node), the definition
// read by a first query outside the timing; each call appends M values to
// an empty list.
void BM_DampingValues(benchmark::State& state) {
  const int modes = static_cast<int>(state.range(0));
  VOKHost::ModalBaseDefinition def;
  def.modalMasses.assign(static_cast<std::size_t>(modes), 2.0);
  def.modalStiffnesses.resize(static_cast<std::size_t>(modes));
  std::vector<double> percents(static_cast<std::size_t>(modes));
  for (int i = 0; i < modes; ++i) {
    def.modalStiffnesses[static_cast<std::size_t>(i)] = 100.0 * (i + 1) * (i + 1);
    percents[static_cast<std::size_t>(i)] = 1.0 + 0.001 * i;
  }
  def.nodes.resize(1);
  def.nodes[0].id = 1;
  def.shapes.assign(static_cast<std::size_t>(modes), std::vector<double>(6, 0.5));
  VOKHost::ModalBase* base = VOKHost::ModalBase::Create(def);
  VOKHost::Feature* feature = nullptr;
  {
    VOKHost::DampingFeatureBuilder builder;
    builder.ModalPerMode(percents).LinkBase(static_cast<VOKIDYNBaseTools*>(base));
    feature = builder.Build();
  }
  {
    VOKDYNDampingTools damping(static_cast<VOKISpecObject*>(feature));
    VOKRawColldouble first;
    if (FAILED(damping.GetDampingValues(first)) || first.Size() != modes) {
      state.SkipWithError("no damping values");
    } else {
      const double start = ThreadSeconds();
      for (auto _ : state) {
        VOKRawColldouble values;
        damping.GetDampingValues(values);
        benchmark::DoNotOptimize(values);
      }
      const double perCall = (ThreadSeconds() - start) / static_cast<double>(state.iterations());
      state.counters["ns_per_mode"] = perCall * 1e9 / modes;
    }
  }
  feature->Release();
  base->Release();
}
BENCHMARK(BM_DampingValues)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
