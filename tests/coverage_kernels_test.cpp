// The choice of the evaluation kernel: which instruction-set variants are
// offered on this processor, and which one the library runs.
#include <string>

#include "VOKDYNExcitationKernels.h"
#include "VOKTestSupport.h"

namespace {

namespace K = VOKDYNExcitationKernels;

class KernelChoice : public VOKTest {};

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

TEST_F(KernelChoice, EveryKnownVariantIsOfferedExactlyWhenTheProcessorRunsIt) {
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
}

TEST_F(KernelChoice, AnInstructionSetOutsideTheTableHasNoVariant) {
  for (int value : {3, 4, -1, 255}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(nullptr, K::VariantFor(static_cast<K::Isa>(value)));
  }
}

}  // namespace
