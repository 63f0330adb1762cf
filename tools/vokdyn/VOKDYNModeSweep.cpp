#include "VOKDYNModeSweep.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

namespace vokdyn {

namespace {

std::string G(const char* iFormat, double iValue) {
  char text[48];
  std::snprintf(text, sizeof text, iFormat, iValue);
  return text;
}

}  // namespace

std::vector<double> ModelDampingRatios(const Model& iModel) {
  const Damping& d = iModel.damping;
  std::vector<double> zeta;
  for (std::size_t i = 0; i < iModel.base.modes.size(); ++i) {
    const Mode& mode = iModel.base.modes[i];
    if (d.type == DampingType::Structural) {
      // At resonance k (1 + i eta) acts as a viscous ratio eta / 2.
      zeta.push_back((d.perMode ? d.etaPerMode[i] : d.eta) / 2.0);
    } else if (!d.table.empty()) {
      zeta.push_back(TablePercent(d.table, mode.frequency) / 100.0);
    } else if (d.type == DampingType::Modal) {
      zeta.push_back((d.perMode ? d.percentPerMode[i] : d.percent) / 100.0);
    } else {
      const double alpha = d.perMode ? d.alphaPerMode[i] : d.alpha, beta = d.perMode ? d.betaPerMode[i] : d.beta;
      zeta.push_back((alpha * mode.generalizedMass + beta * mode.generalizedStiffness) / 100.0 /
                     (2.0 * std::sqrt(mode.generalizedStiffness * mode.generalizedMass)));
    }
  }
  return zeta;
}

std::vector<double> ModeClusteredFrequencies(double iFrom, double iTo, int iCoarseSteps, int iPointsPerMode,
                                             const std::vector<Mode>& iModes, const std::vector<double>& iZeta) {
  std::vector<float> points;
  auto add = [&](double iF) {
    if (iF >= iFrom && iF <= iTo) points.push_back(static_cast<float>(iF));
  };
  for (int k = 0; k < iCoarseSteps; ++k)
    add(k == iCoarseSteps - 1 ? iTo : iFrom * std::pow(iTo / iFrom, static_cast<double>(k) / (iCoarseSteps - 1)));
  for (std::size_t i = 0; i < iModes.size(); ++i) {
    const double f = iModes[i].frequency;
    if (f < iFrom || f > iTo) continue;
    const double z = std::max(iZeta[i], kClusterMinimumZeta);
    for (int k = 0; k < iPointsPerMode; ++k)
      add(f * (1.0 + z * (2.0 * k / (iPointsPerMode - 1) - 1.0)));
    for (double spread = 2.0 * z; spread < 1.0 && spread <= 8.0 * z; spread *= 2.0) {
      add(f * (1.0 - spread));
      add(f * (1.0 + spread));
    }
  }
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  return std::vector<double>(points.begin(), points.end());
}

std::vector<std::string> PeakResolutionWarnings(const Model& iModel, const std::vector<double>& iZeta,
                                                const std::vector<float>& iFrequencies) {
  std::vector<std::string> warnings;
  if (iFrequencies.empty()) return warnings;
  const double low = iFrequencies.front(), high = iFrequencies.back();
  for (std::size_t i = 0; i < iModel.base.modes.size() && i < iZeta.size(); ++i) {
    const double f = iModel.base.modes[i].frequency, zeta = iZeta[i];
    if (f < low || f > high || !(zeta < 0.2)) continue;
    const double bandLow = f * (1.0 - zeta), bandHigh = f * (1.0 + zeta);
    // A point placed on an end of the band is in it, whichever way single
    // precision rounded it (at most 6e-8 relative).
    const double reach = f * zeta + 1e-7 * f;
    int inBand = 0;
    double nearest = iFrequencies.front();
    for (float point : iFrequencies) {
      const double p = point;
      if (std::fabs(p - f) <= reach) ++inBand;
      if (std::fabs(p - f) < std::fabs(nearest - f)) nearest = p;
    }
    if (inBand >= 3) continue;
    std::string missed;
    if (zeta > 0.0) {
      const double r = nearest / f;
      const double response = 1.0 / std::abs(std::complex<double>(1.0 - r * r, 2.0 * zeta * r));
      const double peak = 1.0 / (2.0 * zeta * std::sqrt(1.0 - zeta * zeta));
      missed = "may read the peak " + G("%.3g", 100.0 * (1.0 - response / peak)) + " % low";
    } else {
      missed = "cannot reach the peak of an undamped mode";
    }
    warnings.push_back("mode " + std::to_string(i + 1) + " (" + G("%.9g", f) + " Hz, " + G("%.3g", 100.0 * zeta) +
                       " % of critical): " + std::to_string(inBand) + (inBand == 1 ? " point" : " points") +
                       " in its half-power band " + G("%.9g", bandLow) + " to " + G("%.9g", bandHigh) +
                       " Hz; the nearest point, " + G("%.9g", nearest) + " Hz, " + missed +
                       " (one-mode estimate; \"spacing\": \"modes\" resolves it)");
  }
  // A coarse sweep over many modes: the first ten, then a count.
  if (warnings.size() > kPeakWarningsListed) {
    const std::size_t more = warnings.size() - kPeakWarningsListed;
    warnings.resize(kPeakWarningsListed);
    warnings.push_back("and " + std::to_string(more) + " more mode" + (more == 1 ? "" : "s") +
                       " with fewer than 3 points in the half-power band");
  }
  return warnings;
}

}  // namespace vokdyn
