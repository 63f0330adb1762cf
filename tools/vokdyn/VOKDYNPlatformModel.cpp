#include "VOKDYNPlatformModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <thread>

#include "VOKDYNNpy.h"

#include "VOKDYNDampingTools.h"

namespace vokdyn {

namespace {

constexpr double kPi = 3.141592653589793;

// Phases are given in degrees and handed to the platform in radians, in
// single precision as the excitations store them.
float PhaseRadians(double iDegrees) { return static_cast<float>(iDegrees * (kPi / 180.0)); }

std::vector<double> NodeMajor(const std::vector<Vec6>& iRows) {
  std::vector<double> out;
  out.reserve(6 * iRows.size());
  for (const Vec6& row : iRows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

[[noreturn]] void ThrowNonFinite(const Model& iModel, const ModeShapes::Element& iElement) {
  throw ModelError(iModel.source + ": modal_base.shapes: " + iModel.base.shapesFile + ": " +
                   NonFiniteText(iElement, iModel.base.shapes.FlatIndex()));
}

bool RowFinite(const double* iRow) {
  return std::isfinite(iRow[0] * 0.0 + iRow[1] * 0.0 + iRow[2] * 0.0 + iRow[3] * 0.0 + iRow[4] * 0.0 +
                       iRow[5] * 0.0);
}

// The node indices of the rows a run reads when the participation factors
// are given and every enforced set gives its modal force: the loaded nodes
// (Phi^T f) and the outputs.
std::vector<std::size_t> RowsOfRun(const Model& iModel) {
  std::vector<std::size_t> rows;
  auto add = [&](int iId) {
    const int index = iModel.NodeIndex(iId);
    if (index >= 0) rows.push_back(static_cast<std::size_t>(index));
  };
  for (const Load& l : iModel.loads)
    for (const NodalForce& f : l.forces) add(f.node);
  for (const Output& o : iModel.outputs) add(o.node);
  return rows;
}

// A mode's participation factors, or an enforced set's modal force
// (-Phi^T M D), from the nodal masses: every row.
bool ReadsEveryRow(const Model& iModel) {
  for (const Mode& m : iModel.base.modes)
    if (!m.hasParticipation) return true;
  for (const Enforced& e : iModel.enforced)
    if (!e.hasModalForce) return true;
  return false;
}

// The participation factors of every mode that does not give them, in one
// pass over the shapes, which also checks every value: the rows are read
// in the table's order, so the first value found not finite is the first
// of the table.
void ComputeParticipation(const Model& iModel, std::vector<std::optional<std::array<double, 6>>>& oFactors,
                          int iThreads) {
  const ModeShapes& shapes = iModel.base.shapes;
  const std::size_t modes = iModel.base.modes.size(), nodes = iModel.nodes.size();
  constexpr std::size_t L = kParticipationLanes, kBlock = std::size_t(1) << 15;  // rows per block
  std::vector<std::array<double, 6>> sums(modes, std::array<double, 6>{});
  // One mode alone, in the table's order: its sums when they are computed,
  // or its first value that is not finite.
  auto scan = [&](std::size_t iMode) -> std::optional<ModeShapes::Element> {
    sums[iMode] = std::array<double, 6>{};
    const bool computed = !iModel.base.modes[iMode].hasParticipation;
    for (std::size_t first = 0; first < nodes; first += kBlock) {
      const std::size_t count = std::min(kBlock, nodes - first);
      const double* rows = shapes.Row(iMode, first);
      std::size_t k = 0;
      if (computed) k = AddParticipationTerms(rows, iModel.nodes.data() + first, count, sums[iMode].data());
      else while (k < count && RowFinite(rows + 6 * k)) ++k;
      for (std::size_t c = 0; k < count && c < 6; ++c)
        if (!std::isfinite(rows[6 * k + c])) return ModeShapes::Element{iMode, first + k, c, rows[6 * k + c]};
      shapes.Passed(iMode, first, count);
    }
    return std::nullopt;
  };
  // Modes [i, i + L) at once, a lane each; false when a value is not finite
  // (the sums are then to be formed again mode by mode).
  auto group = [&](std::size_t i) {
    double laneSums[L][6] = {};
    for (std::size_t first = 0; first < nodes; first += kBlock) {
      const std::size_t count = std::min(kBlock, nodes - first);
      const double* rows[L];
      for (std::size_t l = 0; l < L; ++l) rows[l] = shapes.Row(i + l, first);
      for (std::size_t k = 0; k < count;) {
        const double* at[L];
        for (std::size_t l = 0; l < L; ++l) at[l] = rows[l] + 6 * k;
        k += AddParticipationTermsOfModes(at, iModel.nodes.data() + first + k, count - k, laneSums);
        if (k == count) break;
        // A chunk with a row whose phi m is not finite in some lane: each
        // lane alone.
        const std::size_t n = std::min(kParticipationChunk, count - k);
        for (std::size_t l = 0; l < L; ++l)
          if (AddParticipationTerms(rows[l] + 6 * k, iModel.nodes.data() + first + k, n, laneSums[l]) < n) return false;
        k += n;
      }
      for (std::size_t l = 0; l < L; ++l) shapes.Passed(i + l, first, count);
    }
    for (std::size_t l = 0; l < L; ++l) std::copy(laneSums[l], laneSums[l] + 6, sums[i + l].begin());
    return true;
  };
  // The modes are shared among the threads in ranges, each mode's sums
  // formed by one lane of one thread in the one order: the same bits for
  // any count. Each thread stops at its first value that is not finite; the
  // first of the lowest range that has one is the first of the table.
  const std::size_t threads = std::max<std::size_t>(1, std::min<std::size_t>(modes, static_cast<std::size_t>(std::max(iThreads, 1))));
  std::vector<std::optional<ModeShapes::Element>> bad(threads);
  auto work = [&](std::size_t iThread) {
    const std::size_t end = modes * (iThread + 1) / threads;
    for (std::size_t i = modes * iThread / threads; i < end && !bad[iThread];) {
      if (end - i >= L && group(i)) {
        i += L;
        continue;
      }
      const std::size_t stop = end - i >= L ? i + L : i + 1;
      for (; i < stop && !bad[iThread]; ++i) bad[iThread] = scan(i);
    }
  };
  if (!shapes.Checked() || std::any_of(iModel.base.modes.begin(), iModel.base.modes.end(),
                                       [](const Mode& m) { return !m.hasParticipation; })) {
    std::vector<std::thread> others;
    for (std::size_t t = 1; t < threads; ++t) others.emplace_back(work, t);
    work(0);
    for (std::thread& t : others) t.join();
  }
  for (const std::optional<ModeShapes::Element>& b : bad)
    if (b) ThrowNonFinite(iModel, *b);
  oFactors.clear();
  for (std::size_t i = 0; i < modes; ++i)
    oFactors.emplace_back(iModel.base.modes[i].hasParticipation ? iModel.base.modes[i].participation : sums[i]);
}

void BuildBase(const Model& iModel, StandIn& ioStandIn, bool iReadShapes) {
  VOKHost::ModalBaseDefinition def;
  def.name = iModel.base.name;
  def.dampingDiagonal = iModel.base.dampingDiagonal;
  for (const Node& n : iModel.nodes) {
    VOKHost::ModalNode node;
    node.id = n.id;
    node.position = n.xyz;
    if (n.hasMass) node.mass = n.mass;
    def.nodes.push_back(node);
  }
  bool anyParticipation = false;
  for (const Mode& m : iModel.base.modes) anyParticipation |= m.hasParticipation;
  for (const Mode& m : iModel.base.modes) {
    def.modalMasses.push_back(m.generalizedMass);
    def.modalStiffnesses.push_back(m.generalizedStiffness);
    def.frequencies.push_back(m.frequency);
  }
  // The base reads the shapes where they are.
  if (iModel.base.modes.size() == iModel.base.shapes.Modes() && iModel.nodes.size() == iModel.base.shapes.Nodes())
    def.shapeTable = iModel.base.shapes.Share();
  if (iReadShapes && ReadsEveryRow(iModel)) {
    ComputeParticipation(iModel, def.participation, 1);
  } else {
    if (iReadShapes) RequireFiniteRows(iModel, RowsOfRun(iModel));
    if (anyParticipation)
      for (const Mode& m : iModel.base.modes) {
        if (m.hasParticipation) def.participation.emplace_back(m.participation);
        else def.participation.emplace_back(std::nullopt);
      }
  }
  std::string error;
  ioStandIn.base = Owned<VOKHost::ModalBase>(VOKHost::ModalBase::Create(def, &error));
  if (!ioStandIn.base) throw ModelError(iModel.source + ": modal_base: the platform refuses the modal base: " + error);
  ioStandIn.base->Access()->SetUpToDate(iModel.base.upToDate);
}

void BuildDamping(const Model& iModel, StandIn& ioStandIn) {
  VOKHost::DampingFeatureBuilder builder;
  const Damping& d = iModel.damping;
  if (d.ComputedByTool()) {
    builder.Modal(0.0);
  } else if (d.type == DampingType::Modal) {
    if (d.perMode) builder.ModalPerMode(d.percentPerMode);
    else builder.Modal(d.percent);
  } else {
    if (d.perMode) builder.RayleighPerMode(d.alphaPerMode, d.betaPerMode);
    else builder.Rayleigh(d.alpha, d.beta);
  }
  builder.LinkBase(ioStandIn.base.Get()).DisplayName("damping of " + iModel.name);
  ioStandIn.damping = Owned<VOKHost::Feature>(builder.Build());
}

void BuildExcitations(const Model& iModel, StandIn& ioStandIn) {
  for (const Modulation& m : iModel.modulations) {
    std::vector<std::pair<double, double>> points;
    for (const auto& p : m.points) points.emplace_back(p[0], p[1]);
    ioStandIn.modulations.emplace_back(VOKHost::Modulation::Create(m.name, points));
    if (!ioStandIn.modulations.back())
      throw ModelError(iModel.source + ": modulations." + m.name + ": the platform refuses its points");
  }
  auto modulation = [&ioStandIn](int iIndex) -> VOKBaseUnknown* {
    return static_cast<VOKIDYNModulation*>(ioStandIn.modulations.at(static_cast<std::size_t>(iIndex)).Get());
  };

  if (!iModel.loads.empty() || !iModel.enforced.empty()) {
    ioStandIn.loadExcitation = Owned<VOKHost::LoadExcitation>(VOKHost::LoadExcitation::Create("loads"));
    for (const Load& l : iModel.loads) {
      Owned<VOKHost::NodalLoad> load(VOKHost::NodalLoad::Create(l.name));
      for (const NodalForce& f : l.forces) load->AddNodalValues(f.node, f.values);
      ioStandIn.loadExcitation->AddEntry(static_cast<VOKHost::ModalForceSource*>(load.Get()),
                                         modulation(l.modulation), static_cast<float>(l.amplitude),
                                         PhaseRadians(l.phaseDeg));
    }
    for (const Enforced& e : iModel.enforced) {
      std::vector<double> field = NodeMajor(e.staticDisplacement);
      // The enforced positions: where the unit field is not zero.
      std::vector<int> positions;
      for (std::size_t p = 0; p < field.size(); ++p)
        if (field[p] != 0.0) positions.push_back(static_cast<int>(p));
      Owned<VOKHost::EnforcedLoadSet> set(VOKHost::EnforcedLoadSet::Create(e.name, positions, field));
      if (e.hasModalForce) set->SetGeneralisedForce(e.modalForce);
      ioStandIn.loadExcitation->AddEntry(static_cast<VOKHost::Feature*>(set.Get()),
                                         modulation(e.modulation), static_cast<float>(e.amplitude),
                                         PhaseRadians(e.phaseDeg));
    }
    ioStandIn.excitations.Append(VOKBaseUnknown_var(
        static_cast<VOKIDYNExcitation*>(static_cast<VOKHost::ExcitationBase*>(ioStandIn.loadExcitation.Get()))));
  }
  if (iModel.baseMotion.present) {
    ioStandIn.restraint =
        Owned<VOKHost::RestraintExcitation>(VOKHost::RestraintExcitation::Create("base motion"));
    for (const BaseDirection& d : iModel.baseMotion.directions)
      ioStandIn.restraint->AddDirection(d.direction, static_cast<float>(d.amplitude),
                                        PhaseRadians(d.phaseDeg), modulation(d.modulation));
    const Axis& a = iModel.baseMotion.axis;
    if (a.given) {
      double z[3] = {a.x[1] * a.y[2] - a.x[2] * a.y[1], a.x[2] * a.y[0] - a.x[0] * a.y[2],
                     a.x[0] * a.y[1] - a.x[1] * a.y[0]};
      ioStandIn.restraint->SetAxis(VOKMathAxis(a.origin.data(), a.x.data(), a.y.data(), z));
    }
    ioStandIn.excitations.Append(VOKBaseUnknown_var(
        static_cast<VOKIDYNExcitation*>(static_cast<VOKHost::ExcitationBase*>(ioStandIn.restraint.Get()))));
  }
}

}  // namespace

void RequireFiniteRows(const Model& iModel, const std::vector<std::size_t>& iNodes) {
  ModeShapes::Element bad;
  if (iModel.base.shapes.FirstNonFinite(&iNodes, bad)) ThrowNonFinite(iModel, bad);
}

void KeepRowsOfRun(Model& ioModel, int iThreads) {
  for (const Enforced& e : ioModel.enforced)
    if (!e.hasModalForce) return;  // the base reads every row
  if (ReadsEveryRow(ioModel)) {
    // The factors the model does not give, in one pass that reads the file
    // rather than mapping it; the model then gives them.
    std::vector<std::optional<std::array<double, 6>>> factors;
    ComputeParticipation(ioModel, factors, iThreads);
    for (std::size_t i = 0; i < factors.size(); ++i) {
      ioModel.base.modes[i].participation = *factors[i];
      ioModel.base.modes[i].hasParticipation = true;
    }
  }
  ioModel.base.shapes = ioModel.base.shapes.ReadRows(RowsOfRun(ioModel));
}

void RequireFiniteShapes(const Model& iModel) {
  const ModeShapes& shapes = iModel.base.shapes;
  if (shapes.Checked()) return;
  shapes.AdviseSequential(true);
  ModeShapes::Element bad;
  const bool found = shapes.FirstNonFinite(nullptr, bad);
  shapes.AdviseSequential(false);
  if (found) ThrowNonFinite(iModel, bad);
}

StandIn BuildStandIn(const Model& iModel, bool iReadShapes) {
  StandIn standIn;
  BuildBase(iModel, standIn, iReadShapes);
  BuildDamping(iModel, standIn);
  BuildExcitations(iModel, standIn);
  return standIn;
}

ComputationError::ComputationError(const std::string& iOperation, long iResult,
                                   const std::string& iContext)
    : std::runtime_error(iOperation + " failed" + iContext + ": result " + HexResult(iResult)),
      _Operation(iOperation),
      _Result(iResult) {}

std::string HexResult(long iResult) {
  char buffer[48];
  const char* name = VOKResultText(iResult, buffer);
  std::string text = name ? name : "";
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(iResult) & 0xFFFFFFFFul);
  // The platform's text already carries the hexadecimal form.
  if (text.find(hex) != std::string::npos) return text;
  return text.empty() ? std::string(hex) : std::string(hex) + " (" + text + ")";
}

void Check(long iResult, const char* iOperation, const std::string& iContext) {
  if (iResult < 0) throw ComputationError(iOperation, iResult, iContext);
}

DampingInfo QueryDamping(const Model& iModel, const StandIn& iStandIn) {
  DampingInfo info;
  VOKDYNDampingTools tools(static_cast<VOKISpecObject*>(iStandIn.damping.Get()));

  unsigned char upToDate = 0;
  // With the warning on, a stale base is shown to the user by the tools.
  Check(tools.CheckIfBaseUptoDate(upToDate, 1), "VOKDYNDampingTools::CheckIfBaseUptoDate");
  info.baseUpToDate = upToDate != 0;

  VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
  Check(tools.CheckDefinition(validity), "VOKDYNDampingTools::CheckDefinition");
  unsigned char diagonal = 0;
  VOKDYNDampingType type = VOKDYNDampingTypeUnknown;
  Check(tools.GetDampingDefinition(diagonal, type), "VOKDYNDampingTools::GetDampingDefinition");
  info.type = type == VOKDYNDampingTypeRayleigh ? "Rayleigh" : type == VOKDYNDampingTypeModal ? "modal" : "unknown";
  info.perMode = iModel.damping.perMode;
  switch (validity) {
    case VOKDYNDampingValid:
      info.validity = "valid";
      break;
    case VOKDYNDampingBaseCheckFailed:
      info.validity = "valid; the base failed its state check";
      break;
    default:
      info.validity = "invalid";
      break;
  }
  if (validity == VOKDYNDampingInvalid)
    throw ModelError(iModel.source + ": damping: the damping tools find the definition invalid for modal base \"" +
                     iModel.base.name + "\" (" + std::to_string(iModel.base.modes.size()) +
                     " modes): a per-mode list must give one value per mode");

  if (!iModel.base.dampingDiagonal)
    throw ModelError(iModel.source + ": modal_base.damping_diagonal: the damping tools compute damping only for a "
                     "base whose damping matrix is diagonal in the modal base");
  VOKRawColldouble values;
  Check(tools.GetDampingValues(values), "VOKDYNDampingTools::GetDampingValues");
  if (values.Size() != static_cast<int>(iModel.base.modes.size()))
    throw ComputationError("VOKDYNDampingTools::GetDampingValues", S_OK,
                           " to give one value per mode (" + std::to_string(values.Size()) +
                               " values for " + std::to_string(iModel.base.modes.size()) + " modes)");
  for (int i = 1; i <= values.Size(); ++i) info.values.push_back(values[i]);
  info.valid = true;
  const Damping& d = iModel.damping;
  if (d.ComputedByTool()) {
    const std::vector<Mode>& modes = iModel.base.modes;
    for (std::size_t i = 0; i < modes.size(); ++i) {
      const Mode& m = modes[i];
      if (d.type == DampingType::Structural) {
        info.values[i] = 0.0;
        info.structural.push_back(d.perMode ? d.etaPerMode[i] : d.eta);
      } else {
        info.values[i] = std::sqrt(m.generalizedMass * m.generalizedStiffness) * (TablePercent(d.table, m.frequency) * 2.0) / 100.0;
      }
    }
    info.type = d.type == DampingType::Structural ? "structural" : "modal table";
  }
  return info;
}

DampingInfo CheckDamping(const Model& iModel) {
  StandIn standIn = BuildStandIn(iModel, false);
  return QueryDamping(iModel, standIn);
}

std::vector<double> DampingRatios(const Model& iModel, const std::vector<double>& iValues) {
  std::vector<double> zeta;
  for (std::size_t i = 0; i < iValues.size() && i < iModel.base.modes.size(); ++i) {
    const Mode& m = iModel.base.modes[i];
    zeta.push_back(iValues[i] / (2.0 * std::sqrt(m.generalizedStiffness * m.generalizedMass)));
  }
  return zeta;
}

namespace {

std::string Percent(double iRatio) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g %%", 100.0 * iRatio);
  return text;
}

// "mode 1 (1.5 Hz) 0.03 %, mode 2 (4 Hz) 0.03 %": at most ten, then a count.
std::string ModeList(const Model& iModel, const std::vector<double>& iZeta, const std::vector<std::size_t>& iModes) {
  std::string text;
  for (std::size_t k = 0; k < iModes.size() && k < 10; ++k) {
    char mode[64];
    std::snprintf(mode, sizeof mode, "mode %zu (%.9g Hz) ", iModes[k] + 1, iModel.base.modes[iModes[k]].frequency);
    text += (k ? ", " : "") + std::string(mode) + Percent(iZeta[iModes[k]]);
  }
  if (iModes.size() > 10) text += " and " + std::to_string(iModes.size() - 10) + " more";
  return text;
}

}  // namespace

std::vector<std::string> DampingWarnings(const Model& iModel, const std::vector<double>& iValues) {
  // Structural damping is a loss factor, not a ratio typed in percent.
  if (iModel.damping.type == DampingType::Structural) return {};
  const std::vector<double> zeta = DampingRatios(iModel, iValues);
  const bool modal = iModel.damping.type == DampingType::Modal;
  // Modal damping is typed as a percent: below 0.1 % it is most likely a
  // fraction (0.03 for 3 %), which would leave the resonances almost
  // undamped. Rayleigh damping varies across the modes by construction; only
  // a mode out of any physical range is suspicious.
  const double low = modal ? 0.001 : 0.0001, high = modal ? 0.5 : 1.0;
  std::vector<std::size_t> below, above;
  for (std::size_t i = 0; i < zeta.size(); ++i) {
    if (modal ? (zeta[i] > 0.0 && zeta[i] < low) : !(zeta[i] >= low)) below.push_back(i);
    if (zeta[i] > high) above.push_back(i);
  }
  std::vector<std::string> warnings;
  const std::string where = iModel.source + ": damping: ";
  if (!below.empty())
    warnings.push_back(where + (modal ? "below 0.1 % of critical, a fraction typed as a percent? (3 % is \"percent\": 3): "
                                      : "below 0.01 % of critical: ") +
                       ModeList(iModel, zeta, below));
  if (!above.empty())
    warnings.push_back(where + "above " + Percent(high) + " of critical: " + ModeList(iModel, zeta, above));
  return warnings;
}

}  // namespace vokdyn
