// Damping values of a two-mode base with 2 % modal damping, through the
// installed headers and libraries: c_i = 2 * 0.02 * sqrt(k_i m_i).
#include <cmath>
#include <cstdio>

#include "VOKCollections.h"
#include "VOKDYNDampingTools.h"
#include "VOKDYNTraceChannels.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"

int main() {
  VOKHost::ModalBaseDefinition definition;
  definition.modalMasses = {1.0, 2.0};
  definition.modalStiffnesses = {4.0, 50.0};
  definition.nodes = {VOKHost::ModalNode{}};
  definition.shapes = {std::vector<double>(6, 1.0), std::vector<double>(6, 0.5)};
  std::string error;
  VOKHost::ModalBase* base = VOKHost::ModalBase::Create(definition, &error);
  if (!base) {
    std::fprintf(stderr, "modal base refused: %s\n", error.c_str());
    return 1;
  }
  VOKHost::DampingFeatureBuilder builder;
  builder.Modal(2.0).LinkBase(base);
  VOKHost::Feature* feature = builder.Build();

  int status = 0;
  {
    VOKDYNDampingTools tools(feature);
    VOKRawColldouble values;
    if (tools.GetDampingValues(values) != 0 || values.Size() != 2) {
      std::fprintf(stderr, "no damping values\n");
      status = 1;
    }
    const double expected[] = {std::sqrt(1.0 * 4.0) * (2.0 * 2.0) / 100.0,
                               std::sqrt(2.0 * 50.0) * (2.0 * 2.0) / 100.0};
    for (int i = 1; status == 0 && i <= 2; ++i) {
      std::printf("mode %d: c = %.17g\n", i, values[i]);
      if (values[i] != expected[i - 1]) status = 1;
    }
  }
  std::printf("trace channel %s: %s\n", Tra_DYNBase.GetName(),
              VOKDYNGetTraceState(Tra_DYNBase.GetName()) ? "on" : "off");
  feature->Release();
  base->Release();
  return status;
}
