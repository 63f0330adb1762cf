// Accumulation of six directions into a complex response of N = 10^7
// physical degrees of freedom, against this machine's triad bandwidth
// measured in the same run. Bytes counted per accumulation: 80 N (six source
// arrays read, the caller's complex array read and written).
//
//   BM_AccumTriad          a[i] = b[i] + s * c[i], 24 bytes per element
//   BM_AccumStraightforward one pass per direction over whole-length sums
//   BM_AccumLibrary        the library's own accumulation (the function the
//                          rigid-body and enforced-displacement operations
//                          call), all directions per tile
//
// Each accumulation reports triad_fraction: 80 N bytes over its fastest
// pass, as a fraction of the triad bandwidth of BM_Machine (the fastest of
// several runs too; goal >= 0.90 for the library's).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "VOKDYNExcitationKernels.h"
#include "VOKMath.h"
#include "bench_support.h"

namespace {

const int kN = 10000000;
const int kDirections = 6;

struct Data {
  Data() : sources(static_cast<std::size_t>(kDirections) * kN), out(kN), imag(kN), real(kN) {
    for (std::size_t i = 0; i < sources.size(); ++i) sources[i] = std::sin(1e-3 * static_cast<double>(i));
    for (int d = 0; d < kDirections; ++d) {
      cRe[d] = 0.5 + d;
      cIm[d] = -0.25 * d;
      coefficients[d] = {cRe[d], cIm[d]};
      rows[d] = sources.data() + static_cast<std::size_t>(d) * kN;
    }
  }
  std::vector<double> sources;
  std::vector<VOKMathComplex> out;
  std::vector<double> imag, real;
  double cRe[kDirections], cIm[kDirections];
  VOKDYNExcitationKernels::Coefficient coefficients[kDirections];
  const double* rows[kDirections];
};

Data& Shared() {
  static Data data;
  return data;
}

// Bytes moved by one pass of an accumulation per degree of freedom: six
// directions read (48) and the complex result read and written (32).
void ReportAccumulation(benchmark::State& state, double iBest) {
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(80) * kN);
  state.counters["triad_fraction"] = 80.0 * kN * 1e-9 / iBest / bench::TheMachine().triadGBps;
}

void BM_AccumTriad(benchmark::State& state) {
  std::vector<double> a(kN), b(kN, 1.0), c(kN, 2.0);
  const double s = 1.5;
  for (auto _ : state) {
    double* __restrict pa = a.data();
    const double* __restrict pb = b.data();
    const double* __restrict pc = c.data();
    for (int i = 0; i < kN; ++i) pa[i] = pb[i] + s * pc[i];
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(24) * kN);
}

void BM_AccumStraightforward(benchmark::State& state) {
  Data& d = Shared();
  const double best = bench::FastestPass(state, [&] {
    double* imag = d.imag.data();
    double* real = d.real.data();
    for (int p = 0; p < kN; ++p) imag[p] = real[p] = 0.0;
    for (int i = 0; i < kDirections; ++i) {
      const double* src = d.sources.data() + static_cast<std::size_t>(i) * kN;
      for (int p = 0; p < kN; ++p) {
        imag[p] += d.cIm[i] * src[p];
        real[p] += d.cRe[i] * src[p];
      }
    }
    VOKMathComplex* out = d.out.data();
    for (int p = 0; p < kN; ++p) {
      out[p].re += real[p];
      out[p].im += imag[p];
    }
  });
  ReportAccumulation(state, best);
}

void BM_AccumLibrary(benchmark::State& state) {
  namespace K = VOKDYNExcitationKernels;
  Data& d = Shared();
  double imag[K::kAccumulationTile], real[K::kAccumulationTile];
  const double best = bench::FastestPass(state, [&] {
    K::AccumulateComplex(d.rows, d.coefficients, kDirections, kN, imag, real, d.out.data());
  });
  ReportAccumulation(state, best);
}

}  // namespace

BENCHMARK(BM_AccumTriad)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_AccumStraightforward)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_AccumLibrary)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();
