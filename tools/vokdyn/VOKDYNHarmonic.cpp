#include "VOKDYNHarmonic.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <complex>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

#include "VOKDYNDampingTools.h"
#include "VOKDYNExcitationTools.h"
#include "VOKDYNModelLoader.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKHostResponses.h"

namespace vokdyn {

namespace {

constexpr double kPi = 3.141592653589793;

// One reference to a stand-in component, released when the holder goes.
template <class T>
class Owned {
 public:
  Owned() = default;
  explicit Owned(T* iPtr) : _Ptr(iPtr) {}
  ~Owned() {
    if (_Ptr) _Ptr->Release();
  }
  Owned(Owned&& iOther) noexcept : _Ptr(iOther._Ptr) { iOther._Ptr = nullptr; }
  Owned& operator=(Owned&& iOther) noexcept {
    if (this != &iOther) {
      if (_Ptr) _Ptr->Release();
      _Ptr = iOther._Ptr;
      iOther._Ptr = nullptr;
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  T* operator->() const { return _Ptr; }
  T* Get() const { return _Ptr; }
  explicit operator bool() const { return _Ptr != nullptr; }

 private:
  T* _Ptr = nullptr;
};

// Phases are given in degrees and handed to the platform in radians, in
// single precision as the excitations store them.
float PhaseRadians(double iDegrees) { return static_cast<float>(iDegrees * (kPi / 180.0)); }

std::vector<double> NodeMajor(const std::vector<Vec6>& iRows) {
  std::vector<double> out;
  out.reserve(6 * iRows.size());
  for (const Vec6& row : iRows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

// The model as stand-in components: the modal base, its damping feature and
// the excitations, each held once here.
struct StandIn {
  Owned<VOKHost::ModalBase> base;
  Owned<VOKHost::Feature> damping;
  std::vector<Owned<VOKHost::Modulation>> modulations;  // aligned with Model::modulations
  Owned<VOKHost::LoadExcitation> loadExcitation;
  Owned<VOKHost::RestraintExcitation> restraint;
  VOKListValVOKBaseUnknown_var excitations;

  VOKIDYNBaseTools* Tools() const { return static_cast<VOKIDYNBaseTools*>(base.Get()); }
};

void BuildBase(const Model& iModel, StandIn& ioStandIn) {
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
    def.shapes.push_back(NodeMajor(m.shape));
    if (anyParticipation) {
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
  if (d.type == DampingType::Modal) {
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

StandIn BuildStandIn(const Model& iModel) {
  StandIn standIn;
  BuildBase(iModel, standIn);
  BuildDamping(iModel, standIn);
  BuildExcitations(iModel, standIn);
  return standIn;
}

void Check(long iResult, const char* iOperation, const std::string& iContext = std::string()) {
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
  return info;
}

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


// ------------------------------------------------------------------ the sweep
//
// The frequencies are cut into blocks of kBlock, the same blocks whatever the
// number of threads; each block is one batched evaluation of the excitation.
// Thread w takes a contiguous run of blocks, with its own excitation tools
// object (the library's objects are used by one thread at a time), all of
// them initialised here on the calling thread from the same stand-in
// components, which the workers only read (the base's degree-of-freedom
// count, the modulations' values). Each frequency's result is computed by
// exactly the operations of a single-threaded sweep and written to its own
// place in the preallocated response, so the bits do not depend on the
// number of threads. Workers never call the progress callback: they count
// the frequencies done and the calling thread reports them.

constexpr std::size_t kBlock = 32;       // frequencies per batched evaluation
constexpr std::size_t kMaxThreads = 256; // more would only wait for each other
constexpr auto kProgressPeriod = std::chrono::milliseconds(50);
constexpr std::size_t kNoBlock = static_cast<std::size_t>(-1);

struct SweepShared {
  SweepShared(const Model& iModel, const std::vector<float>& iFrequencies, const std::vector<double>& iDamping,
              const std::vector<std::vector<double>>& iPhi, Response& ioResponse)
      : model(iModel), frequencies(iFrequencies), damping(iDamping), phi(iPhi), response(ioResponse) {}
  const Model& model;
  const std::vector<float>& frequencies;
  const std::vector<double>& damping;                 // c_i
  const std::vector<std::vector<double>>& phi;        // phi_i at each output
  Response& response;
  std::atomic<std::size_t> done{0};                   // frequencies finished
  std::atomic<std::size_t> firstFailed{kNoBlock};     // lowest failed block
  std::atomic<bool> abandon{false};                   // the calling thread gave up
  std::mutex mutex;
  std::condition_variable finishedChanged;
  std::size_t finished = 0;                           // workers returned
};

struct SweepWorker {
  Owned<VOKDYNExcitationTools> excitation;
  std::size_t firstBlock = 0, endBlock = 0;
  std::size_t failedBlock = kNoBlock;
  std::exception_ptr failure;
};

void LowerFirstFailed(std::atomic<std::size_t>& ioFirst, std::size_t iBlock) {
  std::size_t current = ioFirst.load();
  while (iBlock < current && !ioFirst.compare_exchange_weak(current, iBlock)) {
  }
}

// q_i = F_i / (k_i - omega^2 m_i + i omega c_i) of every mode at frequency
// iF (hertz): the one place the sweep and the fields form it.
void ModalResponses(const std::vector<Mode>& iModes, const std::vector<double>& iDamping, double iF,
                    const VOKMathComplex* iForces, std::complex<double>* oQ) {
  const double omega = iF * kTwoPi;
  const double omega2 = omega * omega;
  for (std::size_t i = 0; i < iModes.size(); ++i) {
    const Mode& mode = iModes[i];
    std::complex<double> dynamic(mode.generalizedStiffness - omega2 * mode.generalizedMass, omega * iDamping[i]);
    oQ[i] = std::complex<double>(iForces[i].re, iForces[i].im) / dynamic;
  }
}

// One block: the batched excitation, then per frequency, in the order of a
// single-frequency sweep, q_i = F_i / (k_i - omega^2 m_i + i omega c_i) and
// u = sum_i phi_i q_i in mode order.
void SweepBlock(SweepShared& ioShared, VOKDYNExcitationTools& iExcitation, std::size_t iBlock,
                std::vector<double>& ioAbscissae, std::vector<VOKMathComplex>& ioForces,
                std::vector<std::complex<double>>& ioQ) {
  const std::vector<float>& frequencies = ioShared.frequencies;
  const std::size_t first = iBlock * kBlock;
  const std::size_t count = std::min(kBlock, frequencies.size() - first);
  for (std::size_t k = 0; k < count; ++k) ioAbscissae[k] = frequencies[first + k];
  long hr = iExcitation.GetExcitValues(static_cast<int>(count), ioAbscissae.data(), ioForces.data());
  if (hr < 0) {
    char context[96];
    if (count == 1)
      std::snprintf(context, sizeof context, " at %.9g Hz", ioAbscissae[0]);
    else
      std::snprintf(context, sizeof context, " at %.9g to %.9g Hz", ioAbscissae[0], ioAbscissae[count - 1]);
    throw ComputationError("VOKDYNExcitationTools::GetExcitValues", hr, context);
  }
  const std::size_t n = ioShared.model.base.modes.size();
  for (std::size_t k = 0; k < count; ++k) {
    ModalResponses(ioShared.model.base.modes, ioShared.damping, ioAbscissae[k], ioForces.data() + k * n, ioQ.data());
    for (std::size_t o = 0; o < ioShared.phi.size(); ++o) {
      const std::vector<double>& phi = ioShared.phi[o];
      std::complex<double> u(0.0, 0.0);
      for (std::size_t i = 0; i < n; ++i) u += phi[i] * ioQ[i];
      ioShared.response.values[o][first + k] = u;
    }
  }
}

// A worker's run of blocks. It stops at its first failure, or before a block
// that lies past a failure already found: what a single thread would report
// is the failure of lowest frequency, and every block below it still runs.
void SweepRun(SweepShared& ioShared, SweepWorker& ioWorker) {
  try {
    const std::size_t n = ioShared.model.base.modes.size();
    std::vector<double> abscissae(kBlock);
    // Never empty: the batched evaluation refuses a null array.
    std::vector<VOKMathComplex> forces(std::max<std::size_t>(1, kBlock * n));
    std::vector<std::complex<double>> q(n);
    for (std::size_t b = ioWorker.firstBlock; b < ioWorker.endBlock; ++b) {
      if (ioShared.abandon.load(std::memory_order_relaxed) ||
          ioShared.firstFailed.load(std::memory_order_relaxed) < b)
        break;
      try {
        SweepBlock(ioShared, *ioWorker.excitation.Get(), b, abscissae, forces, q);
      } catch (...) {
        ioWorker.failedBlock = b;
        ioWorker.failure = std::current_exception();
        LowerFirstFailed(ioShared.firstFailed, b);
        break;
      }
      ioShared.done.fetch_add(std::min(kBlock, ioShared.frequencies.size() - b * kBlock),
                              std::memory_order_relaxed);
    }
  } catch (...) {
    // No memory for the work arrays: a failure before the first block.
    ioWorker.failedBlock = ioWorker.firstBlock;
    ioWorker.failure = std::current_exception();
    LowerFirstFailed(ioShared.firstFailed, ioWorker.firstBlock);
  }
  std::lock_guard<std::mutex> lock(ioShared.mutex);
  ++ioShared.finished;
  ioShared.finishedChanged.notify_all();
}

// The started workers, joined on every way out, so that no thread outlives
// what it works on.
class SweepThreads {
 public:
  explicit SweepThreads(SweepShared& ioShared) : _Shared(ioShared) {}
  ~SweepThreads() {
    _Shared.abandon = true;
    JoinAll();
  }
  SweepThreads(const SweepThreads&) = delete;
  SweepThreads& operator=(const SweepThreads&) = delete;
  void Start(SweepWorker& ioWorker) {
    _Threads.emplace_back([this, &ioWorker] { SweepRun(_Shared, ioWorker); });
  }
  std::size_t Count() const { return _Threads.size(); }
  void JoinAll() {
    for (std::thread& t : _Threads)
      if (t.joinable()) t.join();
  }

 private:
  SweepShared& _Shared;
  std::vector<std::thread> _Threads;
};

ExcitationType RunSweep(const Model& iModel, const StandIn& iStandIn, const std::vector<float>& iFrequencies,
                     const std::vector<double>& iDamping, const std::vector<std::vector<double>>& iPhi,
                     const Progress& iProgress, int iThreads, Response& ioResponse) {
  const std::size_t count = iFrequencies.size();
  const std::size_t blocks = (count + kBlock - 1) / kBlock;
  std::size_t threads = iThreads < 1 ? 1 : static_cast<std::size_t>(iThreads);
  threads = std::max<std::size_t>(1, std::min({threads, blocks, kMaxThreads}));

  // Every object is initialised here, in order, before any thread starts.
  std::vector<SweepWorker> workers(threads);
  ExcitationType firstType = UndefinedExcitationType;
  for (std::size_t w = 0; w < threads; ++w) {
    SweepWorker& worker = workers[w];
    worker.excitation = Owned<VOKDYNExcitationTools>(new VOKDYNExcitationTools());
    ExcitationType type = UndefinedExcitationType;
    Check(worker.excitation->Initialize(iStandIn.excitations, iStandIn.Tools(), type, DYNDefaultDomain),
          "VOKDYNExcitationTools::Initialize");
    if (w == 0) firstType = type;
    worker.firstBlock = blocks * w / threads;
    worker.endBlock = blocks * (w + 1) / threads;
  }
  if (blocks == 0) return firstType;

  SweepShared shared(iModel, iFrequencies, iDamping, iPhi, ioResponse);
  {
    SweepThreads running(shared);
    for (SweepWorker& worker : workers) running.Start(worker);
    std::size_t reported = 0;
    std::unique_lock<std::mutex> lock(shared.mutex);
    while (shared.finished < running.Count()) {
      shared.finishedChanged.wait_for(lock, kProgressPeriod);
      const std::size_t done = shared.done.load();
      if (iProgress && done > reported && done < count) {
        lock.unlock();
        iProgress(done, count);
        reported = done;
        lock.lock();
      }
    }
    lock.unlock();
    running.JoinAll();
  }

  // The failure of lowest frequency, as a single thread meets it.
  const SweepWorker* failed = nullptr;
  for (const SweepWorker& worker : workers)
    if (worker.failure && (!failed || worker.failedBlock < failed->failedBlock)) failed = &worker;
  if (failed) std::rethrow_exception(failed->failure);
  if (iProgress) iProgress(count, count);
  return firstType;
}

}  // namespace

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

DampingInfo CheckDamping(const Model& iModel) {
  StandIn standIn = BuildStandIn(iModel);
  return QueryDamping(iModel, standIn);
}

RunResult RunHarmonic(const Model& iModel, const Progress& iProgress, int iThreads) {
  RunResult run;
  const std::vector<float> frequencies = SweepFrequencies(iModel.sweep);
  const std::size_t count = frequencies.size();
  StandIn standIn = BuildStandIn(iModel);
  // The model is built; nothing of the library has run yet.
  if (iProgress) iProgress(0, count);
  run.damping = QueryDamping(iModel, standIn);
  const std::vector<double>& c = run.damping.values;

  const std::size_t n = iModel.base.modes.size();
  Response& response = run.response;
  response.frequencies = frequencies;
  response.outputs = iModel.outputs;
  response.values.assign(iModel.outputs.size(), std::vector<std::complex<double>>(count));

  // phi_i at each output's degree of freedom, mode by mode.
  std::vector<std::vector<double>> phi(iModel.outputs.size(), std::vector<double>(n));
  std::vector<int> positions;
  for (std::size_t o = 0; o < iModel.outputs.size(); ++o) {
    const Output& out = iModel.outputs[o];
    int node = iModel.NodeIndex(out.node);
    positions.push_back(6 * node + (out.component - 1));
    for (std::size_t i = 0; i < n; ++i)
      phi[o][i] = iModel.base.modes[i].shape[static_cast<std::size_t>(node)][static_cast<std::size_t>(out.component - 1)];
  }

  // The excitation of every mode at each frequency, F_i(f), and the modal
  // response, on the sweep threads.
  ExcitationType firstType = RunSweep(iModel, standIn, frequencies, c, phi, iProgress, iThreads, response);

  // The absolute motion: support motion and enforced displacements on top of
  // the modal response, from an object initialised for results.
  if (iModel.baseMotion.present || !iModel.enforced.empty()) {
    Owned<VOKDYNExcitationTools> result(new VOKDYNExcitationTools());
    Check(result->InitializeForResult(standIn.excitations, standIn.Tools(), firstType),
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
  return run;
}

// ------------------------------------------------------------ modal solver

struct ModalSolver::State {
  const Model& model;
  StandIn standIn;
  DampingInfo damping;
  Owned<VOKDYNExcitationTools> excitation;
  ExcitationType type = UndefinedExcitationType;
  explicit State(const Model& iModel) : model(iModel) {}
};

ModalSolver::ModalSolver(const Model& iModel) : _S(new State(iModel)) {
  _S->standIn = BuildStandIn(iModel);
  _S->damping = QueryDamping(iModel, _S->standIn);
  _S->excitation = Owned<VOKDYNExcitationTools>(new VOKDYNExcitationTools());
  Check(_S->excitation->Initialize(_S->standIn.excitations, _S->standIn.Tools(), _S->type, DYNDefaultDomain),
        "VOKDYNExcitationTools::Initialize");
}

ModalSolver::~ModalSolver() = default;

std::vector<std::complex<double>> ModalSolver::Solve(const std::vector<float>& iFrequencies) {
  const std::size_t n = _S->model.base.modes.size();
  std::vector<std::complex<double>> q(iFrequencies.size() * n);
  // The sweep's batches of the excitation, and its modal responses.
  std::vector<double> abscissae(kBlock);
  std::vector<VOKMathComplex> forces(std::max<std::size_t>(1, kBlock * n));
  for (std::size_t first = 0; first < iFrequencies.size(); first += kBlock) {
    const std::size_t count = std::min(kBlock, iFrequencies.size() - first);
    for (std::size_t k = 0; k < count; ++k) abscissae[k] = iFrequencies[first + k];
    Check(_S->excitation->GetExcitValues(static_cast<int>(count), abscissae.data(), forces.data()),
          "VOKDYNExcitationTools::GetExcitValues", " for the response fields");
    for (std::size_t k = 0; k < count; ++k)
      ModalResponses(_S->model.base.modes, _S->damping.values, abscissae[k], forces.data() + k * n,
                     q.data() + (first + k) * n);
  }
  return q;
}

void ModalSolver::AddAbsolute(const std::vector<float>& iFrequencies, std::size_t iComponents, std::size_t iStride,
                              double* ioRe, double* ioIm) {
  const Model& model = _S->model;
  if ((!model.baseMotion.present && model.enforced.empty()) || iFrequencies.empty()) return;
  Owned<VOKDYNExcitationTools> result(new VOKDYNExcitationTools());
  Check(result->InitializeForResult(_S->standIn.excitations, _S->standIn.Tools(), _S->type),
        "VOKDYNExcitationTools::InitializeForResult");
  VOKRawCollfloat sweep;
  for (float f : iFrequencies) sweep.Append(f);
  const std::size_t count = iFrequencies.size();
  auto add = [&](std::size_t iNodeIndex, std::size_t iRows, const std::vector<double>& iRe,
                 const std::vector<double>& iIm, std::size_t iRowOffset) {
    for (std::size_t r = 0; r < iRows; ++r)
      for (std::size_t t = 0; t < count; ++t) {
        const std::size_t at = t * iStride + iNodeIndex * iComponents + r;
        ioRe[at] += iRe[(iRowOffset + r) * count + t];
        ioIm[at] += iIm[(iRowOffset + r) * count + t];
      }
  };
  auto call = [&](std::size_t iRows, std::vector<double>& oRe, std::vector<double>& oIm, auto iOperation) {
    oRe.assign(iRows * count, 0.0);
    oIm.assign(iRows * count, 0.0);
    std::vector<double*> reRows, imRows;
    for (std::size_t r = 0; r < iRows; ++r) {
      reRows.push_back(oRe.data() + r * count);
      imRows.push_back(oIm.data() + r * count);
    }
    double** re = reRows.data();
    double** im = imRows.data();
    iOperation(re, im);
  };
  std::vector<double> re, im;
  if (model.baseMotion.present) {
    VOKRawCollint components;
    for (std::size_t c = 0; c < iComponents; ++c) components.Append(static_cast<int>(c));
    for (std::size_t n = 0; n < model.nodes.size(); ++n) {
      const int node = model.nodes[n].id;
      call(iComponents, re, im, [&](double**& oR, double**& oI) {
        Check(result->AddRigidExcit(node, components, sweep, oR, oI), "VOKDYNExcitationTools::AddRigidExcit",
              " at node " + std::to_string(node));
      });
      add(n, iComponents, re, im, 0);
    }
  }
  if (!model.enforced.empty()) {
    VOKRawCollint dofs;
    for (std::size_t n = 0; n < model.nodes.size(); ++n)
      for (std::size_t c = 0; c < iComponents; ++c) dofs.Append(static_cast<int>(6 * n + c));
    call(model.nodes.size() * iComponents, re, im, [&](double**& oR, double**& oI) {
      Check(result->AddEnforcedDispExcit(0, dofs, sweep, oR, oI), "VOKDYNExcitationTools::AddEnforcedDispExcit");
    });
    for (std::size_t n = 0; n < model.nodes.size(); ++n) add(n, iComponents, re, im, n * iComponents);
  }
}

}  // namespace vokdyn
