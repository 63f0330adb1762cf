// Summation kernels of the excitation evaluation, one per instruction set.
//
// The loop nest: degrees of freedom in sub-tiles of K vectors of W doubles;
// for a sub-tile, the running complex sums of every abscissa live in
// registers while the second members go by in their order, so the sums are
// never stored and reloaded, and the sub-tile's slice of every second member
// is read from memory once for all abscissae (it is still in the first-level
// cache when the next abscissa reads it). The slice of the next sub-tile is
// prefetched during the first abscissa: with many second members, far more
// streams run side by side than the hardware prefetchers follow.
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

// Degrees of freedom iJ .. iJ+W*K-1 of one abscissa.
template <int W, int K, bool Imag, bool Prefetch>
VOKDYN_INLINE void SubTile(const double* const* iMembers, int iS, const double* iCos,
                           const double* iSin, int iJ, VOKMathComplex* oValues) {
  typedef typename Vector<W>::type vec;
  constexpr int B = W * K;
  vec re[K];
  vec im[K];
#pragma GCC unroll 16
  for (int k = 0; k < K; ++k) {
    re[k] = vec{};
    im[k] = vec{};
  }
  for (int i = 0; i < iS; ++i) {
    const double* p = iMembers[i] + iJ;
    if (Prefetch) {
#pragma GCC unroll 16
      for (int l = 0; l < B; l += 8) __builtin_prefetch(p + B + l, 0, 3);
    }
    const double c = iCos[i];
    const double s = Imag ? iSin[i] : 0.0;
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) {
      vec x;
      std::memcpy(&x, p + k * W, sizeof x);
      re[k] = re[k] + c * x;
      if (Imag) im[k] = im[k] + s * x;
    }
  }
  VOKMathComplex* out = oValues + iJ;
#pragma GCC unroll 16
  for (int k = 0; k < K; ++k)
#pragma GCC unroll 16
    for (int w = 0; w < W; ++w) {
      out[k * W + w].re = re[k][w];
      out[k * W + w].im = Imag ? im[k][w] : 0.0;
    }
}

template <int W, int K, bool Imag>
VOKDYN_INLINE void Evaluate(const double* const* iMembers, int iS, int iF, const double* iCos,
                            const double* iSin, int iN, VOKMathComplex* oValues) {
  constexpr int B = W * K;
  const long n = iN;
  int j = 0;
  for (; j + B <= iN; j += B) {
    SubTile<W, K, Imag, true>(iMembers, iS, iCos, iSin, j, oValues);
    for (int f = 1; f < iF; ++f)
      SubTile<W, K, Imag, false>(iMembers, iS, iCos + static_cast<long>(f) * iS,
                                 Imag ? iSin + static_cast<long>(f) * iS : nullptr, j,
                                 oValues + f * n);
  }
  for (int f = 0; f < iF; ++f)
    for (int jj = j; jj < iN; ++jj)
      ScalarOne<Imag>(iMembers, iS, iCos + static_cast<long>(f) * iS,
                      Imag ? iSin + static_cast<long>(f) * iS : nullptr, jj, oValues[f * n + jj]);
}

// Four vectors per sub-tile: the running sums take 8 registers of the 16
// (SSE2, AVX2) or 32 (AVX-512) and a sub-tile spans whole cache lines.
void EvaluateBaseline(const double* const* iMembers, int iS, int iF, const double* iCos,
                      const double* iSin, int iN, VOKMathComplex* oValues) {
  if (iSin)
    Evaluate<2, 4, true>(iMembers, iS, iF, iCos, iSin, iN, oValues);
  else
    Evaluate<2, 4, false>(iMembers, iS, iF, iCos, iSin, iN, oValues);
}

__attribute__((target("avx2"))) void EvaluateAvx2(const double* const* iMembers, int iS, int iF,
                                                  const double* iCos, const double* iSin, int iN,
                                                  VOKMathComplex* oValues) {
  if (iSin)
    Evaluate<4, 4, true>(iMembers, iS, iF, iCos, iSin, iN, oValues);
  else
    Evaluate<4, 4, false>(iMembers, iS, iF, iCos, iSin, iN, oValues);
}

__attribute__((target("avx512f"))) void EvaluateAvx512(const double* const* iMembers, int iS,
                                                       int iF, const double* iCos,
                                                       const double* iSin, int iN,
                                                       VOKMathComplex* oValues) {
  if (iSin)
    Evaluate<8, 4, true>(iMembers, iS, iF, iCos, iSin, iN, oValues);
  else
    Evaluate<8, 4, false>(iMembers, iS, iF, iCos, iSin, iN, oValues);
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
