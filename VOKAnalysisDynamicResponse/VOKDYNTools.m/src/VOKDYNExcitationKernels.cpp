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

// One abscissa: sub-tiles of K vectors. Several: sub-tiles of KB vectors,
// abscissae by pairs (a leftover one alone), the sub-tile's slices of all
// second members staying in the first-level cache from pair to pair.
template <int W, int K, int KB, int G, bool Imag>
VOKDYN_INLINE void Evaluate(const double* const* iMembers, int iS, int iF, const double* iCos,
                            const double* iSin, int iN, VOKMathComplex* oValues) {
  const long n = iN;
  const long s = iS;
  int j = 0;
  if (iF == 1) {
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
// lines. Pairs of abscissae: two vectors on 16 registers (8 sums), four on
// AVX-512's 32 (16 sums), which keeps the broadcast coefficients few per
// product; the slices of the second members come from the L1 or L2 cache.
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
    Evaluate<8, 4, 4, 2, true>(iMembers, iS, iF, iCos, iSin, iN, oValues);
  else
    Evaluate<8, 4, 4, 2, false>(iMembers, iS, iF, iCos, iSin, iN, oValues);
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
  switch (iIsa) {
    case Isa::Baseline:
      return true;
    case Isa::Avx2:
      return __builtin_cpu_supports("avx2");
    case Isa::Avx512:
      return __builtin_cpu_supports("avx512f");
  }
  return false;
}

}  // namespace

const Variant* VariantFor(Isa iIsa) {
  for (const Variant& v : kVariants)
    if (v.isa == iIsa) return Supported(iIsa) ? &v : nullptr;
  return nullptr;
}

const Variant& Selected() {
  static const Variant* const selected = [] {
    const Variant* best = &kVariants[0];
    for (const Variant& v : kVariants)
      if (Supported(v.isa)) best = &v;
    return best;
  }();
  return *selected;
}

}  // namespace VOKDYNExcitationKernels
