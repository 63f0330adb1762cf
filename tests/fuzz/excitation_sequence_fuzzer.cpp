// libFuzzer target of the excitation and damping tools: a small modal model and a sequence of
// calls, some with a failing host operation. Values after a sound Initialize equal an evaluation
// made here; a failure is reported, never a crash; nothing is left alive or leaked.
#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "VOKDYNDampingTools.h"
#include "VOKDYNExcitationTools.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKHostTesting.h"

namespace {

// Reads the input byte by byte; past its end every read gives 0.
class Bytes {
 public:
  Bytes(const std::uint8_t* iData, std::size_t iSize) : _Data(iData), _Size(iSize) {}
  bool Empty() const { return _At >= _Size; }
  unsigned Byte() { return _At < _Size ? _Data[_At++] : 0u; }
  /// An integer in [iLow, iHigh].
  int Int(int iLow, int iHigh) { return iLow + static_cast<int>(Byte() % static_cast<unsigned>(iHigh - iLow + 1)); }
  /// A small value with a few significant bits: -8 .. 7.9375 in steps of 1/16.
  double Value() { return (static_cast<int>(Byte()) - 128) / 16.0; }

 private:
  const std::uint8_t* _Data;
  std::size_t _Size;
  std::size_t _At = 0;
};

[[noreturn]] void Fail(const std::string& iWhat) {
  std::fprintf(stderr, "excitation fuzzer: %s\n", iWhat.c_str());
  std::abort();
}

struct LoadEntry {
  int node;  // 0-based index in the base's nodes
  std::array<double, 6> force;
  int modulation;
  float amplitude;
  float phase;
};
struct Direction {
  int direction;  // 1..3
  float amplitude;
  float phase;
  int modulation;
};

// The model as the fuzzer knows it, to evaluate the values independently.
struct Model {
  int modes = 0;
  int nodes = 0;
  std::vector<std::vector<double>> shapes;              // [mode][6 * node + c]
  std::vector<std::array<double, 6>> participation;     // [mode][d - 1]
  std::vector<LoadEntry> loads;
  std::vector<Direction> directions;

  VOKHost::ModalBase* base = nullptr;
  std::vector<VOKHost::Modulation*> modulations;
  std::vector<VOKHost::NodalLoad*> nodalLoads;
  VOKHost::LoadExcitation* loadExcitation = nullptr;
  VOKHost::RestraintExcitation* restraint = nullptr;
  VOKHost::Feature* damping = nullptr;

  ~Model() {
    if (damping) damping->Release();
    if (restraint) restraint->Release();
    if (loadExcitation) loadExcitation->Release();
    for (auto* l : nodalLoads) l->Release();
    for (auto* m : modulations) m->Release();
    if (base) base->Release();
  }
};

void Build(Bytes& in, Model& m) {
  m.modes = in.Int(1, 4);
  m.nodes = in.Int(1, 3);
  VOKHost::ModalBaseDefinition def;
  for (int i = 0; i < m.modes; ++i) {
    def.modalMasses.push_back(1.0 + in.Int(0, 3));
    def.modalStiffnesses.push_back(1.0 + in.Int(0, 255));
  }
  for (int k = 0; k < m.nodes; ++k) {
    VOKHost::ModalNode node;
    node.id = k + 1;
    node.position = {in.Value(), in.Value(), in.Value()};
    node.mass = {1, 1, 1, 0.1, 0.1, 0.1};
    def.nodes.push_back(node);
  }
  m.shapes.assign(m.modes, std::vector<double>(6 * m.nodes));
  m.participation.resize(m.modes);
  for (int i = 0; i < m.modes; ++i) {
    for (double& v : m.shapes[i]) v = in.Value();
    for (double& v : m.participation[i]) v = in.Value();
  }
  def.shapes = m.shapes;
  for (int i = 0; i < m.modes; ++i) def.participation.push_back(m.participation[i]);
  m.base = VOKHost::ModalBase::Create(def);
  if (!m.base) Fail("a sound base definition was refused");

  const int modulationCount = in.Int(1, 3);
  for (int j = 0; j < modulationCount; ++j) {
    std::vector<std::pair<double, double>> points;
    double x = 0.0;
    for (int p = in.Int(0, 3); p > 0; --p) {
      x += in.Int(0, 8);
      points.emplace_back(x, in.Value());
    }
    m.modulations.push_back(VOKHost::Modulation::Create("modulation", points));
  }

  m.loadExcitation = VOKHost::LoadExcitation::Create("loads");
  for (int e = in.Int(0, 3); e > 0; --e) {
    LoadEntry entry;
    entry.node = in.Int(0, m.nodes - 1);
    for (double& v : entry.force) v = in.Value();
    entry.modulation = in.Int(0, modulationCount - 1);
    entry.amplitude = static_cast<float>(in.Value());
    entry.phase = static_cast<float>(in.Value());
    VOKHost::NodalLoad* load = VOKHost::NodalLoad::Create("load");
    load->AddNodalValues(entry.node + 1, entry.force);
    m.nodalLoads.push_back(load);
    m.loadExcitation->AddEntry(load, m.modulations[entry.modulation], entry.amplitude, entry.phase);
    m.loads.push_back(entry);
  }
  m.restraint = VOKHost::RestraintExcitation::Create("motion");
  for (int e = in.Int(0, 3); e > 0; --e) {
    Direction d;
    d.direction = in.Int(1, 3);
    d.amplitude = static_cast<float>(in.Value());
    d.phase = static_cast<float>(in.Value());
    d.modulation = in.Int(0, modulationCount - 1);
    // A direction named twice keeps the later entry's values.
    m.directions.erase(std::remove_if(m.directions.begin(), m.directions.end(),
                                      [&](const Direction& o) { return o.direction == d.direction; }),
                       m.directions.end());
    m.directions.push_back(d);
    m.restraint->AddDirection(d.direction, d.amplitude, d.phase, m.modulations[d.modulation]);
  }

  VOKHost::DampingFeatureBuilder damping;
  std::vector<double> perMode(m.modes), other(m.modes);
  for (int i = 0; i < m.modes; ++i) {
    perMode[i] = in.Int(0, 20);
    other[i] = in.Int(0, 20);
  }
  switch (in.Int(0, 3)) {
    case 0: damping.Modal(in.Int(0, 20)); break;
    case 1: damping.ModalPerMode(perMode); break;
    case 2: damping.Rayleigh(in.Value(), in.Value()); break;
    default: damping.RayleighPerMode(perMode, other); break;
  }
  damping.LinkBase(static_cast<VOKIDYNBaseTools*>(m.base));
  m.damping = damping.Build();
}

// The excitation per mode at x: a Phi^T f_e per load entry, a (-Gamma_d) per restraint direction,
// each weighed by its modulation and (frequency domain) turned by its phase. oBound: per mode, the
// sum of the magnitudes summed, which the rounding of any summation order is proportional to.
std::vector<std::complex<double>> Expected(Model& m, bool iLoads, bool iRestraint, bool iTime, double x,
                                           std::vector<double>& oBound) {
  std::vector<std::complex<double>> total(m.modes);
  oBound.assign(m.modes, 0.0);
  auto add = [&](const std::vector<double>& member, int modulation, float phase) {
    const double a = m.modulations[modulation]->Evaluate(x);
    const std::complex<double> c =
        iTime ? std::complex<double>(a, 0.0)
              : std::complex<double>(static_cast<double>(std::cos(phase)) * a, static_cast<double>(std::sin(phase)) * a);
    for (int i = 0; i < m.modes; ++i) {
      total[i] += c * member[i];
      oBound[i] += std::fabs(a) * std::fabs(member[i]);
    }
  };
  if (iLoads)
    for (const LoadEntry& e : m.loads) {
      std::vector<double> member(m.modes);
      for (int i = 0; i < m.modes; ++i) {
        double f = 0.0, magnitude = 0.0;
        for (int c = 0; c < 6; ++c) {
          f += m.shapes[i][6 * e.node + c] * e.force[c];
          magnitude += std::fabs(m.shapes[i][6 * e.node + c] * e.force[c]);
        }
        member[i] = static_cast<double>(e.amplitude) * f;
        // The generalised force's own rounding counts with its magnitude.
        oBound[i] += std::fabs(static_cast<double>(e.amplitude)) * magnitude *
                     std::fabs(m.modulations[e.modulation]->Evaluate(x));
      }
      add(member, e.modulation, e.phase);
    }
  if (iRestraint)
    for (const Direction& d : m.directions) {
      std::vector<double> member(m.modes);
      for (int i = 0; i < m.modes; ++i)
        member[i] = static_cast<double>(d.amplitude) * -m.participation[i][d.direction - 1];
      add(member, d.modulation, d.phase);
    }
  return total;
}

// Another summation order differs by a few units in the last place of the magnitudes summed.
void Compare(const std::vector<std::complex<double>>& iExpected, const VOKMathComplex* iValues,
             const std::vector<double>& iBound) {
  for (std::size_t i = 0; i < iExpected.size(); ++i) {
    const double tolerance = 1e-14 * (1.0 + iBound[i]);
    if (std::fabs(iValues[i].re - iExpected[i].real()) > tolerance ||
        std::fabs(iValues[i].im - iExpected[i].imag()) > tolerance)
      Fail("mode " + std::to_string(i + 1) + ": (" + std::to_string(iValues[i].re) + ", " +
           std::to_string(iValues[i].im) + ") instead of (" + std::to_string(iExpected[i].real()) + ", " +
           std::to_string(iExpected[i].imag()) + ")");
  }
}

void RunSequence(Bytes& in, Model& m) {
  VOKDYNExcitationTools* tools = new VOKDYNExcitationTools;
  // Once initialised for the time domain, an object evaluates real values for good.
  bool realForGood = false;
  for (int step = 0; step < 24 && !in.Empty(); ++step) {
    // Now and then one host operation of the next call fails.
    const unsigned faultByte = in.Byte();
    const long fault = faultByte >= 200 ? static_cast<long>(faultByte - 199) : 0;
    if (fault) VOKHost::FaultArm(fault);
    switch (in.Int(0, 6)) {
      case 0: {  // initialise and check the values
        const int which = in.Int(1, 3);
        const bool loads = which & 1, restraint = (which & 2) != 0;
        const bool time = in.Int(0, 1) == 1;
        VOKListValVOKBaseUnknown_var list;
        if (loads) list.Append(VOKBaseUnknown_var(static_cast<VOKHost::Component*>(m.loadExcitation)));
        if (restraint) list.Append(VOKBaseUnknown_var(static_cast<VOKHost::Component*>(m.restraint)));
        ExcitationType first = UndefinedExcitationType;
        const long hr = tools->Initialize(list, m.base, first, time ? DYNTimeDomain : DYNDefaultDomain);
        realForGood = realForGood || time;
        const bool faulted = !VOKHost::FaultHitName().empty();
        VOKHost::FaultDisarm();
        if (faulted) break;
        // Without a failed host operation only a load excitation without entries may be refused.
        if (FAILED(hr)) {
          if (loads && m.loads.empty()) break;
          Fail("Initialize failed without a cause");
        }
        const double x = in.Int(0, 40) * 0.25;
        VOKMathComplex* values = nullptr;
        if (FAILED(tools->GetExcitValues(x, values))) Fail("GetExcitValues failed after a sound Initialize");
        std::vector<double> bound;
        const auto expected = Expected(m, loads, restraint, realForGood, x, bound);
        Compare(expected, values, bound);
        delete[] values;
        break;
      }
      case 1:
      case 4: {  // evaluate again, into the caller's array, and ask the type of what was read
        std::vector<VOKMathComplex> values(static_cast<std::size_t>(m.modes));
        VOKMathComplex* p = values.data();
        (void)tools->GetExcitValues(in.Value(), p);
        ExcitationType type = UndefinedExcitationType;
        unsigned char axis = 0;
        (void)tools->GetTypeOfExcitation(type, axis);
        break;
      }
      case 2: {  // rigid-body and enforced contributions after InitializeForResult
        VOKListValVOKBaseUnknown_var list;
        list.Append(VOKBaseUnknown_var(static_cast<VOKHost::Component*>(m.restraint)));
        if (in.Int(0, 1)) list.Append(VOKBaseUnknown_var(static_cast<VOKHost::Component*>(m.loadExcitation)));
        ExcitationType first = UndefinedExcitationType;
        if (SUCCEEDED(tools->InitializeForResult(list, m.base, first))) {
          const int n = 6 * m.nodes;
          std::vector<VOKMathComplex> values(static_cast<std::size_t>(n));
          VOKMathComplex* p = values.data();
          (void)tools->AddRigidExcit(0.5 + in.Int(0, 8), n, p);
          (void)tools->AddEnforcedDispExcit(0.5 + in.Int(0, 8), n, p);
          std::vector<double> real(static_cast<std::size_t>(n)), coefs(6, 1.0);
          (void)tools->AddRigidExcit(0.0, n, real.data(), coefs.data());
        }
        break;
      }
      case 3: {  // damping queries
        VOKDYNDampingTools damping(m.damping);
        VOKDYNDampingValidity validity;
        VOKRawColldouble values;
        VOKListValVOKUnicodeString titles;
        unsigned char upToDate = 0;
        (void)damping.CheckDefinition(validity);
        (void)damping.GetDampingValues(values);
        (void)damping.GetListOfOccTitleForDump(titles);
        (void)damping.CheckIfBaseUptoDate(upToDate, 0);
        if (values.Size() > m.modes) Fail("more damping values than modes");
        break;
      }
      case 5:  // destroy and start again
        tools->Release();
        tools = new VOKDYNExcitationTools;
        realForGood = false;
        break;
      default: {  // an empty list is refused
        ExcitationType first = UndefinedExcitationType;
        if (SUCCEEDED(tools->Initialize(VOKListValVOKBaseUnknown_var(), m.base, first, DYNDefaultDomain)))
          Fail("Initialize accepted an empty list");
        break;
      }
    }
    VOKHost::FaultDisarm();
  }
  tools->Release();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Dialogs go nowhere; fatal errors and null-handle calls are faults.
  VOKHost::SetNotificationSink([](const VOKHost::Notification&) {});
  VOKHost::SetFatalErrorHandler([](const VOKHost::FatalError& e) { Fail("fatal error: " + e.message); });
  VOKHost::SetNullHandleHandler([](const std::string& what) { Fail("call through a null handle: " + what); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* iData, std::size_t iSize) {
  const VOKHost::LiveCounts start = VOKHost::CurrentLiveCounts();
  {
    Bytes in(iData, iSize);
    Model model;
    Build(in, model);
    RunSequence(in, model);
  }
  VOKHost::FaultDisarm();
  if (!(VOKHost::CurrentLiveCounts() == start)) Fail("components left alive after an input");
  return 0;
}
