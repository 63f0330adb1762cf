#ifndef VOKDYNPlatformModel_h
#define VOKDYNPlatformModel_h
// A model as stand-in platform components (modal base, damping feature,
// modulations, excitations) and what the damping tools say of its damping.
// Every command that runs the library's tools on a model starts here.
#include <stdexcept>
#include <string>
#include <vector>

#include "VOKDYNModel.h"
#include "VOKDYNModelLoader.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKHostResponses.h"

namespace vokdyn {

/// A library or platform operation that failed during a run.
class ComputationError : public std::runtime_error {
 public:
  ComputationError(const std::string& iOperation, long iResult, const std::string& iContext);
  const std::string& Operation() const { return _Operation; }
  long Result() const { return _Result; }

 private:
  std::string _Operation;
  long _Result;
};

/// "0x80004005": a result code as the 32-bit pattern it is.
std::string HexResult(long iResult);

/// Throws ComputationError(iOperation, iResult, iContext) for a failure code.
void Check(long iResult, const char* iOperation, const std::string& iContext = std::string());

/// One reference to a stand-in component, taken over at construction and
/// released when the holder goes.
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


/// The model as stand-in components: the modal base, its damping feature and
/// the excitations, each held once here (one reference each).
struct StandIn {
  Owned<VOKHost::ModalBase> base;
  Owned<VOKHost::Feature> damping;
  std::vector<Owned<VOKHost::Modulation>> modulations;  // aligned with Model::modulations
  Owned<VOKHost::LoadExcitation> loadExcitation;
  Owned<VOKHost::RestraintExcitation> restraint;
  VOKListValVOKBaseUnknown_var excitations;

  VOKIDYNBaseTools* Tools() const { return static_cast<VOKIDYNBaseTools*>(base.Get()); }
};

/// Builds iModel in the platform; the modal base reads the model's shapes
/// in place. With iReadShapes, for a run: the rows the run reads are
/// checked for finiteness first (every row when a mode's participation
/// factors or an enforced set's modal force come from the nodal masses,
/// else the rows of the loaded nodes and the outputs), and the factors a
/// model does not give are computed from the nodal masses in one pass
/// (the sums of the stand-in, to the bit) and handed to the base as given. Without it
/// (`vokdyn check`) no value of the shapes is read. Throws ModelError when a
/// value read is not finite or the platform refuses a part of the model.
StandIn BuildStandIn(const Model& iModel, bool iReadShapes = true);

/// For a run that writes no fields: when it reads the rows of its loaded
/// and output nodes only (see BuildStandIn), the model's mapped table is
/// replaced by one holding those rows alone (ModeShapes::ReadRows), so that
/// the run maps nothing of the file; every other row then reads as zeros.
/// The participation factors the model does not give are computed first,
/// on iThreads threads (the same bits for any count), and given.
void KeepRowsOfRun(Model& ioModel, int iThreads = 1);

/// Throws the ModelError of the first value of the shapes that is not
/// finite in the rows of the nodes iNodes (indices) of every mode, or in any
/// row: "FILE: modal_base.shapes: NPY: element [j, i, c] is nan: ...".
void RequireFiniteRows(const Model& iModel, const std::vector<std::size_t>& iNodes);
void RequireFiniteShapes(const Model& iModel);

/// What the damping tools say of the model's damping.
struct DampingInfo {
  std::string type;        ///< "modal" or "Rayleigh", as the tools read it
  bool perMode = false;
  std::string validity;    ///< "valid", "base check failed" or "invalid"
  bool valid = false;      ///< usable: valid, or base check failed
  bool baseUpToDate = true;
  std::vector<double> values;  ///< c_i per mode
  std::vector<double> structural;  ///< eta_i per mode for structural damping; empty otherwise
};

/// Asks the damping tools about the damping of iStandIn (base state with its
/// warning, definition check, values). Damping computed by this tool
/// (Damping::ComputedByTool) is built as 0 % modal damping, which the tools
/// check with the base; its values are then the tool's own: a table's
/// c_i = sqrt(m_i k_i) (2 p(f_i)) / 100 (the tools' order for modal
/// damping), structural c_i = 0 with eta_i in `structural`. An invalid definition is a
/// ModelError; a failed operation a ComputationError.
DampingInfo QueryDamping(const Model& iModel, const StandIn& iStandIn);

/// Builds the model, reading no value of its shapes, and queries its
/// damping (the work of `vokdyn check`).
DampingInfo CheckDamping(const Model& iModel);

/// zeta_i = c_i / (2 sqrt(k_i m_i)): each mode's fraction of critical damping.
std::vector<double> DampingRatios(const Model& iModel, const std::vector<double>& iValues);

/// Warnings for damping that is most likely a slip of units: modal damping
/// of a mode below 0.1 % (a fraction typed as a percent: 0.03 for 3 %) or
/// above 50 % of critical, and Rayleigh damping that gives a mode below
/// 0.01 % or above 100 % of critical. Each names the modes and their
/// ratios; empty when nothing is suspicious.
std::vector<std::string> DampingWarnings(const Model& iModel, const std::vector<double>& iValues);

}  // namespace vokdyn

#endif
