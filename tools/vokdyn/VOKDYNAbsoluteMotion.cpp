#include "VOKDYNAbsoluteMotion.h"

#include <algorithm>
#include <complex>

#include "VOKDYNExcitationTools.h"

namespace vokdyn {

namespace {

// The support motion or the enforced displacements at every output and
// frequency, through one of the multi-frequency operations, added into
// ioValues.
template <class Call>
void AddPerFrequency(const std::vector<int>& iRowsOfOutput, std::size_t iRows,
                     std::size_t iFrequencies, Call iCall,
                     std::vector<std::vector<std::complex<double>>>& ioValues,
                     const std::vector<std::size_t>& iOutputs) {
  std::vector<std::vector<double>> re(iRows, std::vector<double>(iFrequencies, 0.0));
  std::vector<std::vector<double>> im(iRows, std::vector<double>(iFrequencies, 0.0));
  std::vector<double*> reRows, imRows;
  for (std::size_t r = 0; r < iRows; ++r) {
    reRows.push_back(re[r].data());
    imRows.push_back(im[r].data());
  }
  double** reTable = reRows.data();
  double** imTable = imRows.data();
  iCall(reTable, imTable);
  for (std::size_t k = 0; k < iOutputs.size(); ++k) {
    std::size_t r = static_cast<std::size_t>(iRowsOfOutput[k]);
    auto& column = ioValues[iOutputs[k]];
    for (std::size_t t = 0; t < iFrequencies; ++t) column[t] += std::complex<double>(re[r][t], im[r][t]);
  }
}


}  // namespace

void AddAbsoluteMotion(const Model& iModel, const StandIn& iStandIn, ExcitationType iType, Response& ioResponse) {
  const std::vector<float>& frequencies = ioResponse.frequencies;
  const std::size_t count = frequencies.size();
  Response& response = ioResponse;
  if (iModel.baseMotion.present || !iModel.enforced.empty()) {
    Owned<VOKDYNExcitationTools> result(new VOKDYNExcitationTools());
    Check(result->InitializeForResult(iStandIn.excitations, iStandIn.Tools(), iType),
          "VOKDYNExcitationTools::InitializeForResult");
    VOKRawCollfloat sweep;
    for (float f : frequencies) sweep.Append(f);

    if (iModel.baseMotion.present) {
      // One call per output node, with the node's components as rows.
      std::vector<int> nodes;
      for (const Output& o : iModel.outputs)
        if (std::find(nodes.begin(), nodes.end(), o.node) == nodes.end()) nodes.push_back(o.node);
      for (int node : nodes) {
        VOKRawCollint components;
        std::vector<int> rows;
        std::vector<std::size_t> outputs;
        for (std::size_t o = 0; o < iModel.outputs.size(); ++o) {
          if (iModel.outputs[o].node != node) continue;
          rows.push_back(components.Size());
          components.Append(iModel.outputs[o].component - 1);
          outputs.push_back(o);
        }
        AddPerFrequency(rows, static_cast<std::size_t>(components.Size()), count,
                        [&](double**& re, double**& im) {
                          Check(result->AddRigidExcit(node, components, sweep, re, im),
                                "VOKDYNExcitationTools::AddRigidExcit", " at node " + std::to_string(node));
                        },
                        response.values, outputs);
      }
    }
    if (!iModel.enforced.empty()) {
      // Each output's degree of freedom in the base's node-major numbering.
      std::vector<int> positions;
      for (const Output& out : iModel.outputs) positions.push_back(6 * iModel.NodeIndex(out.node) + (out.component - 1));
      VOKRawCollint dofs;
      std::vector<int> rows;
      std::vector<std::size_t> outputs;
      for (std::size_t o = 0; o < positions.size(); ++o) {
        rows.push_back(static_cast<int>(o));
        dofs.Append(positions[o]);
        outputs.push_back(o);
      }
      AddPerFrequency(rows, positions.size(), count,
                      [&](double**& re, double**& im) {
                        Check(result->AddEnforcedDispExcit(0, dofs, sweep, re, im),
                              "VOKDYNExcitationTools::AddEnforcedDispExcit");
                      },
                      response.values, outputs);
    }
  }
}

}  // namespace vokdyn
