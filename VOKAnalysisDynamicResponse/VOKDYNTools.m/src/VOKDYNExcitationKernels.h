#ifndef VOKDYNExcitationKernels_h
#define VOKDYNExcitationKernels_h
// Internal to the library (never exported): the summation kernels behind
// VOKDYNExcitationTools::GetExcitValues, one set per instruction set.
//
// Every kernel gives, for each degree of freedom j and each abscissa f,
//   re = 0.0; im = 0.0;
//   for i = 0 .. S-1 in order: re += C[f*S+i] * V[i][j]; im += Sn[f*S+i] * V[i][j];
// each term a product and then an add, never fused. Only the loop nest
// differs between the variants (degrees of freedom in tiles, vectorised
// across them, the running sums of a tile kept in registers while the
// second members stream by), so every variant yields the same bits.
// With Sn null the imaginary parts are written 0.0 and never summed.
//
// The variants are compiled for their instruction sets in one object and
// chosen once, at run time, from what the processor offers: the library runs
// on any x86-64. The tests and benchmarks compile this file into their own
// programs to run every variant the processor supports.
#include "VOKMath.h"

namespace VOKDYNExcitationKernels {

/// Out row f (N values, row-major F x N in oValues) for F abscissae whose
/// coefficients are iCos[f*S+i], iSin[f*S+i] (iSin null: real sums only).
/// Each second member iMembers[i] holds at least N doubles. Writes every
/// one of the F*N values; reads nothing from them.
using EvaluateFn = void (*)(const double* const* iMembers, int iS, int iF, const double* iCos,
                            const double* iSin, int iN, VOKMathComplex* oValues);

enum class Isa { Baseline = 0, Avx2 = 1, Avx512 = 2 };

struct Variant {
  Isa isa;
  const char* name;  // "baseline" (SSE2), "avx2", "avx512f"
  int width;         // doubles per vector register
  EvaluateFn evaluate;
};

/// The variant for iIsa, or null when this processor (and its operating
/// system) cannot run it. The baseline is always there.
const Variant* VariantFor(Isa iIsa);
/// The widest variant this processor runs, chosen when the program loads.
const Variant& Selected();

// ------------------------------------------------ complex accumulations
// What the rigid-body and enforced-displacement contributions add at one
// frequency: a complex coefficient per source (direction or load set).

struct Coefficient {
  double re;
  double im;
};

/// Degrees of freedom summed together: the running sums of a tile (2 x 256
/// doubles) stay in L1 while every source streams by once, so the sources
/// and the caller's array are each read from memory a single time whatever
/// the number of sources.
const int kAccumulationTile = 256;

/// ioOut[p] += the sum over the sources in order of the coefficient times
/// the source, p = 0..iN-1. Each element sees exactly the sequence of the
/// pass-per-source loop: its sums start at +0, then for each source in
/// order imag += c.im * src[p] and real += c.re * src[p]; at the end out.re
/// += real and out.im += imag. oImag and oReal are work tiles of
/// min(iN, kAccumulationTile) doubles.
void AccumulateComplex(const double* const* iSources, const Coefficient* iCoefficients, int iCount,
                       int iN, double* oImag, double* oReal, VOKMathComplex* ioOut);

}  // namespace VOKDYNExcitationKernels

#endif
