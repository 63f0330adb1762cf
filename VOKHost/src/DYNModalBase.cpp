// The stand-in's modal base: its tools, its access object and its
// rigid-mode provider.
//
// Sign convention: a base acceleration a_d along rigid-body direction d puts
// the generalised force -Phi^T M r_d a_d on the modes (the relative motion
// sees the inertia of the rigid-body motion), hence the minus sign of the
// rigid vectors.
#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <mutex>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>

#include "VOKHostDynamics.h"
#include "VOKHostTesting.h"

namespace VOKHost {

struct ModalBase::Data {
  ModalBaseDefinition def;
  std::unordered_map<int, int> index;  // node id -> node index (a base may hold millions)

  double ShapeAt(std::size_t iMode, std::size_t iPosition) const {
    if (def.shapeTable) return def.shapeTable.get()[iMode * 6 * def.nodes.size() + iPosition];
    return def.shapes[iMode][iPosition];
  }
  // Per mode, about the global origin and axes; computed on first use, as
  // most runs never ask and a base may hold millions of nodes. The storage
  // is made with the base, so that no host operation allocates for it.
  const std::vector<std::array<double, 6>>& Gamma() const;
  void SizeGamma() { _Gamma.assign(def.modalMasses.size(), std::array<double, 6>{}); }

 private:
  mutable std::once_flag _GammaOnce;
  mutable std::vector<std::array<double, 6>> _Gamma;
};

namespace {

double Dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void Cross(const double* a, const double* b, double* c) {
  c[0] = a[1] * b[2] - a[2] * b[1];
  c[1] = a[2] * b[0] - a[0] * b[2];
  c[2] = a[0] * b[1] - a[1] * b[0];
}

bool Finite3(const double* a) {
  return std::isfinite(a[0]) && std::isfinite(a[1]) && std::isfinite(a[2]);
}

// Rigid-body mode d (1..6) of the axes iE through iOrigin at a node at iX:
// six components (translation, rotation).
void RigidMode(const double iE[3][3], const double iOrigin[3], int iDirection, const double* iX,
               double oMode[6]) {
  for (int c = 0; c < 6; ++c) oMode[c] = 0.0;
  if (iDirection <= 3) {
    for (int c = 0; c < 3; ++c) oMode[c] = iE[iDirection - 1][c];
    return;
  }
  const double* e = iE[iDirection - 4];
  double rel[3] = {iX[0] - iOrigin[0], iX[1] - iOrigin[1], iX[2] - iOrigin[2]};
  Cross(e, rel, oMode);
  for (int c = 0; c < 3; ++c) oMode[3 + c] = e[c];
}

const double kGlobalAxes[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
const double kGlobalOrigin[3] = {0, 0, 0};

void FreeTable(double** ioTable, int iCount) {
  if (!ioTable) return;
  for (int k = 0; k < iCount; ++k) delete[] ioTable[k];
  delete[] ioTable;
}

// Rigid-body modes over the physical degrees of freedom; shares the base's
// data, never the base itself.
class RigidModeProvider : public Component, public VOKIDYNRigidModeProvider {
 public:
  explicit RigidModeProvider(std::shared_ptr<const ModalBase::Data> iData) : _Data(std::move(iData)) {}

  long ComputeRigidModes(const VOKMathAxis& iAxis, int& oN, double*& oModes) override;
  long ComputeNodeRigidModes(int iNode, const VOKMathAxis& iAxis, int& oSize,
                             double*& oModes) override;

 protected:
  void* Answer(const IID& iIID) override {
    if (iIID == IID_VOKIDYNRigidModeProvider) return static_cast<VOKIDYNRigidModeProvider*>(this);
    return Component::Answer(iIID);
  }

 private:
  std::shared_ptr<const ModalBase::Data> _Data;
};

}  // namespace

long RigidModeProvider::ComputeRigidModes(const VOKMathAxis& iAxis, int& oN, double*& oModes) {
  FaultPoint fp("VOKIDYNRigidModeProvider::ComputeRigidModes");
  oModes = nullptr;
  oN = 0;
  if (fp.Fail()) return fp.Result();
  double e[3][3], origin[3];
  if (!OrthonormalAxes(iAxis, e, origin)) return E_FAIL;
  const std::vector<ModalNode>& nodes = _Data->def.nodes;
  const int n = 6 * static_cast<int>(nodes.size());
  double* modes = new double[6 * static_cast<std::size_t>(n)];
  for (int d = 1; d <= 6; ++d)
    for (std::size_t k = 0; k < nodes.size(); ++k)
      RigidMode(e, origin, d, nodes[k].position.data(),
                modes + static_cast<std::size_t>(d - 1) * n + 6 * k);
  oN = n;
  oModes = modes;
  return S_OK;
}

long RigidModeProvider::ComputeNodeRigidModes(int iNode, const VOKMathAxis& iAxis, int& oSize,
                                              double*& oModes) {
  FaultPoint fp("VOKIDYNRigidModeProvider::ComputeNodeRigidModes");
  oModes = nullptr;
  oSize = 0;
  if (fp.Fail()) return fp.Result();
  const std::unordered_map<int, int>& index = _Data->index;
  auto it = index.find(iNode);
  if (it == index.end()) return E_INVALIDARG;
  double e[3][3], origin[3];
  if (!OrthonormalAxes(iAxis, e, origin)) return E_FAIL;
  const ModalNode& node = _Data->def.nodes[static_cast<std::size_t>(it->second)];
  double* modes = new double[36];
  for (int d = 1; d <= 6; ++d) RigidMode(e, origin, d, node.position.data(), modes + (d - 1) * 6);
  oSize = 36;
  oModes = modes;
  return S_OK;
}

// ------------------------------------------------------------- free helpers

bool OrthonormalAxes(const VOKMathAxis& iAxis, double oE[3][3], double oOrigin[3]) {
  const double* x = iAxis.Direction(1);
  const double* y = iAxis.Direction(2);
  if (!Finite3(x) || !Finite3(y) || !Finite3(iAxis.Origin())) return false;
  const double nx = std::sqrt(Dot(x, x));
  const double ny = std::sqrt(Dot(y, y));
  if (!(nx > 0.0) || !(ny > 0.0)) return false;
  double xh[3] = {x[0] / nx, x[1] / nx, x[2] / nx};
  double z[3];
  Cross(xh, y, z);
  const double nz = std::sqrt(Dot(z, z));
  // Relative to |y|: x and y closer than about 1e-12 rad are parallel.
  if (!(nz > 1e-12 * ny)) return false;
  double zh[3] = {z[0] / nz, z[1] / nz, z[2] / nz};
  double yh[3];
  Cross(zh, xh, yh);
  for (int c = 0; c < 3; ++c) {
    oE[0][c] = xh[c];
    oE[1][c] = yh[c];
    oE[2][c] = zh[c];
    oOrigin[c] = iAxis.Origin()[c];
  }
  return true;
}

std::string CheckModalBaseDefinition(const ModalBaseDefinition& iDefinition) {
  const ModalBaseDefinition& d = iDefinition;
  const std::size_t n = d.modalMasses.size();
  const std::size_t k = d.nodes.size();
  std::ostringstream out;
  if (d.modalStiffnesses.size() != n) {
    out << "modal stiffnesses: " << d.modalStiffnesses.size() << " values, expected " << n;
    return out.str();
  }
  if (!d.frequencies.empty() && d.frequencies.size() != n) {
    out << "frequencies: " << d.frequencies.size() << " values, expected " << n;
    return out.str();
  }
  if (d.shapeTable && !d.shapes.empty()) {
    out << "mode shapes: given both as a table and as " << d.shapes.size() << " vectors";
    return out.str();
  }
  if (!d.shapeTable && d.shapes.size() != n) {
    out << "mode shapes: " << d.shapes.size() << " modes, expected " << n;
    return out.str();
  }
  if (!d.participation.empty() && d.participation.size() != n) {
    out << "participation factors: " << d.participation.size() << " modes, expected " << n;
    return out.str();
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (!d.shapeTable && d.shapes[i].size() != 6 * k) {
      out << "mode " << i + 1 << ": shape has " << d.shapes[i].size() << " values, expected "
          << 6 * k;
      return out.str();
    }
    if (d.frequencies.empty() && !(d.modalMasses[i] > 0.0 && d.modalStiffnesses[i] >= 0.0)) {
      out << "mode " << i + 1 << ": no frequency given and none follows from m = "
          << d.modalMasses[i] << ", k = " << d.modalStiffnesses[i];
      return out.str();
    }
  }
  std::unordered_set<int> seen;
  seen.reserve(k);
  for (std::size_t j = 0; j < k; ++j)
    if (!seen.insert(d.nodes[j].id).second) {
      out << "node id " << d.nodes[j].id << " appears twice";
      return out.str();
    }
  return std::string();
}

// ---------------------------------------------------------------- the base

ModalBase* ModalBase::Create(const ModalBaseDefinition& iDefinition, std::string* oError) {
  std::string error = CheckModalBaseDefinition(iDefinition);
  if (oError) *oError = error;
  if (!error.empty()) return nullptr;

  auto data = std::make_shared<Data>();
  data->def = iDefinition;  // a table is shared, not copied
  ModalBaseDefinition& def = data->def;
  const std::size_t n = def.modalMasses.size();
  if (def.frequencies.empty())
    for (std::size_t i = 0; i < n; ++i)
      def.frequencies.push_back(std::sqrt(def.modalStiffnesses[i] / def.modalMasses[i]) /
                                (2.0 * 3.141592653589793));
  data->SizeGamma();
  data->index.reserve(def.nodes.size());
  for (std::size_t j = 0; j < def.nodes.size(); ++j) data->index[def.nodes[j].id] = static_cast<int>(j);

  return new ModalBase(std::move(data));
}

const std::vector<std::array<double, 6>>& ModalBase::Data::Gamma() const {
  std::call_once(_GammaOnce, [this] {
    // Gamma_i,d = phi_i^T M r_d, from the lumped masses unless given.
    const std::size_t n = def.modalMasses.size();
    for (std::size_t i = 0; i < n; ++i) {
      if (!def.participation.empty() && def.participation[i]) {
        _Gamma[i] = *def.participation[i];
        continue;
      }
      for (int dir = 1; dir <= 6; ++dir) {
        double sum = 0.0;
        for (std::size_t j = 0; j < def.nodes.size(); ++j) {
          double r[6];
          RigidMode(kGlobalAxes, kGlobalOrigin, dir, def.nodes[j].position.data(), r);
          for (int c = 0; c < 6; ++c)
            sum += ShapeAt(i, 6 * j + static_cast<std::size_t>(c)) * def.nodes[j].mass[static_cast<std::size_t>(c)] * r[c];
        }
        _Gamma[i][static_cast<std::size_t>(dir - 1)] = sum;
      }
    }
  });
  return _Gamma;
}

ModalBase::ModalBase(std::shared_ptr<const Data> iData)
    : Feature(iData->def.name, FacetSpecObject | FacetAlias | FacetAnalysisSet),
      _Data(std::move(iData)),
      _Access(nullptr),
      _DampingDiagonal(_Data->def.dampingDiagonal) {
  _Access = new BaseAccess(_Data->def.name, _Data->def.frequencies);
  AddLinkedObject(static_cast<Feature*>(_Access));  // the base's one reference
  _Access->Release();
}

ModalBase::~ModalBase() = default;

void* ModalBase::Answer(const IID& iIID) {
  if (iIID == IID_VOKIDYNBaseTools) return static_cast<VOKIDYNBaseTools*>(this);
  return Feature::Answer(iIID);
}

int ModalBase::ModeCount() const { return static_cast<int>(_Data->def.modalMasses.size()); }
int ModalBase::NodeCount() const { return static_cast<int>(_Data->def.nodes.size()); }
int ModalBase::NodeIndex(int iId) const {
  auto it = _Data->index.find(iId);
  return it == _Data->index.end() ? -1 : it->second;
}
const ModalNode& ModalBase::Node(int iIndex) const {
  return _Data->def.nodes.at(static_cast<std::size_t>(iIndex));
}
double ModalBase::Shape(int iMode, int iPosition) const {
  if (iMode < 0 || iMode >= ModeCount() || iPosition < 0 || iPosition >= 6 * NodeCount())
    throw std::out_of_range("ModalBase::Shape: no mode " + std::to_string(iMode) + " position " + std::to_string(iPosition));
  return _Data->ShapeAt(static_cast<std::size_t>(iMode), static_cast<std::size_t>(iPosition));
}
double ModalBase::Participation(int iMode, int iDirection) const {
  return _Data->Gamma().at(static_cast<std::size_t>(iMode)).at(static_cast<std::size_t>(iDirection - 1));
}
const ModalBaseDefinition& ModalBase::Definition() const { return _Data->def; }

long ModalBase::NewTable(double**& oVectors, int iCount) const {
  const int n = ModeCount();
  oVectors = new (std::nothrow) double*[static_cast<std::size_t>(iCount)];
  if (!oVectors) return E_OUTOFMEMORY;
  for (int k = 0; k < iCount; ++k) {
    oVectors[k] = new (std::nothrow) double[static_cast<std::size_t>(n)]();
    if (!oVectors[k]) {
      FreeTable(oVectors, k);
      oVectors = nullptr;
      return E_OUTOFMEMORY;
    }
  }
  return S_OK;
}

// The answer a test hook asks for, in place of the computed table iVectors
// of iCount vectors and iResult.
long ModalBase::Answered(long iResult, double**& ioVectors, int iCount) const {
  switch (_VectorsAnswer) {
    case VectorsAnswer::SuccessNoTable:
      FreeTable(ioVectors, iCount);
      ioVectors = nullptr;
      return S_OK;
    case VectorsAnswer::FailureWithTable:
      return E_FAIL;
    case VectorsAnswer::Computed:
      break;
  }
  return iResult;
}

long ModalBase::GetNbDof(int& oN) {
  FaultPoint fp("VOKIDYNBaseTools::GetNbDof");
  if (fp.Fail()) return fp.Result();
  oN = _DofCountSet ? _DofCount : ModeCount();
  return S_OK;
}

long ModalBase::GetRigidModeProvider(VOKIDYNRigidModeProvider*& oProvider) {
  FaultPoint fp("VOKIDYNBaseTools::GetRigidModeProvider");
  oProvider = nullptr;
  if (fp.Fail()) return fp.Result();
  oProvider = new RigidModeProvider(_Data);
  return S_OK;
}

long ModalBase::IsDampingDiagonal(int& oDiagonal) {
  FaultPoint fp("VOKIDYNBaseTools::IsDampingDiagonal");
  if (fp.Fail()) return fp.Result();
  oDiagonal = _DampingDiagonal ? 1 : 0;
  return S_OK;
}

long ModalBase::GetModalStiffnesses(double*& oStiffnesses) {
  FaultPoint fp("VOKIDYNBaseTools::GetModalStiffnesses");
  oStiffnesses = nullptr;
  if (fp.Fail()) return fp.Result();
  const std::vector<double>& k = _Data->def.modalStiffnesses;
  oStiffnesses = new double[k.size()];
  for (std::size_t i = 0; i < k.size(); ++i) oStiffnesses[i] = k[i];
  return S_OK;
}

long ModalBase::GetModalMasses(double*& oMasses) {
  FaultPoint fp("VOKIDYNBaseTools::GetModalMasses");
  oMasses = nullptr;
  if (fp.Fail()) return fp.Result();
  const std::vector<double>& m = _Data->def.modalMasses;
  oMasses = new double[m.size()];
  for (std::size_t i = 0; i < m.size(); ++i) oMasses[i] = m[i];
  return S_OK;
}

long ModalBase::ComputeLoadVectors(VOKListValVOKISpecObject_var& iLoads, double**& oVectors) {
  FaultPoint fp("VOKIDYNBaseTools::ComputeLoadVectors");
  oVectors = nullptr;
  if (fp.Fail()) return fp.Result();
  const int count = iLoads.Size();
  double** table = nullptr;
  long hr = NewTable(table, count);
  if (FAILED(hr)) return hr;
  for (int k = 1; k <= count; ++k) {
    VOKVar<ModalForceSource> source(iLoads[k].Get());
    hr = source ? source->GeneralisedForce(*this, table[k - 1]) : E_FAIL;
    if (FAILED(hr)) {
      FreeTable(table, count);
      return hr;
    }
  }
  oVectors = table;
  return Answered(S_OK, oVectors, count);
}

long ModalBase::ComputeRigidVectorsOnAxis(const VOKMathAxis& iAxis, double**& oVectors) {
  FaultPoint fp("VOKIDYNBaseTools::ComputeRigidVectorsOnAxis");
  oVectors = nullptr;
  if (fp.Fail()) return fp.Result();
  double e[3][3], p[3];
  if (!OrthonormalAxes(iAxis, e, p)) return E_FAIL;
  double** table = nullptr;
  long hr = NewTable(table, 6);
  if (FAILED(hr)) return hr;
  const int n = ModeCount();
  const std::vector<std::array<double, 6>>& gamma = _Data->Gamma();
  for (int i = 0; i < n; ++i) {
    const double* g = gamma[static_cast<std::size_t>(i)].data();
    for (int d = 1; d <= 3; ++d) table[d - 1][i] = -Dot(e[d - 1], g);
    for (int d = 4; d <= 6; ++d) {
      const double* axis = e[d - 4];
      double exp[3];
      Cross(axis, p, exp);
      table[d - 1][i] = -(Dot(axis, g + 3) - Dot(exp, g));
    }
  }
  oVectors = table;
  return Answered(S_OK, oVectors, 6);
}

long ModalBase::ComputeRigidVectors(double**& oVectors) {
  FaultPoint fp("VOKIDYNBaseTools::ComputeRigidVectors");
  oVectors = nullptr;
  if (fp.Fail()) return fp.Result();
  double** table = nullptr;
  long hr = NewTable(table, 6);
  if (FAILED(hr)) return hr;
  const int n = ModeCount();
  const std::vector<std::array<double, 6>>& gamma = _Data->Gamma();
  for (int i = 0; i < n; ++i)
    for (int d = 0; d < 6; ++d) table[d][i] = -gamma[static_cast<std::size_t>(i)][static_cast<std::size_t>(d)];
  oVectors = table;
  return Answered(S_OK, oVectors, 6);
}

long ModalBase::CheckRotationAxis(VOKRawCollint& iDirections, int& ioAxisFlag, VOKMathAxis& ioAxis) {
  FaultPoint fp("VOKIDYNBaseTools::CheckRotationAxis");
  if (fp.Fail()) return fp.Result();
  for (int k = 1; k <= iDirections.Size(); ++k)
    if (iDirections[k] < 1 || iDirections[k] > 6) return E_INVALIDARG;
  if (ioAxisFlag == 0) {
    ioAxis = VOKMathAxis();
    return S_OK;
  }
  double e[3][3], origin[3];
  if (!OrthonormalAxes(ioAxis, e, origin)) return E_FAIL;
  ioAxis.SetDirections(e[0], e[1], e[2]);
  return S_OK;
}

// ------------------------------------------------------- the access object

BaseAccess::BaseAccess(const std::string& iName, const std::vector<double>& iFrequencies)
    : Feature(iName, FacetSpecObject | FacetAlias), _Frequencies(iFrequencies), _StateResult(S_OK) {}

BaseAccess::~BaseAccess() = default;

void* BaseAccess::Answer(const IID& iIID) {
  if (iIID == IID_VOKIDYNBaseAccess) return static_cast<VOKIDYNBaseAccess*>(this);
  return Feature::Answer(iIID);
}

long BaseAccess::GetOccurrenceValues(VOKRawColldouble& ioValues) {
  FaultPoint fp("VOKIDYNBaseAccess::GetOccurrenceValues");
  if (fp.Fail()) return fp.Result();
  for (double f : _Frequencies) ioValues.Append(f);
  return S_OK;
}

long BaseAccess::CheckBaseState() {
  FaultPoint fp("VOKIDYNBaseAccess::CheckBaseState");
  if (fp.Fail()) return fp.Result();
  return _StateResult;
}

}  // namespace VOKHost
