#ifndef VOKDYN_BENCH_SUPPORT_H
#define VOKDYN_BENCH_SUPPORT_H
// Shared by the benchmark programs: processor-time clocks, this machine's
// reference figures (measured once per process), and base tools that build
// their load vectors directly, so that models of a million modes by two
// hundred loads are cheap to set up.
//
// Every ratio compares the fastest of several runs of our code with the
// fastest of several runs of the reference (memory stream, arithmetic
// kernel, plain loop): the machine is shared (two cores, other builds), and
// a run interrupted by another process measures that process, not ours.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <vector>

#include "VOKDYNInterfaces.h"
#include "VOKHostDynamics.h"

namespace bench {

/// Processor time of the calling thread, in seconds: time spent
/// descheduled is nobody's speed.
double ThreadSeconds();

/// Fastest of iRuns runs of iRun, in processor seconds.
template <class F>
double BestSeconds(int iRuns, F&& iRun) {
  double best = std::numeric_limits<double>::infinity();
  for (int r = 0; r < iRuns; ++r) {
    const double start = ThreadSeconds();
    iRun();
    best = std::min(best, ThreadSeconds() - start);
  }
  return best;
}

/// Times each pass of a Google Benchmark loop and keeps the fastest.
class PassTimer {
 public:
  void Start() { _Start = ThreadSeconds(); }
  void Stop() { _Best = std::min(_Best, ThreadSeconds() - _Start); }
  double Best() const { return _Best; }

 private:
  double _Start = 0.0;
  double _Best = std::numeric_limits<double>::infinity();
};

/// Runs iPass once per iteration of the benchmark loop, each pass timed on
/// its own (iBetween runs after each pass, outside the timing); the fastest
/// pass, in processor seconds.
template <class Pass, class Between>
double FastestPass(benchmark::State& state, Pass&& iPass, Between&& iBetween) {
  PassTimer timer;
  for (auto _ : state) {
    timer.Start();
    iPass();
    benchmark::ClobberMemory();
    timer.Stop();
    iBetween();
  }
  return timer.Best();
}

/// The same, with nothing between the passes.
template <class Pass>
double FastestPass(benchmark::State& state, Pass&& iPass) {
  return FastestPass(state, iPass, [] {});
}

struct Machine {
  double readGBps;    // one sequential read stream, from memory
  double triadGBps;   // a[i] = b[i] + q c[i], 24 bytes per element
  double peakGflops;  // multiply-then-add, no fused multiply-add, of `isa`
  const char* isa;    // the instruction set the library chose
};

/// Measured on first use, the fastest of several runs of each kernel.
const Machine& TheMachine();

/// The read bandwidth measured again now (fastest of iRuns streams over
/// 256 MiB), for ratios of work that streams from memory: the other
/// programs on a shared machine take a varying share of the memory bus,
/// and a figure from the start of the run would credit or blame ours.
double ReadGBpsNow(int iRuns = 5);

/// A stand-in modal base of iN modes and no node, masses and stiffnesses 1
/// (one reference, released by the caller): the load vector of
/// VOKHost::GeneratedLoad k on it is Vector(iN, k).
VOKHost::ModalBase* SyntheticBase(int iN);

/// Load vector iK over iN modes, as VOKHost::GeneratedLoad(iK) gives it.
std::unique_ptr<double[]> Vector(int iN, int iK);

}  // namespace bench

#endif
