// vokdyn import and the response fields at the size of a real job: a solid
// cantilever of 25,000 nodes (24,651 eight-node bricks) and 40 modes.
//
//   BM_ImportCalculix   the import of the job (read .frd, .dat, .inp; write
//                       the model and its .npy), wall time, against the
//                       solver's own wall time for the eigenvalue step that
//                       wrote the files: import_vs_solver (goal <= 0.20)
//   BM_FieldModalSums   the node x mode sums of 25,000 nodes x 3 components
//                       x 40 modes at 100 frequencies on one thread:
//                       peak_fraction of the multiply-then-add peak (no fused
//                       multiply-add) of the instruction set the library chose
//   BM_FieldVtuWrite    one frequency's .vtu (mesh and fields, raw appended
//                       data) formed and written to a file: MB_per_s
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include "../tests/VOKDYNCalculixDeck.h"
#include "VOKDYNFields.h"
#include "VOKDYNImport.h"
#include "VOKDYNOutput.h"
#include "bench_support.h"

namespace {

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The job solved once per process in a temporary directory (removed at
// exit), with the solver's wall time.
class SolvedJob {
 public:
  static const SolvedJob& Get() {
    static SolvedJob job;
    return job;
  }
  std::string dir;
  double solverSeconds = 0.0;
  vokdyn_test::CantileverDeck deck;

 private:
  SolvedJob() : deck(vokdyn_test::CantileverDeck::Hexahedra(9, 9, 249, 40)) {
    char pattern[] = "/tmp/vokdyn_import_bench_XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("cannot make a temporary directory");
    dir = pattern;
    std::string text = deck.Text();
    // The bench reads the eigenvectors from the results file only.
    text.replace(text.find("*NODE PRINT, NSET=NALL\nU\n"), 24, "");
    std::ofstream(dir + "/job.inp") << text;
    const double start = WallSeconds();
    std::string command = "cd '" + dir + "' && OMP_NUM_THREADS=1 ccx job > job.log 2>&1";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("ccx failed in " + dir);
    solverSeconds = WallSeconds() - start;
  }
  ~SolvedJob() {
    std::string command = "rm -rf '" + dir + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", dir.c_str());
  }
};

void BM_ImportCalculix(benchmark::State& state) {
  const SolvedJob& job = SolvedJob::Get();
  vokdyn::ImportOptions options;
  options.job = job.dir + "/job";
  options.model = job.dir + "/model.json";
  double best = 1e300;
  for (auto _ : state) {
    const double start = WallSeconds();
    vokdyn::ImportedJob imported = vokdyn::ImportCalculix(options);
    best = std::min(best, WallSeconds() - start);
    benchmark::DoNotOptimize(imported.model.nodes.data());
  }
  state.counters["solver_s"] = job.solverSeconds;
  state.counters["import_s"] = best;
  state.counters["import_vs_solver"] = best / job.solverSeconds;
}
BENCHMARK(BM_ImportCalculix)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// A basis of the job's size, its values ordinary non-zero numbers.
vokdyn::FieldBasis LargeBasis() {
  vokdyn::FieldBasis basis;
  basis.nodes = 25000;
  basis.components = 3;
  basis.modes = 40;
  basis.stride = (basis.Dofs() + vokdyn::kFieldLanes - 1) / vokdyn::kFieldLanes * vokdyn::kFieldLanes;
  basis.phi.resize(basis.modes * basis.stride);
  for (std::size_t k = 0; k < basis.phi.size(); ++k) basis.phi[k] = 1.0 / (1.0 + static_cast<double>(k % 977));
  return basis;
}

void BM_FieldModalSums(benchmark::State& state) {
  const std::size_t frequencies = 100;
  const vokdyn::FieldBasis basis = LargeBasis();
  std::vector<std::complex<double>> q(frequencies * basis.modes);
  for (std::size_t k = 0; k < q.size(); ++k)
    q[k] = {1.0 / (2.0 + static_cast<double>(k % 13)), -1.0 / (3.0 + static_cast<double>(k % 7))};
  std::vector<double> re(frequencies * basis.stride), im(frequencies * basis.stride);
  const double best = bench::FastestPass(state, [&] {
    vokdyn::ModalFieldSum(basis, q.data(), frequencies, re.data(), im.data(), 1);
    benchmark::DoNotOptimize(re.data());
  });
  // A product and a sum for each part of each degree of freedom, mode and
  // frequency.
  const double flops = 4.0 * static_cast<double>(basis.Dofs() * basis.modes * frequencies);
  state.counters["GFLOPs"] = flops * 1e-9 / best;
  state.counters["peak_fraction"] = flops * 1e-9 / best / bench::TheMachine().peakGflops;
}
BENCHMARK(BM_FieldModalSums)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FieldVtuWrite(benchmark::State& state) {
  const vokdyn_test::CantileverDeck deck = vokdyn_test::CantileverDeck::Hexahedra(9, 9, 249, 1);
  vokdyn::Model model;
  for (const auto& n : deck.nodes) model.nodes.push_back(vokdyn::Node{n.first, n.second, false, {}});
  for (const auto& e : deck.elements) model.elements.push_back({1, e});
  const vokdyn::FieldMesh mesh = vokdyn::MakeFieldMesh(model);
  std::vector<int> ids;
  for (const auto& n : model.nodes) ids.push_back(n.id);
  const vokdyn::FieldBasis basis = LargeBasis();
  std::vector<double> re(basis.stride, 1.5), im(basis.stride, -0.5);
  char path[] = "/tmp/vokdyn_vtu_bench_XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("cannot make a temporary file");
  close(fd);
  double best = 1e300;
  std::size_t bytes = 0;
  for (auto _ : state) {
    const double start = WallSeconds();
    std::string text = vokdyn::VtuText(mesh, ids, basis, re.data(), im.data(), 10.0);
    vokdyn::WriteFileAtomically(path, text);
    best = std::min(best, WallSeconds() - start);
    bytes = text.size();
  }
  unlink(path);
  state.counters["MB"] = static_cast<double>(bytes) * 1e-6;
  state.counters["MB_per_s"] = static_cast<double>(bytes) * 1e-6 / best;
}
BENCHMARK(BM_FieldVtuWrite)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace
