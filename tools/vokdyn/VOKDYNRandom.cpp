#include "VOKDYNRandom.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>

#include "VOKDYNHarmonic.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNOutput.h"
#include "VOKDYNPlatformModel.h"
#include "VOKDYNTextWriter.h"

namespace vokdyn {

namespace {

const std::vector<std::string> kRandomKeys = {"response", "inputs", "cross"};
const std::vector<std::string> kInputKeys = {"load", "base_direction", "enforced", "psd"};
const std::vector<std::string> kCrossKeys = {"between", "real", "imag"};

std::string Number(double iValue) {
  char buffer[kGeneralMax];
  return std::string(buffer, WriteGeneral(buffer, iValue, 9));
}

// At least two points, abscissae > 0 and increasing; values > 0 when iPositive.
Table ReadTable(const JsonReader& iR, const JsonValue& iValue, const std::string& iPath, bool iPositive) {
  iR.Array(iValue, iPath, "an array of [frequency, value] points, at least two", true);
  if (iValue.Size() < 2) iR.Expected(iPath, "an array of [frequency, value] points, at least two", iValue);
  Table table;
  for (rapidjson::SizeType i = 0; i < iValue.Size(); ++i) {
    const std::string p = JsonItem(iPath, i);
    const std::array<double, 2> point = iR.Fixed<2>(iValue[i], p);
    if (!(point[0] > 0.0) || !std::isfinite(point[0]))
      iR.Fail(JsonItem(p, 0), "expected a frequency > 0, got " + Number(point[0]));
    if (!table.empty() && !(point[0] > table.back()[0]))
      iR.Fail(JsonItem(p, 0), "frequency " + Number(point[0]) + " does not exceed " + Number(table.back()[0]));
    if (!std::isfinite(point[1]) || (iPositive && !(point[1] > 0.0)))
      iR.Fail(JsonItem(p, 1), std::string(iPositive ? "expected a spectral density > 0 (leave a band out instead "
                                                      "of writing zeros: zero holds outside the points), got "
                                                    : "expected a finite number, got ") +
                                  Number(point[1]));
    table.push_back(point);
  }
  return table;
}

// The name of an input as cross spectra refer to it.
std::size_t InputNamed(const JsonReader& iR, const RandomSection& iRandom, const JsonValue& iValue,
                       const std::string& iPath) {
  const std::string name = iR.Text(iValue, iPath);
  for (std::size_t j = 0; j < iRandom.inputs.size(); ++j)
    if (iRandom.inputs[j].name == name) return j;
  std::string names;
  for (const RandomInput& in : iRandom.inputs) names += (names.empty() ? "" : ", ") + JsonQuote(in.name);
  iR.Fail(iPath, "no input is named " + JsonQuote(name) + " (inputs: " + names + ")");
}

}  // namespace

RandomInput ReadExcitationRef(const JsonReader& iR, const JsonValue& iValue, const std::string& iPath,
                              const Model& iModel) {
  RandomInput input;
  const JsonValue* load = JsonReader::Find(iValue, "load");
  const JsonValue* base = JsonReader::Find(iValue, "base_direction");
  const JsonValue* enforced = JsonReader::Find(iValue, "enforced");
  if ((load != nullptr) + (base != nullptr) + (enforced != nullptr) != 1)
    iR.Fail(iPath, "expected exactly one of \"load\" (a load's name), \"base_direction\" (1 to 6) and "
                   "\"enforced\" (an enforced set's name)");
  if (base) {
    const std::string p = JsonMember(iPath, "base_direction");
    const int direction = static_cast<int>(iR.Integer(*base, p, "a direction 1 to 6", 1, 6));
    const auto& dirs = iModel.baseMotion.directions;
    auto at = std::find_if(dirs.begin(), dirs.end(), [direction](const BaseDirection& d) { return d.direction == direction; });
    if (!iModel.baseMotion.present || at == dirs.end())
      iR.Fail(p, "the model's base_motion has no direction " + std::to_string(direction));
    input.kind = InputKind::Base;
    input.index = static_cast<std::size_t>(at - dirs.begin());
    input.name = "base " + std::to_string(direction);
  } else {
    const bool isLoad = load != nullptr;
    const std::string p = JsonMember(iPath, isLoad ? "load" : "enforced");
    const std::string name = iR.Text(isLoad ? *load : *enforced, p);
    std::vector<std::string> names;
    if (isLoad)
      for (const Load& l : iModel.loads) names.push_back(l.name);
    else
      for (const Enforced& e : iModel.enforced) names.push_back(e.name);
    auto at = std::find(names.begin(), names.end(), name);
    if (name.empty() || at == names.end()) {
      std::string list;
      for (const std::string& n : names)
        if (!n.empty()) list += (list.empty() ? "" : ", ") + JsonQuote(n);
      iR.Fail(p, std::string("the model has no ") + (isLoad ? "load" : "enforced set") + " named " + JsonQuote(name) +
                     (list.empty() ? std::string(" (none is named)") : " (named: " + list + ")"));
    }
    input.kind = isLoad ? InputKind::Load : InputKind::Enforced;
    input.index = static_cast<std::size_t>(at - names.begin());
    input.name = name;
  }
  return input;
}

namespace {

RandomInput ReadInput(const JsonReader& iR, const JsonValue& iValue, const std::string& iPath, const Model& iModel) {
  iR.Object(iValue, iPath, kInputKeys);
  RandomInput input = ReadExcitationRef(iR, iValue, iPath, iModel);
  input.psd = ReadTable(iR, iR.Require(iValue, iPath, "psd", "an array of [frequency, S] points"),
                        JsonMember(iPath, "psd"), true);
  return input;
}

// The single-excitation model of input iInput: the input's excitation alone,
// of amplitude 1, phase 0 and no modulation.
Model SingleInput(const Model& iModel, const RandomInput& iInput) {
  Model one = iModel;
  int constant = -1;
  for (std::size_t i = 0; i < one.modulations.size(); ++i)
    if (one.modulations[i].implicit) constant = static_cast<int>(i);
  if (constant < 0) {
    one.modulations.push_back(ImplicitConstant());
    constant = static_cast<int>(one.modulations.size()) - 1;
  }
  auto unit = [constant](auto& ioExcitation) {
    ioExcitation.amplitude = 1.0;
    ioExcitation.phaseDeg = 0.0;
    ioExcitation.modulation = constant;
  };
  // The transfer function is of the displacement: the quantity asked for is
  // formed from it once, with the spectra.
  for (Output& output : one.outputs) {
    output.quantity = Quantity::Displacement;
    output.motion = Motion::Absolute;
  }
  one.loads.clear();
  one.enforced.clear();
  one.baseMotion.present = false;
  one.baseMotion.directions.clear();
  switch (iInput.kind) {
    case InputKind::Load:
      one.loads.push_back(iModel.loads[iInput.index]);
      unit(one.loads.back());
      break;
    case InputKind::Enforced:
      one.enforced.push_back(iModel.enforced[iInput.index]);
      unit(one.enforced.back());
      break;
    case InputKind::Base:
      one.baseMotion.present = true;
      one.baseMotion.directions.push_back(iModel.baseMotion.directions[iInput.index]);
      unit(one.baseMotion.directions.back());
      break;
  }
  return one;
}

// Whether the Hermitian matrix (row-major, n x n) is positive semi-definite:
// a Cholesky factorisation that passes over zero pivots whose column is zero
// too, with a tolerance relative to the largest diagonal term.
bool PositiveSemiDefinite(std::vector<std::complex<double>> ioA, std::size_t iN) {
  double scale = 0.0;
  for (std::size_t i = 0; i < iN; ++i) scale = std::max(scale, std::fabs(ioA[i * iN + i].real()));
  const double tol = 1e-12 * scale;
  for (std::size_t k = 0; k < iN; ++k) {
    const double d = ioA[k * iN + k].real();
    if (d < -tol) return false;
    if (d <= tol) {
      for (std::size_t i = k + 1; i < iN; ++i)
        if (std::abs(ioA[i * iN + k]) > std::sqrt(tol * scale) * 1e-3 + tol) return false;
      continue;
    }
    for (std::size_t i = k + 1; i < iN; ++i)
      for (std::size_t j = k + 1; j < iN; ++j) ioA[i * iN + j] -= ioA[i * iN + k] * std::conj(ioA[j * iN + k]) / d;
  }
  return true;
}

constexpr std::size_t kRandomBatch = 256;

}  // namespace

namespace {

// The points of iTable (abscissae increasing) on either side of iF, both the
// last point at the table's last abscissa; false outside the table.
bool Bracket(const Table& iTable, double iF, const std::array<double, 2>*& oLo,
             const std::array<double, 2>*& oHi) {
  if (iTable.empty() || iF < iTable.front()[0] || iF > iTable.back()[0]) return false;
  auto after = std::upper_bound(iTable.begin(), iTable.end(), iF,
                                [](double f, const std::array<double, 2>& p) { return f < p[0]; });
  oHi = after == iTable.end() ? &iTable.back() : &*after;
  oLo = after == iTable.end() ? &iTable.back() : &*(after - 1);
  return true;
}

}  // namespace

double LogLogValue(const Table& iTable, double iF) {
  const std::array<double, 2>* lo = nullptr;
  const std::array<double, 2>* hi = nullptr;
  if (!Bracket(iTable, iF, lo, hi)) return 0.0;
  if (lo == hi || iF == (*lo)[0]) return (*lo)[1];
  const double t = std::log(iF / (*lo)[0]) / std::log((*hi)[0] / (*lo)[0]);
  return (*lo)[1] * std::pow((*hi)[1] / (*lo)[1], t);
}

double LinearValue(const Table& iTable, double iF) {
  const std::array<double, 2>* lo = nullptr;
  const std::array<double, 2>* hi = nullptr;
  if (!Bracket(iTable, iF, lo, hi)) return 0.0;
  if (lo == hi) return (*lo)[1];
  return (*lo)[1] + (iF - (*lo)[0]) / ((*hi)[0] - (*lo)[0]) * ((*hi)[1] - (*lo)[1]);
}

RandomSection ReadRandomSection(const JsonValue& iRoot, const std::string& iFile, const Model& iModel) {
  RandomSection random;
  const JsonValue* section = JsonReader::Find(iRoot, "random");
  if (!section) return random;
  JsonReader r(iFile);
  const std::string path = "random";
  r.Object(*section, path, kRandomKeys);
  random.present = true;
  if (const JsonValue* response = JsonReader::Find(*section, "response")) {
    const std::string p = JsonMember(path, "response");
    if (!QuantityNamed(r.Text(*response, p), random.quantity))
      r.Expected(p, "\"displacement\", \"velocity\" or \"acceleration\"", *response);
  }
  const std::string ip = JsonMember(path, "inputs");
  const JsonValue& inputs = r.Array(r.Require(*section, path, "inputs", "a non-empty array of inputs"), ip,
                                    "a non-empty array of inputs", true);
  for (rapidjson::SizeType i = 0; i < inputs.Size(); ++i) {
    const std::string p = JsonItem(ip, i);
    RandomInput input = ReadInput(r, inputs[i], p, iModel);
    for (const RandomInput& other : random.inputs)
      if (other.kind == input.kind && other.index == input.index)
        r.Fail(p, "input " + JsonQuote(input.name) + " is given twice");
    random.inputs.push_back(input);
  }
  if (const JsonValue* cross = JsonReader::Find(*section, "cross")) {
    const std::string cp = JsonMember(path, "cross");
    r.Array(*cross, cp, "an array of cross spectra", false);
    for (rapidjson::SizeType i = 0; i < cross->Size(); ++i) {
      const std::string p = JsonItem(cp, i);
      const JsonValue& c = (*cross)[i];
      r.Object(c, p, kCrossKeys);
      const std::string bp = JsonMember(p, "between");
      const JsonValue& between = r.Require(c, p, "between", "two input names");
      if (!between.IsArray() || between.Size() != 2) r.Expected(bp, "two input names", between);
      CrossSpectrum spectrum;
      spectrum.a = InputNamed(r, random, between[0], JsonItem(bp, 0));
      spectrum.b = InputNamed(r, random, between[1], JsonItem(bp, 1));
      if (spectrum.a == spectrum.b) r.Fail(bp, "an input's own spectrum is its \"psd\", not a cross spectrum");
      for (const CrossSpectrum& other : random.cross)
        if ((other.a == spectrum.a && other.b == spectrum.b) || (other.a == spectrum.b && other.b == spectrum.a))
          r.Fail(bp, "the cross spectrum of these inputs is given twice");
      const JsonValue* re = JsonReader::Find(c, "real");
      const JsonValue* im = JsonReader::Find(c, "imag");
      if (!re && !im) r.Fail(p, "expected \"real\", \"imag\" or both");
      if (re) spectrum.real = ReadTable(r, *re, JsonMember(p, "real"), false);
      if (im) spectrum.imag = ReadTable(r, *im, JsonMember(p, "imag"), false);
      random.cross.push_back(spectrum);
    }
  }
  return random;
}

void LoadRandomModel(const std::string& iText, const std::string& iFile, Model& oModel, RandomSection& oRandom) {
  oModel = LoadModelText(iText, iFile);
  JsonDocument parsed = ParseJson(iText, iFile);
  oRandom = ReadRandomSection(parsed.Root(), iFile, oModel);
}

std::vector<std::array<double, 2>> InputMatrix(const RandomSection& iRandom, double iF) {
  const std::size_t n = iRandom.inputs.size();
  std::vector<std::array<double, 2>> s(n * n, {0.0, 0.0});
  for (std::size_t j = 0; j < n; ++j) s[j * n + j][0] = LogLogValue(iRandom.inputs[j].psd, iF);
  for (const CrossSpectrum& c : iRandom.cross) {
    const double re = LinearValue(c.real, iF), im = LinearValue(c.imag, iF);
    s[c.a * n + c.b] = {re, im};
    s[c.b * n + c.a] = {re, -im};
  }
  return s;
}

void CheckInputMatrix(const RandomSection& iRandom, const std::vector<float>& iFrequencies, const std::string& iFile) {
  if (iRandom.cross.empty() || iFrequencies.empty()) return;
  std::vector<double> at(iFrequencies.begin(), iFrequencies.end());
  auto addPoints = [&](const Table& iTable) {
    for (const auto& p : iTable)
      if (p[0] >= at.front() && p[0] <= at[iFrequencies.size() - 1]) at.push_back(p[0]);
  };
  for (const RandomInput& in : iRandom.inputs) addPoints(in.psd);
  for (const CrossSpectrum& c : iRandom.cross) {
    addPoints(c.real);
    addPoints(c.imag);
  }
  std::sort(at.begin(), at.end());
  const std::size_t n = iRandom.inputs.size();
  for (double f : at) {
    const auto s = InputMatrix(iRandom, f);
    std::vector<std::complex<double>> a(n * n);
    for (std::size_t k = 0; k < n * n; ++k) a[k] = {s[k][0], s[k][1]};
    if (!PositiveSemiDefinite(a, n))
      throw InputError(iFile + ": random.cross: the input spectral matrix is not positive semi-definite at " +
                       Number(f) + " Hz (a cross spectrum exceeds what its two inputs' spectra allow: "
                       "|S_ab|^2 <= S_aa S_bb and the like for larger sets)");
  }
}

RandomSummary Summarize(const std::vector<float>& iFrequencies, const std::vector<double>& iPsd) {
  double area = 0.0, moment = 0.0;
  for (std::size_t t = 1; t < iFrequencies.size(); ++t) {
    const double f0 = iFrequencies[t - 1], f1 = iFrequencies[t], df = f1 - f0;
    area += 0.5 * (iPsd[t - 1] + iPsd[t]) * df;
    moment += 0.5 * (f0 * f0 * iPsd[t - 1] + f1 * f1 * iPsd[t]) * df;
  }
  RandomSummary summary;
  summary.rms = std::sqrt(area);
  summary.zeroCrossing = area > 0.0 ? std::sqrt(moment / area) : 0.0;
  return summary;
}

RandomResult RunRandom(const Model& iModel, const RandomSection& iRandom, int iThreads) {
  if (!iRandom.present)
    throw ModelError(iModel.source + ": the model has no \"random\" section (input spectra; see the README)");
  RandomResult result;
  result.frequencies = SweepFrequencies(iModel.sweep);
  result.outputs = iModel.outputs;
  CheckInputMatrix(iRandom, result.frequencies, iModel.source);
  const std::size_t nIn = iRandom.inputs.size(), nOut = iModel.outputs.size(), count = result.frequencies.size();

  // H[j]: the absolute displacement of every output per unit input j.
  std::vector<Response> h;
  std::vector<double> damping;
  for (const RandomInput& input : iRandom.inputs) {
    RunResult run = RunHarmonic(SingleInput(iModel, input), Progress(), iThreads);
    damping = run.damping.values;
    h.push_back(std::move(run.response));
  }
  const int power = iRandom.quantity == Quantity::Displacement ? 0 : iRandom.quantity == Quantity::Velocity ? 1 : 2;

  result.psd.assign(nOut, std::vector<double>(count, 0.0));
  const std::size_t batches = (count + kRandomBatch - 1) / kRandomBatch;
  RunBatches(
      batches, iThreads,
      [&](std::size_t, std::size_t iBatch) {
        const std::size_t first = iBatch * kRandomBatch, end = std::min(count, first + kRandomBatch);
        for (std::size_t t = first; t < end; ++t) {
          const double f = result.frequencies[t];
          const auto s = InputMatrix(iRandom, f);
          const double omega = kTwoPi * f;
          double factor = 1.0;
          for (int p = 0; p < power; ++p) factor *= omega * omega;
          for (std::size_t o = 0; o < nOut; ++o) {
            // sum_jk H_j S_jk conj(H_k), real for a Hermitian S.
            double sum = 0.0;
            for (std::size_t j = 0; j < nIn; ++j)
              for (std::size_t k = 0; k < nIn; ++k) {
                const std::complex<double> sjk(s[j * nIn + k][0], s[j * nIn + k][1]);
                sum += (h[j].values[o][t] * sjk * std::conj(h[k].values[o][t])).real();
              }
            result.psd[o][t] = factor * sum;
          }
        }
        return end - first;
      },
      count, Progress());
  for (std::size_t o = 0; o < nOut; ++o) result.summary.push_back(Summarize(result.frequencies, result.psd[o]));

  // A resonance within the sweep with fewer than two points in its
  // half-power band (2 zeta f wide) makes the RMS unreliable.
  const std::vector<double> zeta = DampingRatios(iModel, damping);
  const auto& f = result.frequencies;
  for (std::size_t i = 0; i < iModel.base.modes.size() && count > 1; ++i) {
    const double fn = iModel.base.modes[i].frequency;
    if (fn <= f.front() || fn >= f.back()) continue;
    const std::size_t after = static_cast<std::size_t>(std::upper_bound(f.begin(), f.end(), static_cast<float>(fn)) - f.begin());
    const double spacing = static_cast<double>(f[after]) - static_cast<double>(f[after - 1]);
    if (spacing > zeta[i] * fn)
      result.warnings.push_back("mode " + std::to_string(i + 1) + " at " + Number(fn) + " Hz has a half-power band " +
                                Number(2.0 * zeta[i] * fn) + " Hz wide but the sweep's points there are " +
                                Number(spacing) + " Hz apart: the response PSD's peak and its RMS are under-resolved "
                                "(refine the sweep near the modes)");
  }
  return result;
}

void WriteRandomCsv(const RandomResult& iResult, const TextSink& iSink) {
  std::vector<std::string> names;
  for (const Output& o : iResult.outputs) names.push_back(OutputLabel(o) + "_psd");
  WriteColumnsCsv("frequency_hz", 9, std::vector<double>(iResult.frequencies.begin(), iResult.frequencies.end()), names,
                  iResult.psd, iSink);
}

std::string RandomCsv(const RandomResult& iResult) {
  std::string text;
  WriteRandomCsv(iResult, [&text](const char* iData, std::size_t iSize) { text.append(iData, iSize); });
  return text;
}

std::string RandomSummaryCsv(const RandomResult& iResult) {
  TextWriter text;
  text << "output,rms,three_sigma,nu0_hz\n";
  for (std::size_t o = 0; o < iResult.outputs.size(); ++o) {
    const RandomSummary& s = iResult.summary[o];
    text << OutputLabel(iResult.outputs[o]) << ',';
    text.General(s.rms, 17) << ',';
    text.General(3.0 * s.rms, 17) << ',';
    text.General(s.zeroCrossing, 17) << '\n';
  }
  return std::move(text.Text());
}

}  // namespace vokdyn
