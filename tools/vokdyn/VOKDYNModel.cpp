#include "VOKDYNModel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <utility>

namespace vokdyn {

const char* const kComponentNames[6] = {"UX", "UY", "UZ", "RX", "RY", "RZ"};
const char* const kModelFormat = "vokdyn-model/1";

// The ids of a model's nodes with their positions, sorted by id then
// position, for the nodes as they were at `data` with `size` of them.
struct NodeIdIndex {
  const Node* data = nullptr;
  std::size_t size = 0;
  std::vector<std::pair<int, int>> sorted;
};

namespace {

std::shared_ptr<const NodeIdIndex> IndexOf(const std::vector<Node>& iNodes) {
  auto index = std::make_shared<NodeIdIndex>();
  index->data = iNodes.data();
  index->size = iNodes.size();
  index->sorted.reserve(iNodes.size());
  for (std::size_t i = 0; i < iNodes.size(); ++i) index->sorted.emplace_back(iNodes[i].id, static_cast<int>(i));
  std::sort(index->sorted.begin(), index->sorted.end());
  return index;
}

}  // namespace

// Callers look up a node per output, force and mode: a scan of every node
// each time made a large model's run quadratic. Threads may share a model,
// hence the atomic exchange of the index (two threads may both make one).
int Model::NodeIndex(int iId) const {
  std::shared_ptr<const NodeIdIndex> index = std::atomic_load(&nodeIdIndex);
  if (!index || index->data != nodes.data() || index->size != nodes.size()) {
    index = IndexOf(nodes);
    std::atomic_store(&nodeIdIndex, index);
  }
  auto found = std::lower_bound(index->sorted.begin(), index->sorted.end(), std::make_pair(iId, 0),
                                [](const std::pair<int, int>& a, const std::pair<int, int>& b) { return a.first < b.first; });
  if (found != index->sorted.end() && found->first == iId && nodes[static_cast<std::size_t>(found->second)].id == iId)
    return found->second;
  // Absent, or an id changed in place since the index was made: the nodes themselves decide.
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].id == iId) return static_cast<int>(i);
  return -1;
}

const char* const kQuantityNames[3] = {"displacement", "velocity", "acceleration"};

bool QuantityNamed(const std::string& iName, Quantity& oQuantity) {
  for (int q = 0; q < 3; ++q)
    if (iName == kQuantityNames[q]) {
      oQuantity = static_cast<Quantity>(q);
      return true;
    }
  return false;
}

double TablePercent(const std::vector<std::array<double, 2>>& iTable, double iFrequency) {
  if (iTable.empty()) return 0.0;
  if (iFrequency <= iTable.front()[0]) return iTable.front()[1];
  if (iFrequency >= iTable.back()[0]) return iTable.back()[1];
  std::size_t k = 1;
  while (iTable[k][0] < iFrequency) ++k;
  const std::array<double, 2>& a = iTable[k - 1];
  const std::array<double, 2>& b = iTable[k];
  return a[1] + (b[1] - a[1]) * ((iFrequency - a[0]) / (b[0] - a[0]));
}

namespace {

// x * 0 is a zero when x is finite, a nan otherwise: one test per row.
bool RowFinite(const double* iRow) {
  return std::isfinite(iRow[0] * 0.0 + iRow[1] * 0.0 + iRow[2] * 0.0 + iRow[3] * 0.0 + iRow[4] * 0.0 +
                       iRow[5] * 0.0);
}

}  // namespace

// Gamma_d = sum over nodes j, then components c, of (phi_jc m_jc) r_d,jc,
// r_d the rigid-body mode d about the global origin and axes, in the
// order of that double sum (the stand-in's). A term
// whose r is a zero is a zero when phi m is finite, and adding a zero to a
// sum that starts at +0 never changes it: such terms are left out, which
// leaves every sum the same to the bit. A row whose phi m overflows takes
// every term, as the zero times an infinity is a nan.
std::size_t AddParticipationTerms(const double* iRows, const Node* iNodes, std::size_t iCount, double ioSums[6]) {
  // The sums in locals, so that they stay in registers across the rows.
  double s0 = ioSums[0], s1 = ioSums[1], s2 = ioSums[2], s3 = ioSums[3], s4 = ioSums[4], s5 = ioSums[5];
  std::size_t k = 0;
  for (; k < iCount; ++k) {
    const double* shape = iRows + 6 * k;
    const Node& node = iNodes[k];
    const Vec6 mass = node.hasMass ? node.mass : Vec6{};
    double sm[6];
    for (int c = 0; c < 6; ++c) sm[c] = shape[c] * mass[static_cast<std::size_t>(c)];
    const double x0 = node.xyz[0], x1 = node.xyz[1], x2 = node.xyz[2];
    if (RowFinite(sm)) {
      // r of a translation is the unit vector; of a rotation about e through
      // the origin, e x x then e (x0 -x2 and so on are exactly the products
      // of e x x that are not zero). phi m finite: phi is.
      s0 += sm[0];
      s1 += sm[1];
      s2 += sm[2];
      s3 += sm[1] * -x2;
      s3 += sm[2] * x1;
      s3 += sm[3];
      s4 += sm[0] * x2;
      s4 += sm[2] * -x0;
      s4 += sm[4];
      s5 += sm[0] * -x1;
      s5 += sm[1] * x0;
      s5 += sm[5];
      continue;
    }
    if (!RowFinite(shape)) break;
    const double r[6][6] = {{1, 0, 0, 0, 0, 0},
                            {0, 1, 0, 0, 0, 0},
                            {0, 0, 1, 0, 0, 0},
                            {0.0 * x2 - 0.0 * x1, 0.0 * x0 - 1.0 * x2, 1.0 * x1 - 0.0 * x0, 1, 0, 0},
                            {1.0 * x2 - 0.0 * x1, 0.0 * x0 - 0.0 * x2, 0.0 * x1 - 1.0 * x0, 0, 1, 0},
                            {0.0 * x2 - 1.0 * x1, 1.0 * x0 - 0.0 * x2, 0.0 * x1 - 0.0 * x0, 0, 0, 1}};
    double* sums[6] = {&s0, &s1, &s2, &s3, &s4, &s5};
    for (int d = 0; d < 6; ++d)
      for (int c = 0; c < 6; ++c) *sums[d] += sm[c] * r[d][c];
  }
  ioSums[0] = s0;
  ioSums[1] = s1;
  ioSums[2] = s2;
  ioSums[3] = s3;
  ioSums[4] = s4;
  ioSums[5] = s5;
  return k;
}

namespace {

typedef double Lanes __attribute__((vector_size(kParticipationLanes * sizeof(double))));

}  // namespace

// Each lane does the scalar pass's operations on its own mode, in the same
// order (the build never contracts them): the same bits, with the lanes'
// chains of additions overlapping.
__attribute__((target_clones("avx512f", "avx2", "default")))
std::size_t AddParticipationTermsOfModes(const double* const iRows[kParticipationLanes], const Node* iNodes,
                                         std::size_t iCount, double ioSums[kParticipationLanes][6]) {
  constexpr std::size_t L = kParticipationLanes;
  Lanes s[6];
  for (std::size_t d = 0; d < 6; ++d)
    for (std::size_t l = 0; l < L; ++l) s[d][l] = ioSums[l][d];
  // Rows in chunks: a chunk is added to sums of its own, kept only when
  // no row of it had a phi m that is not finite (x * 0 is a zero when x is
  // finite, a nan otherwise, and a nan stays in the sum of those zeros).
  std::size_t k = 0;
  while (k < iCount) {
    const std::size_t end = std::min(iCount, k + kParticipationChunk);
    Lanes t[6] = {s[0], s[1], s[2], s[3], s[4], s[5]};
    Lanes zeros = Lanes{} + 0.0;
    for (std::size_t r = k; r < end; ++r) {
      const Node& node = iNodes[r];
      const Vec6 mass = node.hasMass ? node.mass : Vec6{};
      Lanes sm[6];
      for (std::size_t c = 0; c < 6; ++c) {
        Lanes phi;
        for (std::size_t l = 0; l < L; ++l) phi[l] = iRows[l][6 * r + c];
        sm[c] = phi * mass[c];
      }
      zeros = zeros + sm[0] * 0.0 + sm[1] * 0.0 + sm[2] * 0.0 + sm[3] * 0.0 + sm[4] * 0.0 + sm[5] * 0.0;
      const double x0 = node.xyz[0], x1 = node.xyz[1], x2 = node.xyz[2];
      t[0] = t[0] + sm[0];
      t[1] = t[1] + sm[1];
      t[2] = t[2] + sm[2];
      t[3] = t[3] + sm[1] * -x2;
      t[3] = t[3] + sm[2] * x1;
      t[3] = t[3] + sm[3];
      t[4] = t[4] + sm[0] * x2;
      t[4] = t[4] + sm[2] * -x0;
      t[4] = t[4] + sm[4];
      t[5] = t[5] + sm[0] * -x1;
      t[5] = t[5] + sm[1] * x0;
      t[5] = t[5] + sm[5];
    }
    double all = 0.0;
    for (std::size_t l = 0; l < L; ++l) all += zeros[l];
    if (all != all) break;
    for (std::size_t d = 0; d < 6; ++d) s[d] = t[d];
    k = end;
  }
  for (std::size_t d = 0; d < 6; ++d)
    for (std::size_t l = 0; l < L; ++l) ioSums[l][d] = s[d][l];
  return k;
}

std::vector<float> SweepFrequencies(const Sweep& iSweep) {
  std::vector<float> out;
  if (!iSweep.isRange || iSweep.spacing == Spacing::Modes) {
    for (double f : iSweep.list) out.push_back(static_cast<float>(f));
    return out;
  }
  int n = iSweep.steps;
  for (int k = 0; k < n; ++k) {
    double f;
    if (k == 0) {
      f = iSweep.from;
    } else if (k == n - 1) {
      f = iSweep.to;  // both ends exactly as given
    } else if (iSweep.spacing == Spacing::Log) {
      f = iSweep.from * std::pow(iSweep.to / iSweep.from, static_cast<double>(k) / (n - 1));
    } else {
      f = iSweep.from + (iSweep.to - iSweep.from) * (static_cast<double>(k) / (n - 1));
    }
    out.push_back(static_cast<float>(f));
  }
  return out;
}

std::string OutputLabel(const Output& iOutput) {
  int c = iOutput.component >= 1 && iOutput.component <= 6 ? iOutput.component - 1 : 0;
  std::string label = "N" + std::to_string(iOutput.node) + "_" + kComponentNames[c];
  if (iOutput.quantity == Quantity::Velocity) label += "_vel";
  if (iOutput.quantity == Quantity::Acceleration) label += "_acc";
  if (iOutput.motion == Motion::Relative) label += "_rel";
  return label;
}

}  // namespace vokdyn
