#ifndef VOKDYNModeSweep_h
#define VOKDYNModeSweep_h
// Sweeps that resolve the resonance peaks: frequencies clustered on each
// mode's half-power band, and the warning for a sweep that can step over a
// lightly damped peak.
#include <cstddef>
#include <string>
#include <vector>

#include "VOKDYNModel.h"

namespace vokdyn {

/// The smallest damping ratio used to place points on a mode: an undamped
/// mode gets the points of a mode with 0.01 % of critical damping.
constexpr double kClusterMinimumZeta = 1e-4;

/// The damping ratio zeta_i of every mode from the model's damping
/// definition: modal p/100; Rayleigh (alpha m_i + beta k_i) / 100 /
/// (2 sqrt(k_i m_i)).
std::vector<double> ModelDampingRatios(const Model& iModel);

/// The frequencies of a sweep clustered on the modes, ascending, each a
/// single-precision value (as a double), each once: a log sweep of
/// iCoarseSteps points from iFrom to iTo, and for each mode of frequency
/// f_i in [iFrom, iTo] with z = max(zeta_i, kClusterMinimumZeta)
/// iPointsPerMode points evenly spaced over its half-power band
/// f_i (1 - z) .. f_i (1 + z) (ends included) and, around the band,
/// f_i (1 +- 2^j z) for j = 1, 2, 3 while 2^j z < 1; points outside
/// [iFrom, iTo] are left out.
std::vector<double> ModeClusteredFrequencies(double iFrom, double iTo, int iCoarseSteps, int iPointsPerMode,
                                             const std::vector<Mode>& iModes, const std::vector<double>& iZeta);

/// Modes named one by one in the peak-resolution warnings; the rest counted.
constexpr std::size_t kPeakWarningsListed = 10;

/// One warning per mode (the first kPeakWarningsListed, then one line
/// counting the others) within the sweep's range with zeta_i below 20 % that
/// has fewer than 3 of iFrequencies in its half-power band
/// f_i (1 - zeta_i) .. f_i (1 + zeta_i) (widened by 1e-7 f_i, so that a point
/// placed on an end counts whichever way single precision rounded it): it names the mode, the points in the
/// band, the sweep point nearest f_i, and how far below the peak that point
/// can read, 1 - |H(f)| / max |H| for one mode, H(f) = 1 / (1 - r^2 + i 2
/// zeta r), r = f / f_i, max |H| = 1 / (2 zeta sqrt(1 - zeta^2)).
std::vector<std::string> PeakResolutionWarnings(const Model& iModel, const std::vector<double>& iZeta,
                                                const std::vector<float>& iFrequencies);

}  // namespace vokdyn

#endif
