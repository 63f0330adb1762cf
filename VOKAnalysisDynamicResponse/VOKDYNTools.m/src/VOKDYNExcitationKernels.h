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

}  // namespace VOKDYNExcitationKernels

#endif
