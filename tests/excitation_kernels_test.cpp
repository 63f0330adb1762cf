// The evaluation kernels: which instruction-set variants are offered on this
// processor and which one the library runs, and that every variant gives
// the bits of the straightforward loop, on the benchmark shapes (scaled
// down) and on sizes that leave a partial vector or tile.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "VOKDYNExcitationKernels.h"
#include "VOKTestSupport.h"

namespace {

namespace K = VOKDYNExcitationKernels;

std::uint64_t Bits(double iValue) {
  std::uint64_t b;
  std::memcpy(&b, &iValue, sizeof b);
  return b;
}

// Values spread over sixty binary orders of magnitude with both signs, with
// zeros of both signs and subnormals mixed in: the sums cancel and round
// differently under any other order of terms or any fused multiply-add.
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

// The loop as stated: per abscissa, the sums start at 0.0 and the second
// members go by in order, each term a product and then an add.
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

// Runs one variant on one shape with awkward values and compares every
// value with the straight loop, bit for bit; nothing may be written past
// F x N.
void ExpectStraightLoopsBits(const K::Variant& iVariant, const Shape& iShape, bool iImag) {
  SCOPED_TRACE(std::string(iVariant.name) + " N=" + std::to_string(iShape.n) +
               " S=" + std::to_string(iShape.s) + " F=" + std::to_string(iShape.f) +
               (iImag ? " complex" : " real"));
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

  const std::size_t count = static_cast<std::size_t>(iShape.f) * iShape.n;
  // The output starts as garbage (nothing may be read from it) and
  // carries a guard band past F x N (nothing may be written there).
  const double guard = std::nan("0x5a5a");
  std::vector<VOKMathComplex> out(count + 8);
  for (VOKMathComplex& v : out) v.re = v.im = guard;
  iVariant.evaluate(table.data(), iShape.s, iShape.f, cosines.data(), iImag ? sines.data() : nullptr,
                    iShape.n, out.data());

  const std::vector<VOKMathComplex> expected = StraightLoop(members, iShape.f, cosines, sines, iImag, iShape.n);
  std::size_t wrong = 0;
  for (std::size_t j = 0; j < count; ++j)
    if (Bits(out[j].re) != Bits(expected[j].re) || Bits(out[j].im) != Bits(expected[j].im)) {
      if (++wrong <= 3)
        ADD_FAILURE() << "value " << j << ": " << out[j].re << " + " << out[j].im << "i, expected "
                      << expected[j].re << " + " << expected[j].im << "i";
    }
  EXPECT_EQ(0u, wrong);
  for (std::size_t j = count; j < out.size(); ++j) {
    EXPECT_EQ(Bits(guard), Bits(out[j].re)) << "written past the end at " << j;
    EXPECT_EQ(Bits(guard), Bits(out[j].im)) << "written past the end at " << j;
  }
}

// Every variant this processor runs, on every shape, complex and real; the
// number of variants run.
int ExpectEveryVariantsBits(const std::vector<Shape>& iShapes) {
  int variants = 0;
  for (K::Isa isa : {K::Isa::Baseline, K::Isa::Avx2, K::Isa::Avx512}) {
    const K::Variant* variant = K::VariantFor(isa);
    if (!variant) continue;  // this processor cannot run it
    ++variants;
    for (const Shape& shape : iShapes)
      for (bool imag : {true, false}) ExpectStraightLoopsBits(*variant, shape, imag);
  }
  return variants;
}

class ExcitationKernels : public VOKTest {};

TEST_F(ExcitationKernels, EveryVariantGivesTheStraightLoopsBits) {
  // Partial vectors and tiles (every width is 2, 4 or 8 doubles, a tile up
  // to four vectors, leftovers summed by narrower vectors down to one
  // scalar), single members and single degrees of freedom, then the
  // benchmark shapes scaled down: batched F = 64 at S = 24 and 200, single
  // N = 10,000 x 200, and a streaming-size N with a prime count (more than
  // 8 MiB of second members are summed in streaming tiles of 2048 values).
  // The batched shapes with S = 48 and 150 span several cache-sized blocks
  // of sub-tiles, with abscissae left over from the groups of four.
  const std::vector<Shape> shapes = {
      {1, 1, 1},    {1, 3, 2},    {2, 1, 1},     {3, 5, 1},     {7, 2, 3},
      {8, 1, 1},    {9, 4, 2},    {15, 3, 1},    {16, 3, 1},    {17, 3, 5},
      {31, 7, 1},   {32, 7, 2},   {33, 7, 3},    {63, 1, 1},    {65, 2, 4},
      {100, 200, 1}, {1000, 24, 64}, {1003, 48, 64}, {2003, 150, 7},
      {10000, 200, 1}, {100003, 20, 1}, {5, 0, 2},
      // beyond the caches, second members in eights plus 4, 2 and 1
      {20011, 55, 1}, {30011, 37, 1}, {60013, 18, 1}, {100005, 12, 1},
      {400009, 3, 1}};
  EXPECT_GE(ExpectEveryVariantsBits(shapes), 1);
  // The library runs the widest variant there is; it must be one of these.
  EXPECT_NE(nullptr, K::VariantFor(K::Selected().isa));
}

TEST_F(ExcitationKernels, EveryLeftoverWidthAndBlockSizeOfTheBatchedSumsGivesTheStraightLoopsBits) {
  // Several abscissae go in register blocks of 2 vectors by 2 abscissae
  // (baseline, AVX2: 4 and 8 doubles wide) or 3 vectors by 4 abscissae
  // (AVX-512: 24 doubles), then the degrees of freedom left over go by
  // whole vectors, half vectors, down to the scalar loop, again by groups
  // of abscissae and the rest one by one.
  const std::vector<Shape> shapes = {
      // N = 47: after the whole sub-tiles, a leftover of 23 doubles on
      // AVX-512 (vectors of 8, 8, 4, 2, then a scalar), 7 on AVX2 (4, 2, 1)
      // and 3 on the baseline (2, 1). F = 3: no group of four, one pair and
      // one abscissa left; F = 4: whole groups only; F = 5: a group of four
      // and one left, two pairs and one left. With S = 17 every width's
      // sub-tile prefetches the slices of the member sixteen ahead for the
      // first member and has none to prefetch after; with S = 16 it never
      // prefetches.
      {47, 17, 3}, {47, 17, 4}, {47, 17, 5}, {47, 16, 5},
      // The slices of one sub-tile of all members exceed what a block may
      // hold (AVX-512's 24 doubles from 1366 members on, AVX2's 8 from
      // 4096, the baseline's 4 from 8192): each block is one sub-tile, two
      // of them on AVX-512, with one degree of freedom left to the scalar.
      {49, 8192, 3}};
  EXPECT_GE(ExpectEveryVariantsBits(shapes), 1);
}

// What the processor offers, asked of the compiler's runtime here, apart
// from the dispatcher.
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
  struct Row {
    K::Isa isa;
    const char* name;
    int width;  // doubles per register: 128, 256 and 512 bits
  };
  const Row rows[] = {
      {K::Isa::Baseline, "baseline", 2},
      {K::Isa::Avx2, "avx2", 4},
      {K::Isa::Avx512, "avx512f", 8},
  };
  const K::Variant* widest = nullptr;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const K::Variant* variant = K::VariantFor(row.isa);
    if (!ProcessorRuns(row.isa)) {
      EXPECT_EQ(nullptr, variant) << "offered on a processor that cannot run it";
      continue;
    }
    ASSERT_NE(nullptr, variant);
    EXPECT_EQ(row.isa, variant->isa);
    EXPECT_EQ(std::string(row.name), variant->name);
    EXPECT_EQ(row.width, variant->width);
    EXPECT_NE(nullptr, variant->evaluate);
    EXPECT_EQ(variant, K::VariantFor(row.isa)) << "the same entry every time";
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
