// This machine's reference figures and the synthetic base tools shared by
// the benchmark programs.
#include "bench_support.h"

#include <cstring>
#include <ctime>

#include "VOKDYNExcitationKernels.h"

namespace bench {

namespace K = VOKDYNExcitationKernels;

double ThreadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

namespace {

#define BENCH_INLINE inline __attribute__((always_inline))

template <int W>
struct Vec {
  typedef double type __attribute__((vector_size(W * sizeof(double))));
};

// Sum of a large array (a multiple of 16 doubles) with eight independent
// vector sums (a single running sum would be bound by the add latency, not
// by memory).
double ReadSum(const double* iData, std::size_t iCount) {
  typedef Vec<2>::type vec;
  vec acc[8] = {};
  for (std::size_t j = 0; j + 16 <= iCount; j += 16)
    for (int k = 0; k < 8; ++k) {
      vec x;
      std::memcpy(&x, iData + j + 2 * k, sizeof x);
      acc[k] = acc[k] + x;
    }
  double sum = 0.0;
  for (int k = 0; k < 8; ++k) sum += acc[k][0] + acc[k][1];
  return sum;
}

void Triad(double* oA, const double* iB, const double* iC, double iQ, std::size_t iCount) {
  for (std::size_t j = 0; j < iCount; ++j) oA[j] = iB[j] + iQ * iC[j];
}

// Ten independent chains acc += c * x, a product and then an add per lane,
// x renewed through an empty asm so that no product is hoisted or shared.
// Nothing is loaded: this is the arithmetic alone.
template <int W>
BENCH_INLINE double PeakBody(long iIterations) {
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
  const double seconds = BestSeconds(7, [&] {
    switch (iVariant.isa) {
      case K::Isa::Avx512: sink += PeakAvx512(iterations); break;
      case K::Isa::Avx2: sink += PeakAvx2(iterations); break;
      default: sink += PeakBaseline(iterations); break;
    }
  });
  benchmark::DoNotOptimize(sink);
  return kPeakFlopsPerIteration * iVariant.width * static_cast<double>(iterations) / seconds * 1e-9;
}

// The array the read bandwidth is measured on: 256 MiB, far beyond any cache.
const std::size_t kReadCount = std::size_t(1) << 25;
const double* ReadArray() {
  static const std::unique_ptr<double[]> a = [] {
    std::unique_ptr<double[]> p(new double[kReadCount]);
    for (std::size_t j = 0; j < kReadCount; ++j) p[j] = 1.0 / static_cast<double>(j + 1);
    return p;
  }();
  return a.get();
}

}  // namespace

double ReadGBpsNow(int iRuns) {
  const double* a = ReadArray();
  double sink = 0.0;
  const double t = BestSeconds(iRuns, [&] { sink += ReadSum(a, kReadCount); });
  benchmark::DoNotOptimize(sink);
  return 8.0 * kReadCount / t * 1e-9;
}

const Machine& TheMachine() {
  static const Machine machine = [] {
    Machine m{};
    m.readGBps = ReadGBpsNow(9);
    const std::size_t third = kReadCount / 3;
    std::unique_ptr<double[]> a(new double[third]), b(new double[third]), c(new double[third]);
    for (std::size_t j = 0; j < third; ++j) a[j] = b[j] = c[j] = 0.5 * ReadArray()[j];
    // STREAM's count: two arrays read and one written, 24 bytes per element.
    const double t = BestSeconds(9, [&] {
      Triad(a.get(), b.get(), c.get(), 3.0, third);
      benchmark::ClobberMemory();
    });
    m.triadGBps = 24.0 * third / t * 1e-9;
    m.peakGflops = PeakGflops(K::Selected());
    m.isa = K::Selected().name;
    return m;
  }();
  return machine;
}

// ------------------------------------------------------- synthetic base

VOKHost::ModalBase* SyntheticBase(int iN) {
  VOKHost::ModalBaseDefinition def;
  def.modalMasses.assign(static_cast<std::size_t>(iN), 1.0);
  def.modalStiffnesses.assign(static_cast<std::size_t>(iN), 1.0);
  def.shapes.assign(static_cast<std::size_t>(iN), std::vector<double>());
  return VOKHost::ModalBase::Create(def);
}

std::unique_ptr<double[]> Vector(int iN, int iK) {
  std::unique_ptr<double[]> v(new double[static_cast<std::size_t>(iN)]);
  for (int j = 0; j < iN; ++j) v[j] = VOKHost::GeneratedLoad::Value(j, iK);
  return v;
}

}  // namespace bench
