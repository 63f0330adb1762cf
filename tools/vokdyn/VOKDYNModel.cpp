#include "VOKDYNModel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
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
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!index || index->data != nodes.data() || index->size != nodes.size() || attempt == 1) {
      index = IndexOf(nodes);
      std::atomic_store(&nodeIdIndex, index);
    }
    auto found = std::lower_bound(index->sorted.begin(), index->sorted.end(), std::make_pair(iId, 0),
                                  [](const std::pair<int, int>& a, const std::pair<int, int>& b) { return a.first < b.first; });
    if (found == index->sorted.end() || found->first != iId) break;
    // An id changed in place since the index was made shows here: made again.
    if (nodes[static_cast<std::size_t>(found->second)].id == iId) return found->second;
  }
  // Absent from the index: the nodes themselves decide, whatever changed in them.
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i].id == iId) return static_cast<int>(i);
  return -1;
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
