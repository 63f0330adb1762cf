// Modulations of the stand-in's dynamic-response model: piecewise-linear
// tables of factors over a frequency or a time.
#include <cmath>
#include <limits>

#include "VOKHostDynamics.h"

namespace VOKHost {

Modulation* Modulation::Create(const std::string& iName,
                               const std::vector<std::pair<double, double>>& iPoints) {
  for (std::size_t k = 1; k < iPoints.size(); ++k)
    if (!(iPoints[k - 1].first <= iPoints[k].first)) return nullptr;
  for (const auto& point : iPoints)
    if (!std::isfinite(point.first)) return nullptr;
  return new Modulation(iName, iPoints);
}

Modulation* Modulation::Constant(const std::string& iName, double iFactor) {
  return new Modulation(iName, {{0.0, iFactor}});
}

Modulation::Modulation(const std::string& iName,
                       const std::vector<std::pair<double, double>>& iPoints)
    : Feature(iName, FacetSpecObject | FacetAlias), _Points(iPoints) {}
Modulation::~Modulation() = default;

void* Modulation::Answer(const IID& iIID) {
  if (iIID == IID_VOKIDYNModulation) return static_cast<VOKIDYNModulation*>(this);
  return Feature::Answer(iIID);
}

double Modulation::Evaluate(double iAbscissa) {
  if (_Points.empty()) return 0.0;
  if (std::isnan(iAbscissa)) return std::numeric_limits<double>::quiet_NaN();
  if (iAbscissa <= _Points.front().first) return _Points.front().second;
  if (iAbscissa >= _Points.back().first) return _Points.back().second;
  // First point strictly beyond the abscissa; at a repeated abscissa (a step)
  // the value after the step applies.
  std::size_t k = 1;
  while (_Points[k].first <= iAbscissa) ++k;
  const auto& a = _Points[k - 1];
  const auto& b = _Points[k];
  return a.second + (b.second - a.second) * ((iAbscissa - a.first) / (b.first - a.first));
}

}  // namespace VOKHost
