// Summation kernels of the excitation evaluation, one per instruction set.
//
// The loop nest: degrees of freedom in sub-tiles of K vectors of W doubles;
// for a sub-tile, the running complex sums of every abscissa live in
// registers while the second members go by in their order, so the sums are
// never stored and reloaded, and the sub-tile's slice of every second member
// is read from memory once for all abscissae (it is still in the first-level
// cache when the next abscissae read it). A single evaluation prefetches the
// slice of the next sub-tile: with many second members, far more streams run
// side by side than the hardware prefetchers follow.
//
// The arithmetic is written with the compiler's vector types: lane by lane a
// product and then an add, in the stated order, with no contraction into
// fused multiply-add (the whole build says -ffp-contract=off), so a lane
// computes exactly what the scalar loop computes. The leftover degrees of
// freedom that do not fill a sub-tile go through the scalar loop itself.
#include "VOKDYNExcitationKernels.h"

#include <cstring>

namespace VOKDYNExcitationKernels {
namespace {

#define VOKDYN_INLINE inline __attribute__((always_inline))

template <int W>
struct Vector {
  typedef double type __attribute__((vector_size(W * sizeof(double))));
};

// The straightforward sum of one degree of freedom j, for the leftovers.
template <bool Imag>
VOKDYN_INLINE void ScalarOne(const double* const* iMembers, int iS, const double* iCos,
                             const double* iSin, int iJ, VOKMathComplex& oValue) {
  double re = 0.0;
  double im = 0.0;
  for (int i = 0; i < iS; ++i) {
    const double v = iMembers[i][iJ];
    re += iCos[i] * v;
    if (Imag) im += iSin[i] * v;
  }
  oValue.re = re;
  oValue.im = im;
}

// Degrees of freedom iJ .. iJ+W*K-1 of G abscissae side by side (their
// coefficients iS apart, their values iN apart): each slice of a second
// member, once loaded, feeds every one of the G running sums.
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
    if (Prefetch) {
#pragma GCC unroll 16
      for (int l = 0; l < B; l += 8) __builtin_prefetch(p + B + l, 0, 3);
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
        if (Imag) im[g][k] = im[g][k] + s * x[k];
      }
    }
  }
#pragma GCC unroll 16
  for (int g = 0; g < G; ++g) {
    VOKMathComplex* out = oValues + g * iN + iJ;
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k)
#pragma GCC unroll 16
      for (int w = 0; w < W; ++w) {
        out[k * W + w].re = re[g][k][w];
        out[k * W + w].im = Imag ? im[g][k][w] : 0.0;
      }
  }
}

// One abscissa over second members too large for the caches: tiles of T
// degrees of freedom whose running sums wait in an L1 buffer while the
// members go by four at a time, each member's slice a contiguous run of T
// doubles. Four long runs at a time keep the memory streaming (a register
// sub-tile would hop between hundreds of short runs); the buffer is read
// and written once per four members. Per value, the terms still come in
// member order, each a product then an add.
constexpr int kStreamTile = 1024;  // 8 KiB of each member per tile; 16 KiB of sums
// How far ahead each member's run is prefetched, in doubles (2 KiB).
constexpr int kStreamAhead = 256;

template <int W, int G, bool Imag>
VOKDYN_INLINE void StreamGroup(const double* const* iMembers, const double* iCos, const double* iSin,
                               int iJ0, double* ioRe, double* ioIm) {
  typedef typename Vector<W>::type vec;
  constexpr int K = 2;
  const double* p[G];
  double c[G], s[G];
#pragma GCC unroll 8
  for (int g = 0; g < G; ++g) {
    p[g] = iMembers[g] + iJ0;
    c[g] = iCos[g];
    s[g] = Imag ? iSin[g] : 0.0;
  }
  for (int j = 0; j < kStreamTile; j += K * W) {
    vec re[K], im[K];
#pragma GCC unroll 8
    for (int k = 0; k < K; ++k) {
      std::memcpy(&re[k], ioRe + j + k * W, sizeof re[k]);
      if (Imag) std::memcpy(&im[k], ioIm + j + k * W, sizeof im[k]);
    }
    // A prefetch per cache line of 8 doubles: when a step spans a whole line
    // or more (W of 4 or 8), every step starts one.
    if (K * W >= 8 || (j & 7) == 0) {
#pragma GCC unroll 8
      for (int g = 0; g < G; ++g)
#pragma GCC unroll 8
        for (int l = 0; l < K * W; l += 8) __builtin_prefetch(p[g] + j + kStreamAhead + l, 0, 0);
    }
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g)
#pragma GCC unroll 8
      for (int k = 0; k < K; ++k) {
        vec x;
        std::memcpy(&x, p[g] + j + k * W, sizeof x);
        re[k] = re[k] + c[g] * x;
        if (Imag) im[k] = im[k] + s[g] * x;
      }
#pragma GCC unroll 8
    for (int k = 0; k < K; ++k) {
      std::memcpy(ioRe + j + k * W, &re[k], sizeof re[k]);
      if (Imag) std::memcpy(ioIm + j + k * W, &im[k], sizeof im[k]);
    }
  }
}

template <int W, bool Imag>
VOKDYN_INLINE int Stream(const double* const* iMembers, int iS, const double* iCos,
                         const double* iSin, int iN, VOKMathComplex* oValues) {
  alignas(64) double re[kStreamTile];
  alignas(64) double im[kStreamTile];
  int j0 = 0;
  for (; j0 + kStreamTile <= iN; j0 += kStreamTile) {
    for (int j = 0; j < kStreamTile; ++j) re[j] = im[j] = 0.0;
    int i = 0;
    for (; i + 4 <= iS; i += 4)
      StreamGroup<W, 4, Imag>(iMembers + i, iCos + i, Imag ? iSin + i : nullptr, j0, re, im);
    switch (iS - i) {
      case 3: StreamGroup<W, 3, Imag>(iMembers + i, iCos + i, Imag ? iSin + i : nullptr, j0, re, im); break;
      case 2: StreamGroup<W, 2, Imag>(iMembers + i, iCos + i, Imag ? iSin + i : nullptr, j0, re, im); break;
      case 1: StreamGroup<W, 1, Imag>(iMembers + i, iCos + i, Imag ? iSin + i : nullptr, j0, re, im); break;
      default: break;
    }
    VOKMathComplex* out = oValues + j0;
    for (int j = 0; j < kStreamTile; ++j) {
      out[j].re = re[j];
      out[j].im = Imag ? im[j] : 0.0;
    }
  }
  return j0;
}

// Second members beyond this many bytes in all go through Stream.
constexpr double kStreamBytes = 8.0 * 1024 * 1024;

// One abscissa: sub-tiles of K vectors. Several: sub-tiles of KB vectors,
// abscissae by G (leftovers one by one), the sub-tile's slices of all
// second members staying in the first-level cache from pair to pair.
template <int W, int K, int KB, int G, bool Imag>
VOKDYN_INLINE void Evaluate(const double* const* iMembers, int iS, int iF, const double* iCos,
                            const double* iSin, int iN, VOKMathComplex* oValues) {
  const long n = iN;
  const long s = iS;
  int j = 0;
  if (iF == 1) {
    if (8.0 * iS * iN > kStreamBytes) j = Stream<W, Imag>(iMembers, iS, iCos, iSin, iN, oValues);
    for (; j + W * K <= iN; j += W * K)
      SubTile<W, K, 1, Imag, true>(iMembers, iS, iCos, iSin, j, n, oValues);
  } else {
    for (; j + W * KB <= iN; j += W * KB) {
      int f = 0;
      for (; f + G <= iF; f += G)
        SubTile<W, KB, G, Imag, false>(iMembers, iS, iCos + f * s, Imag ? iSin + f * s : nullptr,
                                       j, n, oValues + f * n);
      for (; f < iF; ++f)
        SubTile<W, KB, 1, Imag, false>(iMembers, iS, iCos + f * s, Imag ? iSin + f * s : nullptr,
                                       j, n, oValues + f * n);
    }
  }
  for (int f = 0; f < iF; ++f)
    for (int jj = j; jj < iN; ++jj)
      ScalarOne<Imag>(iMembers, iS, iCos + f * s, Imag ? iSin + f * s : nullptr, jj,
                      oValues[f * n + jj]);
}

// One abscissa, four vectors per sub-tile: the running sums take 8 registers
// of the 16 (SSE2, AVX2) or 32 (AVX-512) and a sub-tile spans whole cache
// lines. Several abscissae: two vectors by pairs of abscissae on 16
// registers (8 sums), by fours on AVX-512's 32 (16 sums); a sub-tile's
// slices of a few hundred second members then stay in the L1 cache.
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
    Evaluate<8, 4, 2, 4, true>(iMembers, iS, iF, iCos, iSin, iN, oValues);
  else
    Evaluate<8, 4, 2, 4, false>(iMembers, iS, iF, iCos, iSin, iN, oValues);
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

}  // namespace VOKDYNExcitationKernels
