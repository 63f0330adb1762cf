// The evaluation kernels: the variants offered here, the one run, and that each gives the straight
// loop's bits on the benchmark shapes and on sizes that leave a partial vector or tile.
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "VOKDYNExcitationKernels.h"
#include "VOKTestSupport.h"

namespace {

namespace K = VOKDYNExcitationKernels;

// Sixty binary orders, both signs, signed zeros, subnormals: any other order or an FMA shows.
class Awkward {
 public:
  explicit Awkward(std::uint64_t iSeed) : _Gen(iSeed) {}
  double Next() {
    const unsigned pick = _Gen() % 64;
    if (pick == 0) return 0.0;
    if (pick == 1) return -0.0;
    if (pick == 2) return 4.9406564584124654e-324 * static_cast<double>(1 + _Gen() % 1000);
    const double mantissa = std::uniform_real_distribution<double>(1.0, 2.0)(_Gen);
    const int exponent = static_cast<int>(_Gen() % 61) - 30;
    return (_Gen() & 1 ? -1.0 : 1.0) * std::ldexp(mantissa, exponent);
  }

 private:
  std::mt19937_64 _Gen;
};

// The straight loop: per abscissa from 0.0, members in order, each a product then an add.
std::vector<VOKMathComplex> StraightLoop(const std::vector<std::vector<double>>& iMembers, int iF,
                                         const std::vector<double>& iCos,
                                         const std::vector<double>& iSin, bool iImag, int iN) {
  const std::size_t s = iMembers.size();
  std::vector<VOKMathComplex> out(static_cast<std::size_t>(iF) * iN);
  for (int f = 0; f < iF; ++f) {
    VOKMathComplex* row = out.data() + static_cast<std::size_t>(f) * iN;
    for (int j = 0; j < iN; ++j) row[j].re = row[j].im = 0.0;
    for (std::size_t i = 0; i < s; ++i) {
      const double c = iCos[f * s + i];
      const double* v = iMembers[i].data();
      if (!iImag) {
        for (int j = 0; j < iN; ++j) row[j].re += c * v[j];
      } else {
        const double sn = iSin[f * s + i];
        for (int j = 0; j < iN; ++j) {
          row[j].re += c * v[j];
          row[j].im += sn * v[j];
        }
      }
    }
  }
  return out;
}

struct Shape {
  int n, s, f;  // degrees of freedom, second members, abscissae
};

// The variants this processor runs.
std::vector<const K::Variant*> RunnableVariants() {
  std::vector<const K::Variant*> variants;
  for (K::Isa isa : {K::Isa::Baseline, K::Isa::Avx2, K::Isa::Avx512})
    if (const K::Variant* variant = K::VariantFor(isa)) variants.push_back(variant);
  return variants;
}

// Every variant on one shape against the straight loop (formed once), bit for
// bit; nothing written past F x N.
void ExpectStraightLoopsBits(const std::vector<const K::Variant*>& iVariants, const Shape& iShape, bool iImag) {
  SCOPED_TRACE("N=" + std::to_string(iShape.n) + " S=" + std::to_string(iShape.s) + " F=" +
               std::to_string(iShape.f) + (iImag ? " complex" : " real"));
  Awkward gen(static_cast<std::uint64_t>(iShape.n) * 7919u + iShape.s * 31u + iShape.f);
  std::vector<std::vector<double>> members(static_cast<std::size_t>(iShape.s),
                                           std::vector<double>(static_cast<std::size_t>(iShape.n)));
  for (auto& m : members)
    for (double& v : m) v = gen.Next();
  std::vector<double> cosines(static_cast<std::size_t>(iShape.s * iShape.f) + 1);
  std::vector<double> sines(cosines.size());
  for (double& c : cosines) c = gen.Next();
  for (double& s : sines) s = gen.Next();
  std::vector<const double*> table;
  for (const auto& m : members) table.push_back(m.data());
  const std::vector<VOKMathComplex> expected = StraightLoop(members, iShape.f, cosines, sines, iImag, iShape.n);

  const std::size_t count = static_cast<std::size_t>(iShape.f) * iShape.n;
  // The output starts as garbage (nothing may be read from it) and
  // carries a guard band past F x N (nothing may be written there).
  const double guard = std::nan("0x5a5a");
  std::vector<VOKMathComplex> out(count + 8);
  for (const K::Variant* variant : iVariants) {
    SCOPED_TRACE(variant->name);
    for (VOKMathComplex& v : out) v.re = v.im = guard;
    variant->evaluate(table.data(), iShape.s, iShape.f, cosines.data(), iImag ? sines.data() : nullptr,
                      iShape.n, out.data());
    for (std::size_t j = 0; j < count; ++j)
      ASSERT_TRUE(SameBits(out[j].re, expected[j].re) && SameBits(out[j].im, expected[j].im))
          << "value " << j << ": " << out[j].re << " + " << out[j].im << "i, expected " << expected[j].re << " + "
          << expected[j].im << "i";
    for (std::size_t j = count; j < out.size(); ++j) {
      EXPECT_TRUE(SameBits(guard, out[j].re) && SameBits(guard, out[j].im)) << "written past the end at " << j;
    }
  }
}

class ExcitationKernels : public VOKTest {};

TEST_F(ExcitationKernels, EveryVariantGivesTheStraightLoopsBits) {
  // Partial vectors and tiles, single members and DOFs, then the benchmark shapes scaled down.
  const std::vector<Shape> shapes = {
      {1, 1, 1},    {1, 3, 2},    {2, 1, 1},     {3, 5, 1},     {7, 2, 3},
      {8, 1, 1},    {9, 4, 2},    {15, 3, 1},    {16, 3, 1},    {17, 3, 5},
      {31, 7, 1},   {32, 7, 2},   {33, 7, 3},    {63, 1, 1},    {65, 2, 4},
      {100, 200, 1}, {1000, 24, 64}, {1003, 48, 64}, {2003, 150, 7},
      {10000, 200, 1}, {100003, 20, 1}, {5, 0, 2},
      // beyond the caches, second members in eights plus 4, 2 and 1
      {20011, 55, 1}, {30011, 37, 1}, {60013, 18, 1}, {100005, 12, 1},
      {400009, 3, 1},
      // N = 47 leaves 23, 7 or 3 doubles after whole sub-tiles; F = 3, 4, 5 leave every abscissa group;
      // S = 17 prefetches sixteen ahead then runs out, S = 16 never prefetches.
      {47, 17, 3}, {47, 17, 4}, {47, 17, 5}, {47, 16, 5},
      // One sub-tile of all members exceeds a block, on every width.
      {49, 8192, 3}};
  const std::vector<const K::Variant*> variants = RunnableVariants();
  ASSERT_GE(variants.size(), 1u);
  for (const Shape& shape : shapes)
    for (bool imag : {true, false}) ExpectStraightLoopsBits(variants, shape, imag);
  // The library runs the widest variant there is; it must be one of these.
  EXPECT_NE(nullptr, K::VariantFor(K::Selected().isa));
}

// What the processor offers, asked of the compiler's runtime, not the dispatcher.
bool ProcessorRuns(K::Isa iIsa) {
  __builtin_cpu_init();
  switch (iIsa) {
    case K::Isa::Baseline: return true;
    case K::Isa::Avx2: return __builtin_cpu_supports("avx2");
    case K::Isa::Avx512: return __builtin_cpu_supports("avx512f");
  }
  return false;
}

TEST_F(ExcitationKernels, EveryKnownVariantIsOfferedExactlyWhenTheProcessorRunsIt) {
  const K::Variant* widest = nullptr;
  for (K::Isa isa : {K::Isa::Baseline, K::Isa::Avx2, K::Isa::Avx512}) {
    SCOPED_TRACE(static_cast<int>(isa));
    const K::Variant* variant = K::VariantFor(isa);
    if (!ProcessorRuns(isa)) {
      EXPECT_EQ(nullptr, variant) << "offered on a processor that cannot run it";
      continue;
    }
    ASSERT_NE(nullptr, variant);
    EXPECT_EQ(isa, variant->isa);
    EXPECT_NE(nullptr, variant->evaluate);
    EXPECT_EQ(variant, K::VariantFor(isa)) << "the same entry every time";
    widest = variant;
  }
  // The library runs the widest variant the processor offers, every time.
  ASSERT_NE(nullptr, widest);
  EXPECT_EQ(widest, &K::Selected());
  EXPECT_EQ(&K::Selected(), &K::Selected());
  // An instruction set outside the table has no variant.
  for (int value : {3, 4, -1, 255}) EXPECT_EQ(nullptr, K::VariantFor(static_cast<K::Isa>(value))) << value;
}

}  // namespace
