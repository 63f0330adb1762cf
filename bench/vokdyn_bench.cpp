// The harmonic run of vokdyn, whole: building the model in the platform,
// damping, the sweep and the support motion. The default model must take
// well under a second end to end; a larger model shows how the sweep scales
// (frequencies x modes x outputs).
#include <benchmark/benchmark.h>

#include <cmath>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModelText.h"

namespace {

void BM_DefaultModel(benchmark::State& state) {
  const vokdyn::Model model = vokdyn::DefaultModel();
  for (auto _ : state) benchmark::DoNotOptimize(vokdyn::RunHarmonic(model));
  state.SetItemsProcessed(state.iterations() * model.sweep.steps);  // frequencies
}
BENCHMARK(BM_DefaultModel)->Unit(benchmark::kMillisecond);

// A chain of 40 nodes with state.range(0) modes, a load and base motion,
// 10000 frequencies, two outputs.
void BM_ManyModes(benchmark::State& state) {
  vokdyn::Model model = vokdyn::DefaultModel();
  const int nodes = 40, modes = static_cast<int>(state.range(0));
  model.nodes.clear();
  for (int i = 1; i <= nodes; ++i) {
    vokdyn::Node node;
    node.id = i;
    node.xyz = {0.0, 0.0, 1.0 * i};
    node.hasMass = true;
    node.mass = {1.0, 1.0, 1.0, 0.0, 0.0, 0.0};
    model.nodes.push_back(node);
  }
  model.base.modes.clear();
  for (int j = 1; j <= modes; ++j) {
    vokdyn::Mode mode;
    mode.frequency = 0.5 * j;
    mode.generalizedMass = 1.0;
    mode.generalizedStiffness = std::pow(vokdyn::kTwoPi * mode.frequency, 2);
    for (int i = 1; i <= nodes; ++i) mode.shape.push_back({std::sin(0.1 * i * j), 0, 0, 0, 0, 0});
    model.base.modes.push_back(mode);
  }
  model.loads[0].forces[0].node = nodes;
  model.outputs = {{nodes, 1}, {nodes / 2, 1}};
  model.sweep.steps = 10000;
  for (auto _ : state) benchmark::DoNotOptimize(vokdyn::RunHarmonic(model));
  state.SetItemsProcessed(state.iterations() * model.sweep.steps);
}
BENCHMARK(BM_ManyModes)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
