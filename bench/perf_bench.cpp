// Speed of the evaluation paths against this machine, measured in the same
// run: its read-only and triad memory bandwidth, the multiply-then-add peak
// (no fused multiply-add) of the instruction set the library chose, and the
// straightforward loop of each operation on the same data. Every figure that
// has a goal is a ratio counter:
//
//   BM_Machine                 read_GBps, triad_GBps, peak_GFLOPs (of `isa`)
//   BM_Single/N/S              x_straight (straight-loop time / ours, goal >= 2
//                              at N >= 10,000), of_read_bw (second members
//                              read per second / read bandwidth, goal >= 0.75
//                              at N = 10^6, S = 200)
//   BM_Batched/N/S             per_abscissa_vs_single (goal <= 0.7), of_peak
//                              (goal >= 0.70), F = 64
//   BM_DampingValues/M         ns_per_mode (goal <= 5)
//   BM_KernelVariant/isa/N/S   each instruction-set variant of the kernel
//
// Run with --benchmark_repetitions=3 and read the medians: two cores, and
// other builds may share them. The machine figures are themselves medians of
// several runs taken once per process.
//
// Accumulations (the complex single-frequency rigid-body and
// enforced-displacement contributions, N = 10^7 physical degrees of
// freedom) belong here too: report them with ReportOfTriad(state, 80.0 * N),
// which divides the bytes moved per second by the triad bandwidth.
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

namespace {

namespace K = VOKDYNExcitationKernels;

// Processor time of this thread: the machine is shared (two cores, other
// builds), and time spent descheduled is nobody's speed. Google Benchmark's
// own figures are processor time too.
double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

#define PERF_INLINE inline __attribute__((always_inline))

template <class F>
double MedianSeconds(int iRuns, F&& iRun) {
  std::vector<double> t;
  for (int r = 0; r < iRuns; ++r) {
    const double start = ThreadSeconds();
    iRun();
    t.push_back(ThreadSeconds() - start);
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

// ------------------------------------------------------------- the machine

template <int W>
struct Vec {
  typedef double type __attribute__((vector_size(W * sizeof(double))));
};

// Sum of a large array (a multiple of 16 doubles) with eight independent vector sums (a single running
// sum would be bound by the add latency, not by memory).
double ReadSum(const double* iData, std::size_t iCount) {
  typedef Vec<2>::type vec;
  vec acc[8] = {};
  std::size_t j = 0;
  for (; j + 16 <= iCount; j += 16)
    for (int k = 0; k < 8; ++k) {
      vec x;
      std::memcpy(&x, iData + j + 2 * k, sizeof x);
      acc[k] = acc[k] + x;
    }
  double sum = 0.0;
  for (int k = 0; k < 8; ++k) sum += acc[k][0] + acc[k][1];
  return sum;  // iCount is a multiple of 16
}

void Triad(double* oA, const double* iB, const double* iC, double iQ, std::size_t iCount) {
  for (std::size_t j = 0; j < iCount; ++j) oA[j] = iB[j] + iQ * iC[j];
}

// Ten independent chains acc += c * x, a product and then an add per lane,
// x renewed through an empty asm so that no product is hoisted or shared.
template <int W>
PERF_INLINE double PeakBody(long iIterations) {
  typedef typename Vec<W>::type vec;
  constexpr int C = 10;
  vec acc[C];
  for (int k = 0; k < C; ++k) acc[k] = vec{};
  vec x = vec{} + 1.0;
  volatile double cv = 1e-9;
  const double c = cv;
  for (long t = 0; t < iIterations; ++t)
#pragma GCC unroll 16
    for (int k = 0; k < C; ++k) {
      asm("" : "+x"(x));
      acc[k] = acc[k] + c * x;
    }
  double sum = 0.0;
  for (int k = 0; k < C; ++k)
    for (int w = 0; w < W; ++w) sum += acc[k][w];
  return sum;
}
constexpr double kPeakFlopsPerIteration = 10 * 2;  // times the width

double PeakBaseline(long iIterations) { return PeakBody<2>(iIterations); }
__attribute__((target("avx2"))) double PeakAvx2(long iIterations) { return PeakBody<4>(iIterations); }
__attribute__((target("avx512f"))) double PeakAvx512(long iIterations) {
  return PeakBody<8>(iIterations);
}

double PeakGflops(const K::Variant& iVariant) {
  const long iterations = 20'000'000;
  double sink = 0.0;
  const double seconds = MedianSeconds(5, [&] {
    switch (iVariant.isa) {
      case K::Isa::Avx512: sink += PeakAvx512(iterations); break;
      case K::Isa::Avx2: sink += PeakAvx2(iterations); break;
      default: sink += PeakBaseline(iterations); break;
    }
  });
  benchmark::DoNotOptimize(sink);
  return kPeakFlopsPerIteration * iVariant.width * static_cast<double>(iterations) / seconds * 1e-9;
}

struct Machine {
  double readGBps;
  double triadGBps;
  double peakGflops;  // of the selected variant
};

const Machine& TheMachine() {
  static const Machine machine = [] {
    Machine m{};
    const std::size_t count = std::size_t(1) << 25;  // 256 MiB, far beyond any cache
    std::unique_ptr<double[]> a(new double[count]);
    for (std::size_t j = 0; j < count; ++j) a[j] = 1.0 / static_cast<double>(j + 1);
    double sink = 0.0;
    double t = MedianSeconds(7, [&] { sink += ReadSum(a.get(), count); });
    m.readGBps = 8.0 * count / t * 1e-9;
    const std::size_t third = count / 3;
    std::unique_ptr<double[]> b(new double[third]), c(new double[third]);
    for (std::size_t j = 0; j < third; ++j) b[j] = c[j] = 0.5 * a[j];
    // STREAM's count: two arrays read and one written, 24 bytes per element.
    t = MedianSeconds(7, [&] {
      Triad(a.get(), b.get(), c.get(), 3.0, third);
      benchmark::ClobberMemory();
    });
    m.triadGBps = 24.0 * third / t * 1e-9;
    benchmark::DoNotOptimize(sink);
    m.peakGflops = PeakGflops(K::Selected());
    return m;
  }();
  return machine;
}

/// Bytes moved per second as a fraction of the triad bandwidth: for the
/// streaming accumulations.
[[maybe_unused]] void ReportOfTriad(benchmark::State& state, double iBytesPerIteration) {
  state.counters["of_triad_bw"] = benchmark::Counter(
      iBytesPerIteration * 1e-9 / TheMachine().triadGBps, benchmark::Counter::kIsIterationInvariantRate);
  // (a rate over Google Benchmark's processor time, like ThreadSeconds)
}

void BM_Machine(benchmark::State& state) {
  const Machine& m = TheMachine();
  for (auto _ : state) benchmark::DoNotOptimize(m.readGBps);
  state.counters["read_GBps"] = m.readGBps;
  state.counters["triad_GBps"] = m.triadGBps;
  state.counters["peak_GFLOPs"] = m.peakGflops;
  state.SetLabel(std::string("isa=") + K::Selected().name);
}
BENCHMARK(BM_Machine)->Iterations(1);

// ------------------------------------------------------------ the evaluation

// Base tools that build their load vectors directly (no mesh behind them).
class SyntheticBaseTools : public VOKHost::Component, public VOKIDYNBaseTools {
 public:
  explicit SyntheticBaseTools(int iN) : _N(iN) {}
  long GetNbDof(int& oN) override {
    oN = _N;
    return S_OK;
  }
  long GetRigidModeProvider(VOKIDYNRigidModeProvider*& oProvider) override {
    oProvider = nullptr;
    return E_NOTIMPL;
  }
  long IsDampingDiagonal(int& oDiagonal) override {
    oDiagonal = 1;
    return S_OK;
  }
  long GetModalStiffnesses(double*& oValues) override {
    oValues = nullptr;
    return E_NOTIMPL;
  }
  long GetModalMasses(double*& oValues) override {
    oValues = nullptr;
    return E_NOTIMPL;
  }
  long ComputeLoadVectors(VOKListValVOKISpecObject_var& iLoads, double**& oVectors) override {
    oVectors = new double*[static_cast<std::size_t>(iLoads.Size())];
    for (int k = 0; k < iLoads.Size(); ++k) oVectors[k] = Vector(_N, k).release();
    return S_OK;
  }
  long ComputeRigidVectorsOnAxis(const VOKMathAxis&, double**& oVectors) override {
    oVectors = nullptr;
    return E_NOTIMPL;
  }
  long ComputeRigidVectors(double**& oVectors) override {
    oVectors = nullptr;
    return E_NOTIMPL;
  }
  long CheckRotationAxis(VOKRawCollint&, int&, VOKMathAxis&) override { return S_OK; }

  static std::unique_ptr<double[]> Vector(int iN, int iK) {
    std::unique_ptr<double[]> v(new double[static_cast<std::size_t>(iN)]);
    for (int j = 0; j < iN; ++j) v[j] = 1.0 / (1.0 + j + 7.0 * iK);
    return v;
  }

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNBaseTools) return static_cast<VOKIDYNBaseTools*>(this);
    return Component::Answer(iIID);
  }

 private:
  int _N;
};

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
  SyntheticBaseTools* base = nullptr;
  VOKHost::NodalLoad* load = nullptr;
  VOKHost::Modulation* ramp = nullptr;
  VOKHost::LoadExcitation* excitation = nullptr;
  std::vector<std::unique_ptr<double[]>> members;
  std::vector<double> cosines, sines;
  double straightSeconds = 0.0;
  double singleSeconds = 0.0;  // measured on demand, for the batched ratios

  Case(int iN, int iS) : n(iN), s(iS) {
    base = new SyntheticBaseTools(n);
    load = VOKHost::NodalLoad::Create("load");
    ramp = VOKHost::Modulation::Create("ramp", {{0.0, 1.0}, {100.0, 2.0}, {200.0, 0.5}});
    excitation = VOKHost::LoadExcitation::Create("loads");
    for (int k = 0; k < s; ++k) excitation->AddEntry(load, ramp, 1.0f + 0.01f * k, 0.1f * k);
    tools = new VOKDYNExcitationTools;
    VOKListValVOKBaseUnknown_var list;
    list.Append(VOKBaseUnknown_var(static_cast<VOKIDYNExcitation*>(excitation)));
    ExcitationType first = UndefinedExcitationType;
    ok = SUCCEEDED(tools->Initialize(list, base, first, DYNDefaultDomain));
    for (int k = 0; k < s; ++k) {
      members.push_back(SyntheticBaseTools::Vector(n, k));
      cosines.push_back(std::cos(0.1 * k));
      sines.push_back(std::sin(0.1 * k));
    }
    std::vector<VOKMathComplex> out(static_cast<std::size_t>(n));
    const double work = static_cast<double>(n) * s;
    const int runs = work > 1e8 ? 3 : work > 1e6 ? 7 : 21;
    straightSeconds = MedianSeconds(runs, [&] {
      StraightLoop(members, cosines.data(), sines.data(), n, out.data());
      benchmark::ClobberMemory();
    });
  }
  ~Case() {
    tools->Release();
    excitation->Release();
    ramp->Release();
    load->Release();
    base->Release();
  }
  double SingleSeconds() {
    if (singleSeconds == 0.0) {
      std::vector<VOKMathComplex> out(static_cast<std::size_t>(n));
      VOKMathComplex* p = out.data();
      double x = 0.0;
      singleSeconds = MedianSeconds(21, [&] {
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

void BM_Single(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), s = static_cast<int>(state.range(1));
  const Machine& machine = TheMachine();
  Case& c = CaseOf(n, s);
  if (!c.ok) {
    state.SkipWithError("Initialize failed");
    return;
  }
  std::vector<VOKMathComplex> values(static_cast<std::size_t>(n));
  VOKMathComplex* out = values.data();
  double abscissa = 0.0;
  const double start = ThreadSeconds();
  for (auto _ : state) {
    c.tools->GetExcitValues(abscissa, out);
    benchmark::ClobberMemory();
    abscissa += 0.5;
  }
  const double perCall = (ThreadSeconds() - start) / static_cast<double>(state.iterations());
  const double bytes = 8.0 * n * s;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["x_straight"] = c.straightSeconds / perCall;
  state.counters["of_read_bw"] = bytes * 1e-9 / perCall / machine.readGBps;
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
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 8.0 * n * s));
}
BENCHMARK(BM_SingleStraightLoop)->Args({10000, 200})->Unit(benchmark::kMicrosecond);

constexpr int kBatch = 64;

void BM_Batched(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0)), s = static_cast<int>(state.range(1));
  const Machine& machine = TheMachine();
  Case& c = CaseOf(n, s);
  if (!c.ok) {
    state.SkipWithError("Initialize failed");
    return;
  }
  const double single = c.SingleSeconds();
  std::vector<double> abscissae(kBatch);
  for (int f = 0; f < kBatch; ++f) abscissae[static_cast<std::size_t>(f)] = 3.0 * f;
  std::vector<VOKMathComplex> values(static_cast<std::size_t>(kBatch) * n);
  const double start = ThreadSeconds();
  for (auto _ : state) {
    c.tools->GetExcitValues(kBatch, abscissae.data(), values.data());
    benchmark::ClobberMemory();
  }
  const double perCall = (ThreadSeconds() - start) / static_cast<double>(state.iterations());
  const double flops = 4.0 * kBatch * n * s;  // two products and two adds per term
  state.counters["per_abscissa_vs_single"] = perCall / kBatch / single;
  state.counters["of_peak"] = flops * 1e-9 / perCall / machine.peakGflops;
  state.counters["GFLOPs"] = flops * 1e-9 / perCall;
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
    members.push_back(SyntheticBaseTools::Vector(n, k));
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
