// Summation kernels of the excitation evaluation, one per instruction set.
//
// Three loop nests, all giving the same bits:
//
// - Second members beyond the caches, one abscissa (Stream): tiles of
//   degrees of freedom whose running sums wait in an L1 buffer while the
//   members go by eight at a time, each member's slice a contiguous run.
//   Eight long runs keep the memory streaming; the buffer is read and
//   written once per eight members; the runs of the next eight are
//   prefetched while the last stretch of the current ones is summed, so
//   that the stream never stops at a group or tile boundary.
// - One abscissa in the caches (SubTile, G = 1): sub-tiles of K vectors
//   whose running sums live in registers while every member goes by.
// - Several abscissae: register blocks of G abscissae by K vectors, so that
//   each loaded slice of a member feeds 2·G·K products; a block of
//   sub-tiles whose slices of all members fit the second-level cache is
//   swept once per group of abscissae, each sub-tile prefetching the
//   slices of the members a few ahead.
//
// The arithmetic is written with the compiler's vector types: lane by lane a
// product and then an add, in member order, with no contraction into fused
// multiply-add (the whole build says -ffp-contract=off), so a lane computes
// exactly what the scalar loop computes. Degrees of freedom that do not fill
// a sub-tile go through narrower sub-tiles, then narrower vectors, and the
// last one through the scalar loop itself.
#include "VOKDYNExcitationKernels.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace VOKDYNExcitationKernels {
namespace {

#define VOKDYN_INLINE inline __attribute__((always_inline))

template <int W>
struct Vector {
  typedef double type __attribute__((vector_size(W * sizeof(double))));
};

// The straightforward sum of one degree of freedom j, for the last leftover.
template <bool Imag>
VOKDYN_INLINE void ScalarOne(const double* const* iMembers, int iS, const double* iCos,
                             const double* iSin, int iJ, VOKMathComplex& oValue) {
  double re = 0.0;
  double im = 0.0;
  for (int i = 0; i < iS; ++i) {
    const double v = iMembers[i][iJ];
    re += iCos[i] * v;
    if constexpr (Imag) im += iSin[i] * v;
  }
  oValue.re = re;
  oValue.im = im;
}

// Interleaves the real and imaginary sums of W degrees of freedom into W
// complex values: two whole-register stores instead of 2·W lane stores.
template <int W>
VOKDYN_INLINE void StoreComplex(const typename Vector<W>::type& iRe,
                                const typename Vector<W>::type& iIm, VOKMathComplex* oOut) {
  typedef typename Vector<W>::type vec;
  if constexpr (W == 1) {
    oOut[0].re = iRe[0];
    oOut[0].im = iIm[0];
  } else {
    // Constant lane lists: the one shuffle form both GCC and Clang accept.
    vec a, b;
    if constexpr (W == 2) {
      a = __builtin_shufflevector(iRe, iIm, 0, 2);
      b = __builtin_shufflevector(iRe, iIm, 1, 3);
    } else if constexpr (W == 4) {
      a = __builtin_shufflevector(iRe, iIm, 0, 4, 1, 5);
      b = __builtin_shufflevector(iRe, iIm, 2, 6, 3, 7);
    } else {
      static_assert(W == 8, "vectors of 1, 2, 4 or 8 doubles");
      a = __builtin_shufflevector(iRe, iIm, 0, 8, 1, 9, 2, 10, 3, 11);
      b = __builtin_shufflevector(iRe, iIm, 4, 12, 5, 13, 6, 14, 7, 15);
    }
    std::memcpy(reinterpret_cast<double*>(oOut), &a, sizeof a);
    std::memcpy(reinterpret_cast<double*>(oOut) + W, &b, sizeof b);
  }
}

// How many members ahead a sub-tile of several abscissae prefetches its
// slices (about two hundred cycles of products and adds).
constexpr int kMemberAhead = 16;

// Degrees of freedom iJ .. iJ+W*K-1 of G abscissae side by side (their
// coefficients iS apart, their values iN apart): each slice of a second
// member, once loaded, feeds every one of the G running sums. Independent
// accumulators only ever belong to different outputs; each output's sum
// takes its terms in member order.
template <int W, int K, int G, bool Imag, bool Prefetch>
VOKDYN_INLINE void SubTile(const double* const* iMembers, int iS, const double* iCos,
                           const double* iSin, int iJ, long iN, VOKMathComplex* oValues) {
  typedef typename Vector<W>::type vec;
  constexpr int B = W * K;
  vec re[G][K];
  vec im[G][K];
#pragma GCC unroll 16
  for (int g = 0; g < G; ++g)
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) {
      re[g][k] = vec{};
      im[g][k] = vec{};
    }
  for (int i = 0; i < iS; ++i) {
    const double* p = iMembers[i] + iJ;
    if constexpr (Prefetch) {
#pragma GCC unroll 16
      for (int l = 0; l < B; l += 8) __builtin_prefetch(p + B + l, 0, 3);
    } else if (i + kMemberAhead < iS) {
      // The slice kMemberAhead members on: slices of different members are
      // far apart, and no hardware prefetcher follows hundreds of them.
      const double* q = iMembers[i + kMemberAhead] + iJ;
#pragma GCC unroll 16
      for (int l = 0; l < B; l += 8) __builtin_prefetch(q + l, 0, 3);
      __builtin_prefetch(q + B - 1, 0, 3);  // a slice need not start on a line
    }
    vec x[K];
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) std::memcpy(&x[k], p + k * W, sizeof x[k]);
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g) {
      const double c = iCos[g * static_cast<long>(iS) + i];
      const double s = Imag ? iSin[g * static_cast<long>(iS) + i] : 0.0;
#pragma GCC unroll 16
      for (int k = 0; k < K; ++k) {
        re[g][k] = re[g][k] + c * x[k];
        if constexpr (Imag) im[g][k] = im[g][k] + s * x[k];
      }
    }
  }
#pragma GCC unroll 16
  for (int g = 0; g < G; ++g) {
    VOKMathComplex* out = oValues + g * iN + iJ;
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) StoreComplex<W>(re[g][k], Imag ? im[g][k] : vec{}, out + k * W);
  }
}

// Sub-tile iJ of K vectors for every abscissa: groups of G, then one by one
// (with G = 1 the groups are the abscissae one by one, nothing is left).
template <int W, int K, int G, bool Imag>
VOKDYN_INLINE void AllAbscissae(const double* const* iMembers, int iS, int iF, const double* iCos,
                                const double* iSin, int iJ, long iN, VOKMathComplex* oValues) {
  const long s = iS;
  int f = 0;
  for (; f + G <= iF; f += G)
    SubTile<W, K, G, Imag, false>(iMembers, iS, iCos + f * s, Imag ? iSin + f * s : nullptr, iJ,
                                  iN, oValues + f * iN);
  if constexpr (G > 1)
    for (; f < iF; ++f)
      SubTile<W, K, 1, Imag, false>(iMembers, iS, iCos + f * s, Imag ? iSin + f * s : nullptr, iJ,
                                    iN, oValues + f * iN);
}

// Degrees of freedom iJ .. iN-1, fewer than a sub-tile: whole vectors of W
// one by one, then half-width vectors, down to the scalar loop.
template <int W, int G, bool Imag>
VOKDYN_INLINE void Leftovers(const double* const* iMembers, int iS, int iF, const double* iCos,
                             const double* iSin, int iJ, int iN, VOKMathComplex* oValues) {
  const long n = iN;
  int j = iJ;
  if constexpr (W >= 2) {
    for (; j + W <= iN; j += W)
      AllAbscissae<W, 1, G, Imag>(iMembers, iS, iF, iCos, iSin, j, n, oValues);
    Leftovers<W / 2, G, Imag>(iMembers, iS, iF, iCos, iSin, j, iN, oValues);
  } else {
    const long s = iS;
    for (int f = 0; f < iF; ++f)
      for (int jj = j; jj < iN; ++jj)
        ScalarOne<Imag>(iMembers, iS, iCos + f * s, Imag ? iSin + f * s : nullptr, jj,
                        oValues[f * n + jj]);
  }
}

// ---------------------------------------------------------------- streaming

constexpr int kStreamTile = 2048;  // 16 KiB of each member per tile; 32 KiB of sums
// How far ahead each member's run is prefetched, in doubles (2 KiB).
constexpr int kStreamAhead = 256;
constexpr int kStreamGroup = 8;

// One step of G members over one cache line of the tile's sums (doubles
// iJ .. iJ+K*W-1): the sums loaded, the G terms added in member order, the
// sums stored back.
template <int W, int K, int G, bool Imag>
VOKDYN_INLINE void StreamStep(const double* const* iRuns, const double (&iC)[G],
                              const double (&iSn)[G], int iJ, double* ioRe, double* ioIm) {
  typedef typename Vector<W>::type vec;
  vec re[K], im[K];
#pragma GCC unroll 8
  for (int k = 0; k < K; ++k) {
    std::memcpy(&re[k], ioRe + iJ + k * W, sizeof re[k]);
    if constexpr (Imag) std::memcpy(&im[k], ioIm + iJ + k * W, sizeof im[k]);
  }
#pragma GCC unroll 8
  for (int g = 0; g < G; ++g)
#pragma GCC unroll 8
    for (int k = 0; k < K; ++k) {
      vec x;
      std::memcpy(&x, iRuns[g] + iJ + k * W, sizeof x);
      re[k] = re[k] + iC[g] * x;
      if constexpr (Imag) im[k] = im[k] + iSn[g] * x;
    }
#pragma GCC unroll 8
  for (int k = 0; k < K; ++k) {
    std::memcpy(ioRe + iJ + k * W, &re[k], sizeof re[k]);
    if constexpr (Imag) std::memcpy(ioIm + iJ + k * W, &im[k], sizeof im[k]);
  }
}

// G members over one tile: the sums of the tile read from the buffer once,
// the G terms added in member order, the sums written back once. Each
// member's run is prefetched kStreamAhead doubles ahead; near the end of the
// tile the prefetches go to the start of the runs of the next group
// (iNext, iNextCount of them), which are needed right after.
template <int W, int G, bool Imag>
VOKDYN_INLINE void StreamGroup(const double* const* iRuns, const double* iCos, const double* iSin,
                               const double* const* iNext, int iNextCount, double* ioRe,
                               double* ioIm) {
  constexpr int K = W >= 8 ? 1 : 8 / W;  // one cache line of each member per step
  constexpr int L = K * W;
  static_assert(L == 8, "a step covers one cache line of each member");
  double c[G], s[G];
#pragma GCC unroll 8
  for (int g = 0; g < G; ++g) {
    c[g] = iCos[g];
    s[g] = Imag ? iSin[g] : 0.0;
  }
  int j = 0;
  for (; j < kStreamTile - kStreamAhead; j += L) {
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) __builtin_prefetch(iRuns[g] + j + kStreamAhead, 0, 0);
    StreamStep<W, K, G, Imag>(iRuns, c, s, j, ioRe, ioIm);
  }
  for (; j < kStreamTile; j += L) {
    const int ahead = j + kStreamAhead - kStreamTile;
    for (int g = 0; g < iNextCount; ++g) __builtin_prefetch(iNext[g] + ahead, 0, 0);
    StreamStep<W, K, G, Imag>(iRuns, c, s, j, ioRe, ioIm);
  }
}

// The runs (at tile offset iJ0) of members iFirst .. iFirst+iCount-1.
VOKDYN_INLINE void Runs(const double* const* iMembers, int iFirst, int iCount, long iJ0,
                        const double** oRuns) {
  for (int g = 0; g < iCount; ++g) oRuns[g] = iMembers[iFirst + g] + iJ0;
}

// One abscissa over second members too large for the caches. Returns the
// number of degrees of freedom summed (whole tiles); the rest is left to
// the sub-tiles. Per value, the terms come in member order: groups in
// order, each group's members in order.
//
// The sums buffer is taken from the heap, not the stack: with the buffer
// on the stack the same loop reads memory a third slower on the processors
// measured (their speculative forwarding of stack accesses mispredicts
// against the streamed runs). When the buffer cannot be had, nothing is
// summed here and the sub-tiles do it all, with the same bits.
template <int W, bool Imag>
VOKDYN_INLINE int Stream(const double* const* iMembers, int iS, const double* iCos,
                         const double* iSin, int iN, VOKMathComplex* oValues) {
  typedef typename Vector<W>::type vec;
  constexpr int G = kStreamGroup;
  constexpr int kLine = 8;  // doubles per 64-byte line
  std::unique_ptr<double[]> space(new (std::nothrow) double[2 * kStreamTile + kLine]);
  // Only a failed 32 KiB allocation takes this branch; no test can make one.
  if (!space) return 0;  // LCOV_EXCL_BR_LINE
  double* re = space.get();
  // Up to the next line boundary: a whole number of doubles, since the heap
  // gives at least 8-byte alignment.
  const std::uintptr_t lineBytes = kLine * sizeof(double);
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(re);
  re += ((lineBytes - address % lineBytes) % lineBytes) / sizeof(double);
  double* im = re + kStreamTile;
  const int tiles = iN / kStreamTile;
  for (int t = 0; t < tiles; ++t) {
    const long j0 = static_cast<long>(t) * kStreamTile;
    for (int j = 0; j < kStreamTile; ++j) re[j] = im[j] = 0.0;
    int i = 0;
    while (i < iS) {
      // This group: eight members, or the largest power of two left.
      int count = G;
      while (count > iS - i) count /= 2;
      // The group after it, in this tile or at the start of the next one.
      const double* runs[G];
      const double* next[G];
      Runs(iMembers, i, count, j0, runs);
      int nextCount = 0;
      if (i + count < iS) {
        nextCount = iS - i - count < G ? iS - i - count : G;
        Runs(iMembers, i + count, nextCount, j0, next);
      } else if (t + 1 < tiles) {
        nextCount = iS < G ? iS : G;
        Runs(iMembers, 0, nextCount, j0 + kStreamTile, next);
      }
      const double* c = iCos + i;
      const double* s = Imag ? iSin + i : nullptr;
      switch (count) {
        case 8: StreamGroup<W, 8, Imag>(runs, c, s, next, nextCount, re, im); break;
        case 4: StreamGroup<W, 4, Imag>(runs, c, s, next, nextCount, re, im); break;
        case 2: StreamGroup<W, 2, Imag>(runs, c, s, next, nextCount, re, im); break;
        default: StreamGroup<W, 1, Imag>(runs, c, s, next, nextCount, re, im); break;
      }
      i += count;
    }
    VOKMathComplex* out = oValues + j0;
    for (int j = 0; j < kStreamTile; j += W) {
      vec r, m;
      std::memcpy(&r, re + j, sizeof r);
      std::memcpy(&m, im + j, sizeof m);
      StoreComplex<W>(r, Imag ? m : vec{}, out + j);
    }
  }
  return tiles * kStreamTile;
}

// Second members beyond this many bytes in all go through Stream.
constexpr double kStreamBytes = 8.0 * 1024 * 1024;
// The slices of all members over one block of sub-tiles of the batched
// evaluation: at most this many bytes, so that they stay in the second-level
// cache while every group of abscissae sweeps the block.
constexpr long kBlockBytes = 256 * 1024;

// One abscissa: streaming tiles when the members exceed the caches, then
// sub-tiles of K vectors with the next sub-tile's slices prefetched.
// Several: register blocks of G abscissae by KB vectors, over blocks of
// sub-tiles sized to the second-level cache.
template <int W, int K, int KB, int G, bool Imag>
VOKDYN_INLINE void Evaluate(const double* const* iMembers, int iS, int iF, const double* iCos,
                            const double* iSin, int iN, VOKMathComplex* oValues) {
  const long n = iN;
  int j = 0;
  if (iF == 1) {
    if (8.0 * iS * iN > kStreamBytes) j = Stream<W, Imag>(iMembers, iS, iCos, iSin, iN, oValues);
    for (; j + W * K <= iN; j += W * K)
      SubTile<W, K, 1, Imag, true>(iMembers, iS, iCos, iSin, j, n, oValues);
    Leftovers<W, 1, Imag>(iMembers, iS, iF, iCos, iSin, j, iN, oValues);
    return;
  }
  constexpr int B = W * KB;
  const long perSubTile = 8L * B * (iS > 0 ? iS : 1);
  const int blockTiles = perSubTile >= kBlockBytes ? 1 : static_cast<int>(kBlockBytes / perSubTile);
  const int whole = iN - iN % B;
  const long s = iS;
  for (int j0 = 0; j0 < whole; j0 += blockTiles * B) {
    const int end = whole - j0 > blockTiles * B ? j0 + blockTiles * B : whole;
    int f = 0;
    for (; f + G <= iF; f += G)
      for (int jj = j0; jj < end; jj += B)
        SubTile<W, KB, G, Imag, false>(iMembers, iS, iCos + f * s, Imag ? iSin + f * s : nullptr,
                                       jj, n, oValues + f * n);
    for (; f < iF; ++f)
      for (int jj = j0; jj < end; jj += B)
        SubTile<W, KB, 1, Imag, false>(iMembers, iS, iCos + f * s, Imag ? iSin + f * s : nullptr,
                                       jj, n, oValues + f * n);
  }
  Leftovers<W, G, Imag>(iMembers, iS, iF, iCos, iSin, whole, iN, oValues);
}

// One abscissa, four vectors per sub-tile: the running sums take 8 registers
// of the 16 (SSE2, AVX2) or 32 (AVX-512) and a sub-tile spans whole cache
// lines. Several abscissae: two vectors by pairs of abscissae on 16
// registers (8 sums); three vectors by fours on AVX-512's 32 (24 sums), each
// loaded vector feeding eight products and eight adds.
void EvaluateBaseline(const double* const* iMembers, int iS, int iF, const double* iCos,
                      const double* iSin, int iN, VOKMathComplex* oValues) {
  if (iSin)
    Evaluate<2, 4, 2, 2, true>(iMembers, iS, iF, iCos, iSin, iN, oValues);
  else
    Evaluate<2, 4, 2, 2, false>(iMembers, iS, iF, iCos, iSin, iN, oValues);
}

__attribute__((target("avx2"))) void EvaluateAvx2(const double* const* iMembers, int iS, int iF,
                                                  const double* iCos, const double* iSin, int iN,
                                                  VOKMathComplex* oValues) {
  if (iSin)
    Evaluate<4, 4, 2, 2, true>(iMembers, iS, iF, iCos, iSin, iN, oValues);
  else
    Evaluate<4, 4, 2, 2, false>(iMembers, iS, iF, iCos, iSin, iN, oValues);
}

__attribute__((target("avx512f"))) void EvaluateAvx512(const double* const* iMembers, int iS,
                                                       int iF, const double* iCos,
                                                       const double* iSin, int iN,
                                                       VOKMathComplex* oValues) {
  if (iSin)
    Evaluate<8, 4, 3, 4, true>(iMembers, iS, iF, iCos, iSin, iN, oValues);
  else
    Evaluate<8, 4, 3, 4, false>(iMembers, iS, iF, iCos, iSin, iN, oValues);
}

const Variant kVariants[] = {
    {Isa::Baseline, "baseline", 2, &EvaluateBaseline},
    {Isa::Avx2, "avx2", 4, &EvaluateAvx2},
    {Isa::Avx512, "avx512f", 8, &EvaluateAvx512},
};

// The processor's word, checked against what the operating system saves on
// a context switch (the compiler's runtime looks at both).
bool Supported(Isa iIsa) {
  __builtin_cpu_init();
  if (iIsa == Isa::Avx2) return __builtin_cpu_supports("avx2");
  if (iIsa == Isa::Avx512) return __builtin_cpu_supports("avx512f");
  return iIsa == Isa::Baseline;
}

// The table is in order of width: the last variant the processor runs.
const Variant* Widest() {
  const Variant* best = &kVariants[0];
  for (const Variant& v : kVariants)
    if (Supported(v.isa)) best = &v;
  return best;
}

// Chosen once, when the library is loaded: no call pays for the choice.
const Variant* const kSelected = Widest();

}  // namespace

const Variant* VariantFor(Isa iIsa) {
  for (const Variant& v : kVariants)
    if (v.isa == iIsa) return Supported(iIsa) ? &v : nullptr;
  return nullptr;
}

const Variant& Selected() { return *kSelected; }

// The loop nest of the complex accumulations (see the header): tiles of
// degrees of freedom, every source streamed through the tile's sums.
void AccumulateComplex(const double* const* iSources, const Coefficient* iCoefficients, int iCount,
                       int iN, double* __restrict oImag, double* __restrict oReal,
                       VOKMathComplex* ioOut) {
  for (int p0 = 0; p0 < iN; p0 += kAccumulationTile) {
    const int t = iN - p0 < kAccumulationTile ? iN - p0 : kAccumulationTile;
    for (int q = 0; q < t; ++q) {
      oImag[q] = 0.0;
      oReal[q] = 0.0;
    }
    for (int i = 0; i < iCount; ++i) {
      const double* __restrict src = iSources[i] + p0;
      const double cIm = iCoefficients[i].im;
      const double cRe = iCoefficients[i].re;
      for (int q = 0; q < t; ++q) {
        oImag[q] += cIm * src[q];
        oReal[q] += cRe * src[q];
      }
    }
    VOKMathComplex* out = ioOut + p0;
    for (int q = 0; q < t; ++q) {
      out[q].re += oReal[q];
      out[q].im += oImag[q];
    }
  }
}

}  // namespace VOKDYNExcitationKernels
