#include "VOKDYNTransient.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "VOKDYNExcitationTools.h"
#include "VOKDYNOutput.h"
#include "VOKDYNPlatformModel.h"
#include "VOKDYNSweep.h"
#include "VOKDYNTextWriter.h"

namespace vokdyn {

namespace {

const std::vector<std::string> kTransientKeys = {"duration", "time_step", "response", "absolute", "inputs"};
const std::vector<std::string> kHistoryInputKeys = {"load", "base_direction", "enforced", "history", "file"};

// More output times than this is a slip (a step in the wrong unit).
constexpr double kMaxSteps = 1e8;
// Time points per evaluation of the excitation, and per summing batch.
constexpr std::size_t kTimeBatch = 4096;
// Modes per integration batch.
constexpr std::size_t kModeBatch = 4;

std::string Number(double iValue) {
  char buffer[kGeneralMax];
  return std::string(buffer, WriteGeneral(buffer, iValue, 9));
}

// Times from 0 up, increasing, values finite; at least two points.
void CheckHistory(const Table& iTable, const std::string& iWhere) {
  if (iTable.size() < 2) throw InputError(iWhere + ": expected at least two (time, value) points");
  for (std::size_t i = 0; i < iTable.size(); ++i) {
    if (!std::isfinite(iTable[i][0]) || !std::isfinite(iTable[i][1]) || iTable[i][0] < 0.0)
      throw InputError(iWhere + ": point " + std::to_string(i + 1) + ": expected a time >= 0 and a finite value, got " +
                       Number(iTable[i][0]) + ", " + Number(iTable[i][1]));
    if (i > 0 && !(iTable[i][0] > iTable[i - 1][0]))
      throw InputError(iWhere + ": point " + std::to_string(i + 1) + ": time " + Number(iTable[i][0]) +
                       " does not exceed " + Number(iTable[i - 1][0]));
  }
}

// A two-column text file: time and value per line, separated by a comma, a
// semicolon or blanks; blank lines and lines starting with '#' are skipped,
// and a first line that does not start with a number is a header.
Table ReadHistoryFile(const std::string& iText, const std::string& iPath) {
  Table table;
  std::istringstream in(iText);
  std::string line;
  bool first = true;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    for (char& ch : line)
      if (ch == ',' || ch == ';' || ch == '\t') ch = ' ';
    const char* p = line.c_str();
    char* end = nullptr;
    const double t = std::strtod(p, &end);
    const bool number1 = end != p;
    const char* q = end;
    const double v = number1 ? std::strtod(q, &end) : 0.0;
    const bool number2 = number1 && end != q;
    const bool rest = number2 && std::string(end).find_first_not_of(' ') == std::string::npos;
    if (!number1 && first) {
      first = false;
      continue;
    }
    first = false;
    if (!rest)
      throw InputError(iPath + ": line " + std::to_string(number) + ": expected two numbers (time, value), got \"" +
                       line.substr(0, 60) + "\"");
    table.push_back({t, v});
  }
  CheckHistory(table, iPath);
  return table;
}

std::string Resolve(const std::string& iModelFile, const std::string& iPath) {
  if (!iPath.empty() && iPath[0] == '/') return iPath;
  if (iModelFile == "<stdin>") return iPath;
  const std::size_t slash = iModelFile.find_last_of('/');
  return slash == std::string::npos ? iPath : iModelFile.substr(0, slash + 1) + iPath;
}

// The value of a history at iT: linear between points, constant outside.
double HeldValue(const Table& iTable, double iT) {
  if (iT <= iTable.front()[0]) return iTable.front()[1];
  if (iT >= iTable.back()[0]) return iTable.back()[1];
  auto after = std::upper_bound(iTable.begin(), iTable.end(), iT,
                                [](double t, const std::array<double, 2>& p) { return t < p[0]; });
  const auto& hi = *after;
  const auto& lo = *(after - 1);
  return lo[1] + (iT - lo[0]) / (hi[0] - lo[0]) * (hi[1] - lo[1]);
}

// The model of the run: the inputs' excitations alone, each of amplitude 1
// with its history as modulation (time as the abscissa).
Model TimeModel(const Model& iModel, const TransientSection& iTransient) {
  Model m = iModel;
  m.loads.clear();
  m.enforced.clear();
  m.baseMotion.present = false;
  m.baseMotion.directions.clear();
  for (std::size_t k = 0; k < iTransient.inputs.size(); ++k) {
    const TransientInput& in = iTransient.inputs[k];
    Modulation history;
    history.name = "history of " + in.excitation.name;
    for (const auto& p : in.history) history.points.push_back(p);
    m.modulations.push_back(history);
    const int modulation = static_cast<int>(m.modulations.size()) - 1;
    auto unit = [modulation](auto& ioExcitation) {
      ioExcitation.amplitude = 1.0;
      ioExcitation.phaseDeg = 0.0;
      ioExcitation.modulation = modulation;
    };
    switch (in.excitation.kind) {
      case InputKind::Load:
        m.loads.push_back(iModel.loads[in.excitation.index]);
        unit(m.loads.back());
        break;
      case InputKind::Enforced:
        m.enforced.push_back(iModel.enforced[in.excitation.index]);
        unit(m.enforced.back());
        break;
      case InputKind::Base:
        m.baseMotion.present = true;
        m.baseMotion.directions.push_back(iModel.baseMotion.directions[in.excitation.index]);
        unit(m.baseMotion.directions.back());
        break;
    }
  }
  return m;
}

}  // namespace

TransientSection ReadTransientSection(const JsonValue& iRoot, const std::string& iFile, const Model& iModel,
                                      const ReferencedFileReader& iReader) {
  TransientSection transient;
  const JsonValue* section = JsonReader::Find(iRoot, "transient");
  if (!section) return transient;
  JsonReader r(iFile);
  const std::string path = "transient";
  r.Object(*section, path, kTransientKeys);
  transient.present = true;
  transient.duration = r.Positive(r.Require(*section, path, "duration", "a duration > 0 (s)"), JsonMember(path, "duration"));
  transient.step = r.Positive(r.Require(*section, path, "time_step", "an output time step > 0 (s)"),
                              JsonMember(path, "time_step"));
  const double steps = std::floor(transient.duration / transient.step * (1.0 + 1e-12));
  if (steps > kMaxSteps)
    r.Fail(JsonMember(path, "time_step"), "a duration of " + Number(transient.duration) + " s in steps of " +
                                               Number(transient.step) + " s makes more than 1e8 steps");
  if (steps < 1.0)
    r.Fail(JsonMember(path, "time_step"), "the step " + Number(transient.step) + " s exceeds the duration " +
                                               Number(transient.duration) + " s");
  transient.steps = static_cast<std::size_t>(steps);
  if (const JsonValue* response = JsonReader::Find(*section, "response")) {
    const std::string p = JsonMember(path, "response");
    if (!QuantityNamed(r.Text(*response, p), transient.quantity))
      r.Expected(p, "\"displacement\", \"velocity\" or \"acceleration\"", *response);
  }
  if (const JsonValue* absolute = JsonReader::Find(*section, "absolute"))
    transient.absolute = r.Boolean(*absolute, JsonMember(path, "absolute"));
  const std::string ip = JsonMember(path, "inputs");
  const JsonValue& inputs = r.Array(r.Require(*section, path, "inputs", "a non-empty array of inputs"), ip,
                                    "a non-empty array of inputs", true);
  bool supportMoves = false;
  for (rapidjson::SizeType i = 0; i < inputs.Size(); ++i) {
    const std::string p = JsonItem(ip, i);
    r.Object(inputs[i], p, kHistoryInputKeys);
    TransientInput input;
    input.excitation = ReadExcitationRef(r, inputs[i], p, iModel);
    for (const TransientInput& other : transient.inputs)
      if (other.excitation.kind == input.excitation.kind && other.excitation.index == input.excitation.index)
        r.Fail(p, "input " + JsonQuote(input.excitation.name) + " is given twice");
    supportMoves = supportMoves || input.excitation.kind != InputKind::Load;
    const JsonValue* history = JsonReader::Find(inputs[i], "history");
    const JsonValue* file = JsonReader::Find(inputs[i], "file");
    if ((history != nullptr) == (file != nullptr))
      r.Fail(p, "expected exactly one of \"history\" (inline [time, value] points) and \"file\" (a two-column file)");
    if (history) {
      const std::string hp = JsonMember(p, "history");
      r.Array(*history, hp, "an array of [time, value] points", true);
      for (rapidjson::SizeType k = 0; k < history->Size(); ++k)
        input.history.push_back(r.Fixed<2>((*history)[k], JsonItem(hp, k)));
      CheckHistory(input.history, iFile + ": " + hp);
    } else {
      const std::string fp = JsonMember(p, "file");
      const std::string resolved = Resolve(iFile, r.Text(*file, fp));
      std::string text;
      try {
        text = iReader(resolved);
      } catch (const std::runtime_error& e) {
        r.Fail(fp, resolved + " cannot be read: " + e.what());
      }
      input.history = ReadHistoryFile(text, resolved);
    }
    transient.inputs.push_back(input);
  }
  if (transient.absolute && transient.quantity != Quantity::Acceleration && supportMoves)
    r.Fail(JsonMember(path, "absolute"),
           "an absolute displacement or velocity needs the support's own displacement, which an acceleration history "
           "does not give: absolute motion is available for \"acceleration\" only");
  return transient;
}

void LoadTransientModel(const std::string& iText, const std::string& iFile, Model& oModel, TransientSection& oTransient) {
  oModel = LoadModelText(iText, iFile);
  JsonDocument parsed = ParseJson(iText, iFile);
  oTransient = ReadTransientSection(parsed.Root(), iFile, oModel, ReadWholeFile);
}

StepCoefficients ExactStep(double iMass, double iStiffness, double iDamping, double iStep) {
  const double k = iStiffness, h = iStep;
  const double w = std::sqrt(iStiffness / iMass);
  const double z = iDamping / (2.0 * std::sqrt(iStiffness * iMass));
  const double root = std::sqrt(1.0 - z * z), wd = w * root, r = z / root;
  const double e = std::exp(-z * w * h), s = std::sin(wd * h), co = std::cos(wd * h);
  StepCoefficients c;
  c.a = e * (r * s + co);
  c.b = e * s / wd;
  c.c = (2.0 * z / (w * h) + e * (((1.0 - 2.0 * z * z) / (wd * h) - r) * s - (1.0 + 2.0 * z / (w * h)) * co)) / k;
  c.d = (1.0 - 2.0 * z / (w * h) + e * ((2.0 * z * z - 1.0) / (wd * h) * s + 2.0 * z / (w * h) * co)) / k;
  c.ap = -e * (w / root) * s;
  c.bp = e * (co - r * s);
  c.cp = (-1.0 / h + e * ((w / root + r / h) * s + co / h)) / k;
  c.dp = (1.0 - e * (r * s + co)) / (k * h);
  return c;
}

TransientResult RunTransient(const Model& iModel, const TransientSection& iTransient, int iThreads) {
  if (!iTransient.present)
    throw ModelError(iModel.source + ": the model has no \"transient\" section (time histories; see the README)");
  const Model model = TimeModel(iModel, iTransient);
  const std::size_t count = iTransient.steps + 1, n = model.base.modes.size();
  TransientResult result;
  result.outputs = model.outputs;
  for (std::size_t t = 0; t < count; ++t) result.times.push_back(static_cast<double>(t) * iTransient.step);

  // Structural damping and damping tables are models of the frequency
  // domain: a history has no single frequency to take them at.
  if (model.damping.ComputedByTool())
    throw ModelError(model.source + ": damping: structural damping and damping tables hold in the frequency "
                     "domain only; a transient run needs modal or Rayleigh damping");
  StandIn standIn = BuildStandIn(model);
  const std::vector<double> damping = QueryDamping(model, standIn).values;
  for (std::size_t i = 0; i < n; ++i) {
    const Mode& mode = model.base.modes[i];
    const double zeta = damping[i] / (2.0 * std::sqrt(mode.generalizedStiffness * mode.generalizedMass));
    if (!(zeta < 1.0))
      throw ModelError(model.source + ": mode " + std::to_string(i + 1) + " is damped at " + Number(100.0 * zeta) +
                       " % of critical: the transient recurrence needs less than critical damping");
  }

  // The times integrated over: the output times and every point of a
  // history lying between two of them, so that the load is linear within
  // each integration step and nothing of a history falls between outputs.
  std::vector<double> grid = result.times;
  for (const TransientInput& in : iTransient.inputs)
    for (const auto& point : in.history) {
      const double at = point[0] / iTransient.step;
      if (point[0] > 0.0 && point[0] < result.times.back() && std::fabs(at - std::round(at)) > 1e-9)
        grid.push_back(point[0]);
    }
  std::sort(grid.begin(), grid.end());
  grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
  // Per integration time: whether it is an output time, and whether the step
  // that ends there is a whole output step.
  std::vector<char> isOutput(grid.size(), 0), wholeStep(grid.size(), 0);
  for (std::size_t j = 0, o = 0; j < grid.size(); ++j)
    if (o < count && grid[j] == result.times[o]) {
      isOutput[j] = 1;
      wholeStep[j] = j > 0 && isOutput[j - 1];
      ++o;
    }
  const std::size_t points = grid.size();

  // The modal forces p_i(t) at every integration time, from the
  // time-domain evaluation of the excitations, mode-major.
  Owned<VOKDYNExcitationTools> excitation(new VOKDYNExcitationTools());
  ExcitationType type = UndefinedExcitationType;
  Check(excitation->Initialize(standIn.excitations, standIn.Tools(), type, DYNTimeDomain),
        "VOKDYNExcitationTools::Initialize", " in the time domain");
  std::vector<std::vector<double>> p(n, std::vector<double>(points));
  {
    std::vector<VOKMathComplex> forces(std::max<std::size_t>(1, kTimeBatch * n));
    for (std::size_t first = 0; first < points; first += kTimeBatch) {
      const std::size_t m = std::min(kTimeBatch, points - first);
      const long hr = excitation->GetExcitValues(static_cast<int>(m), grid.data() + first, forces.data());
      if (hr < 0)
        throw ComputationError("VOKDYNExcitationTools::GetExcitValues", hr,
                               " at " + Number(grid[first]) + " to " + Number(grid[first + m - 1]) + " s");
      for (std::size_t k = 0; k < m; ++k)
        for (std::size_t i = 0; i < n; ++i) p[i][first + k] = forces[k * n + i].re;
    }
  }

  // Each mode integrated on its own: x_i at the output times, the quantity
  // asked for, written over p_i once read (the largest array of a run).
  std::vector<std::vector<double>>& x = p;
  const std::size_t modeBatches = (n + kModeBatch - 1) / kModeBatch;
  RunBatches(
      modeBatches, iThreads,
      [&](std::size_t, std::size_t iBatch) {
        const std::size_t end = std::min(n, (iBatch + 1) * kModeBatch);
        for (std::size_t i = iBatch * kModeBatch; i < end; ++i) {
          const Mode& mode = model.base.modes[i];
          const double mass = mode.generalizedMass, k = mode.generalizedStiffness, c = damping[i];
          const StepCoefficients whole = ExactStep(mass, k, c, iTransient.step);
          StepCoefficients split;
          std::vector<double>& row = x[i];
          double q = 0.0, v = 0.0, before = 0.0;
          for (std::size_t j = 0, t = 0; j < points; ++j) {
            const double f = row[j];
            if (j > 0) {
              const StepCoefficients* s = &whole;
              if (!wholeStep[j]) {
                split = ExactStep(mass, k, c, grid[j] - grid[j - 1]);
                s = &split;
              }
              const double q1 = s->a * q + s->b * v + s->c * before + s->d * f;
              const double v1 = s->ap * q + s->bp * v + s->cp * before + s->dp * f;
              q = q1;
              v = v1;
            }
            before = f;
            if (!isOutput[j]) continue;
            row[t++] = iTransient.quantity == Quantity::Displacement ? q
                       : iTransient.quantity == Quantity::Velocity   ? v
                                                                     : (f - c * v - k * q) / mass;
          }
        }
        return end - iBatch * kModeBatch;
      },
      n, Progress());

  // phi_i at each output, then the sums over the modes in mode order.
  const std::size_t nOut = model.outputs.size();
  std::vector<std::vector<double>> phi(nOut, std::vector<double>(n));
  std::vector<int> dofs(nOut);
  for (std::size_t o = 0; o < nOut; ++o) {
    const Output& out = model.outputs[o];
    const std::size_t node = static_cast<std::size_t>(model.NodeIndex(out.node));
    dofs[o] = static_cast<int>(6 * node) + out.component - 1;
    for (std::size_t i = 0; i < n; ++i) phi[o][i] = model.base.shapes.Row(i, node)[static_cast<std::size_t>(out.component - 1)];
  }
  result.values.assign(nOut, std::vector<double>(count, 0.0));
  const std::size_t timeBatches = (count + kTimeBatch - 1) / kTimeBatch;
  RunBatches(
      timeBatches, iThreads,
      [&](std::size_t, std::size_t iBatch) {
        // Mode by mode over the batch's times: each y(t) adds its terms in
        // mode order, reading the modes' rows contiguously.
        const std::size_t first = iBatch * kTimeBatch, end = std::min(count, first + kTimeBatch);
        // Each mode's slice is read once, while it is in cache, for every
        // output.
        for (std::size_t i = 0; i < n; ++i) {
          const double* xi = x[i].data();
          for (std::size_t o = 0; o < nOut; ++o) {
            const double factor = phi[o][i];
            double* y = result.values[o].data();
            for (std::size_t t = first; t < end; ++t) y[t] += factor * xi[t];
          }
        }
        return end - first;
      },
      count, Progress());

  // Absolute acceleration: the support's rigid-body acceleration and the
  // enforced fields times their accelerations, from the library.
  if (iTransient.absolute && iTransient.quantity == Quantity::Acceleration &&
      (model.baseMotion.present || !model.enforced.empty())) {
    Owned<VOKDYNExcitationTools> support(new VOKDYNExcitationTools());
    ExcitationType resultType = UndefinedExcitationType;
    Check(support->InitializeForResult(standIn.excitations, standIn.Tools(), resultType),
          "VOKDYNExcitationTools::InitializeForResult");
    std::vector<const Table*> base, enforced;
    for (const TransientInput& in : iTransient.inputs) {
      if (in.excitation.kind == InputKind::Base) base.push_back(&in.history);
      if (in.excitation.kind == InputKind::Enforced) enforced.push_back(&in.history);
    }
    const int dofCount = static_cast<int>(6 * model.nodes.size());
    std::vector<double> field(static_cast<std::size_t>(dofCount)), coefficients(std::max(base.size(), enforced.size()));
    for (std::size_t t = 0; t < count; ++t) {
      std::fill(field.begin(), field.end(), 0.0);
      if (!base.empty()) {
        for (std::size_t j = 0; j < base.size(); ++j) coefficients[j] = HeldValue(*base[j], result.times[t]);
        Check(support->AddRigidExcit(0.0, dofCount, field.data(), coefficients.data()), "VOKDYNExcitationTools::AddRigidExcit");
      }
      if (!enforced.empty()) {
        for (std::size_t j = 0; j < enforced.size(); ++j) coefficients[j] = HeldValue(*enforced[j], result.times[t]);
        Check(support->AddEnforcedDispExcit(0.0, dofCount, field.data(), coefficients.data()),
              "VOKDYNExcitationTools::AddEnforcedDispExcit");
      }
      for (std::size_t o = 0; o < nOut; ++o) result.values[o][t] += field[static_cast<std::size_t>(dofs[o])];
    }
  }
  return result;
}

void WriteTransientCsv(const TransientResult& iResult, const TextSink& iSink) {
  std::vector<std::string> names;
  for (const Output& o : iResult.outputs) names.push_back(OutputLabel(o));
  WriteColumnsCsv("time_s", 12, iResult.times, names, iResult.values, iSink);
}

std::string TransientCsv(const TransientResult& iResult) {
  std::string text;
  WriteTransientCsv(iResult, [&text](const char* iData, std::size_t iSize) { text.append(iData, iSize); });
  return text;
}

std::string TransientSummaryCsv(const TransientResult& iResult) {
  TextWriter text;
  text << "output,max,time_of_max_s,min,time_of_min_s\n";
  for (std::size_t o = 0; o < iResult.outputs.size(); ++o) {
    const std::vector<double>& v = iResult.values[o];
    const std::size_t hi = static_cast<std::size_t>(std::max_element(v.begin(), v.end()) - v.begin());
    const std::size_t lo = static_cast<std::size_t>(std::min_element(v.begin(), v.end()) - v.begin());
    text << OutputLabel(iResult.outputs[o]) << ',';
    text.General(v[hi], 17) << ',';
    text.General(iResult.times[hi], 12) << ',';
    text.General(v[lo], 17) << ',';
    text.General(iResult.times[lo], 12) << '\n';
  }
  return std::move(text.Text());
}

}  // namespace vokdyn
