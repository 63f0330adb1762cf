// Generalized displacements per time step.
#include "VOKHostResponses.h"
#include "VOKHostTesting.h"

namespace VOKHost {

GeneralizedDisplacement* GeneralizedDisplacement::Create(const std::string& iName) {
  return new GeneralizedDisplacement(iName);
}

GeneralizedDisplacement::GeneralizedDisplacement(const std::string& iName)
    : Feature(iName, FacetSpecObject | FacetAlias) {}
GeneralizedDisplacement::~GeneralizedDisplacement() = default;

void* GeneralizedDisplacement::Answer(const IID& iIID) {
  if (iIID == IID_VOKIDYNGeneralizedDisplacement)
    return static_cast<VOKIDYNGeneralizedDisplacement*>(this);
  return Feature::Answer(iIID);
}

void GeneralizedDisplacement::AddStep(const std::vector<double>& iValues) { _Steps.push_back(iValues); }

long GeneralizedDisplacement::GetStepValues(int iStep, int& oCount, double*& oValues) {
  FaultPoint fp("VOKIDYNGeneralizedDisplacement::GetStepValues");
  oCount = 0;
  oValues = nullptr;
  if (fp.Fail()) return fp.Result();
  if (iStep < 0 || iStep >= StepCount()) return E_INVALIDARG;
  const std::vector<double>& row = _Steps[static_cast<std::size_t>(iStep)];
  oValues = new double[row.size()];
  for (std::size_t j = 0; j < row.size(); ++j) oValues[j] = row[j];
  oCount = static_cast<int>(row.size());
  return S_OK;
}

}  // namespace VOKHost
