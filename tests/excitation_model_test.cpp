// The stand-in's dynamic-response model: the modal base's physics (rigid
// vectors, participation factors on an axis, load vectors), its rigid-mode
// provider, access object, modulations and excitations.
#include <cmath>
#include <functional>

#include "VOKHostDynamics.h"
#include "VOKTestSupport.h"
#include "excitation_fixtures.h"

namespace {

using VOKHost::ModalBase;
using VOKHost::ModalBaseDefinition;

// Two nodes, two modes. Node 10 at (1, 2, 0), node 20 at (0, -1, 3).
ModalBaseDefinition TwoNodeDefinition() {
  ModalBaseDefinition d;
  d.name = "Normal modes";
  d.modalMasses = {2.0, 4.0};
  d.modalStiffnesses = {8.0, 100.0};
  d.nodes.resize(2);
  d.nodes[0].id = 10;
  d.nodes[0].position = {1.0, 2.0, 0.0};
  d.nodes[0].mass = {2.0, 2.0, 2.0, 0.5, 0.25, 0.125};
  d.nodes[1].id = 20;
  d.nodes[1].position = {0.0, -1.0, 3.0};
  d.nodes[1].mass = {1.0, 1.0, 1.0, 0.0, 0.0, 0.0};
  d.shapes = {{0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2},
              {-1.0, 0.5, 0.25, 0.0, 2.0, -3.0, 1.5, -0.5, 0.75, 1.0, 0.0, 4.0}};
  return d;
}

// Rigid-body vectors of the global axes, written out by hand for the two
// nodes: rows d = 1..6, 12 physical positions each. A rotation about e
// through the origin moves a node at x by e x x.
//   node (1, 2, 0):  x: (0, 0, 2)   y: (0, 0, -1)  z: (-2, 1, 0)
//   node (0, -1, 3): x: (0, -3, -1) y: (3, 0, 0)   z: (1, 0, 0)
const double kGlobalRigid[6][12] = {
    {1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0},
    {0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0},
    {0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0},
    {0, 0, 2, 1, 0, 0, 0, -3, -1, 1, 0, 0},
    {0, 0, -1, 0, 1, 0, 3, 0, 0, 0, 1, 0},
    {-2, 1, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1},
};

double PhiTMr(const ModalBaseDefinition& d, int iMode, const double* iRigid) {
  double sum = 0.0;
  for (int p = 0; p < 12; ++p)
    sum += d.shapes[static_cast<std::size_t>(iMode)][static_cast<std::size_t>(p)] *
           d.nodes[static_cast<std::size_t>(p / 6)].mass[static_cast<std::size_t>(p % 6)] * iRigid[p];
  return sum;
}

void FreeTable(double** iTable, int iCount) {
  for (int k = 0; k < iCount; ++k) delete[] iTable[k];
  delete[] iTable;
}

VOKMathAxis MakeAxis(std::array<double, 3> iOrigin, std::array<double, 3> iX, std::array<double, 3> iY) {
  const double z[3] = {0, 0, 0};  // not read: z follows from x and y
  return VOKMathAxis(iOrigin.data(), iX.data(), iY.data(), z);
}

class DynamicsModel : public VOKTest {};

TEST_F(DynamicsModel, RigidVectorsAreMinusPhiTransposedMassTimesRigidModes) {
  ModalBaseDefinition def = TwoNodeDefinition();
  ModalBase* base = ModalBase::Create(def);
  ASSERT_NE(base, nullptr);
  double** vectors = nullptr;
  ASSERT_HR(S_OK, base->ComputeRigidVectors(vectors));
  ASSERT_NE(vectors, nullptr);
  for (int d = 1; d <= 6; ++d)
    for (int i = 0; i < 2; ++i) {
      SCOPED_TRACE("direction " + std::to_string(d) + ", mode " + std::to_string(i + 1));
      // Sums of a dozen terms of order 1: a few ulps apart at most.
      EXPECT_NEAR(vectors[d - 1][i], -PhiTMr(def, i, kGlobalRigid[d - 1]), 1e-13);
      EXPECT_NEAR(base->Participation(i, d), PhiTMr(def, i, kGlobalRigid[d - 1]), 1e-13);
    }
  FreeTable(vectors, 6);
  base->Release();
}

TEST_F(DynamicsModel, RigidVectorsOnAnAxisFollowFromTheParticipationFactors) {
  ModalBaseDefinition def = TwoNodeDefinition();
  ModalBase* fromMasses = ModalBase::Create(def);
  ASSERT_NE(fromMasses, nullptr);
  // The same base described by its participation factors alone (no masses).
  ModalBaseDefinition given = def;
  for (auto& node : given.nodes) node.mass = {};
  given.participation.resize(2);
  for (int i = 0; i < 2; ++i) {
    std::array<double, 6> g{};
    for (int d = 1; d <= 6; ++d) g[static_cast<std::size_t>(d - 1)] = PhiTMr(def, i, kGlobalRigid[d - 1]);
    given.participation[static_cast<std::size_t>(i)] = g;
  }
  ModalBase* fromFactors = ModalBase::Create(given);
  ASSERT_NE(fromFactors, nullptr);

  struct Row {
    const char* what;
    VOKMathAxis axis;
  };
  const Row rows[] = {
      {"global", VOKMathAxis()},
      {"shifted origin", MakeAxis({1.0, -2.0, 0.5}, {1, 0, 0}, {0, 1, 0})},
      {"turned, not normalised", MakeAxis({0.5, 0.25, -1.0}, {2, 2, 0}, {-1, 3, 1})},
  };
  VOKIDYNRigidModeProvider* provider = nullptr;
  ASSERT_HR(S_OK, fromMasses->GetRigidModeProvider(provider));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    // Independent path: the physical rigid modes of the axis, weighted by
    // the lumped masses and projected on the shapes.
    int nPhys = 0;
    double* modes = nullptr;
    ASSERT_HR(S_OK, provider->ComputeRigidModes(row.axis, nPhys, modes));
    ASSERT_EQ(nPhys, 12);
    for (ModalBase* base : {fromMasses, fromFactors}) {
      double** vectors = nullptr;
      ASSERT_HR(S_OK, base->ComputeRigidVectorsOnAxis(row.axis, vectors));
      for (int d = 1; d <= 6; ++d)
        for (int i = 0; i < 2; ++i)
          EXPECT_NEAR(vectors[d - 1][i], -PhiTMr(def, i, modes + (d - 1) * 12), 1e-12)
              << "direction " << d << ", mode " << i + 1 << (base == fromFactors ? " (factors)" : "");
      FreeTable(vectors, 6);
    }
    delete[] modes;
  }
  provider->Release();

  double** untouched = reinterpret_cast<double**>(0x1);
  EXPECT_HR(E_FAIL, fromFactors->ComputeRigidVectorsOnAxis(MakeAxis({0, 0, 0}, {1, 1, 0}, {2, 2, 0}), untouched));
  EXPECT_EQ(untouched, nullptr) << "a degenerate axis gives no table";
  fromMasses->Release();
  fromFactors->Release();
}

TEST_F(DynamicsModel, RigidModeProviderLaysOutNodesAndDirections) {
  ModalBase* base = ModalBase::Create(TwoNodeDefinition());
  ASSERT_NE(base, nullptr);
  VOKIDYNRigidModeProvider* provider = nullptr;
  ASSERT_HR(S_OK, base->GetRigidModeProvider(provider));
  ASSERT_NE(provider, nullptr);

  int n = 0;
  double* modes = nullptr;
  ASSERT_HR(S_OK, provider->ComputeRigidModes(VOKMathAxis(), n, modes));
  ASSERT_EQ(n, 12);
  for (int d = 1; d <= 6; ++d)
    for (int p = 0; p < 12; ++p)
      EXPECT_EQ(modes[(d - 1) * 12 + p], kGlobalRigid[d - 1][p]) << "d " << d << ", p " << p;
  delete[] modes;

  // An axis through (1, 2, 0) along z' = y, x' = x: rotation about x' moves
  // node 20 at relative (-1, -3, 3) by x' x rel = (0, -3, -3).
  VOKMathAxis axis = MakeAxis({1, 2, 0}, {3, 0, 0}, {0, 0, -2});
  int size = 0;
  double* block = nullptr;
  ASSERT_HR(S_OK, provider->ComputeNodeRigidModes(20, axis, size, block));
  ASSERT_EQ(size, 36);
  // x^ = (1,0,0), z^ = x^ x (0,0,-2)/2 = (0,1,0), y^ = z^ x x^ = (0,0,-1).
  const double expected[6][6] = {
      {1, 0, 0, 0, 0, 0},   {0, 0, -1, 0, 0, 0},   {0, 1, 0, 0, 0, 0},
      {0, -3, -3, 1, 0, 0}, {-3, 1, 0, 0, 0, -1}, {3, 0, 1, 0, 1, 0},
  };
  for (int d = 0; d < 6; ++d)
    for (int c = 0; c < 6; ++c) EXPECT_EQ(block[d * 6 + c], expected[d][c] + 0.0) << d << "," << c;
  delete[] block;

  block = reinterpret_cast<double*>(0x1);
  EXPECT_HR(E_INVALIDARG, provider->ComputeNodeRigidModes(1, axis, size, block)) << "node ids, not indices";
  EXPECT_EQ(block, nullptr);
  EXPECT_HR(E_FAIL, provider->ComputeRigidModes(MakeAxis({0, 0, 0}, {0, 0, 0}, {0, 1, 0}), n, modes));
  EXPECT_EQ(modes, nullptr);
  provider->Release();
  base->Release();
}

TEST_F(DynamicsModel, CheckRotationAxisDefaultsNormalisesOrRefuses) {
  ModalBase* base = ModalBase::Create(TwoNodeDefinition());
  ASSERT_NE(base, nullptr);
  struct Row {
    const char* what;
    std::vector<int> directions;
    int flag;
    VOKMathAxis axis;
    long result;
    std::array<double, 3> x, y, z;
  };
  const VOKMathAxis odd = MakeAxis({5, 5, 5}, {0, 2, 0}, {1, 1, 0});
  const Row rows[] = {
      {"no axis: global", {4}, 0, odd, S_OK, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
      {"axis normalised", {1, 5}, 1, odd, S_OK, {0, 1, 0}, {1, 0, 0}, {0, 0, -1}},
      {"degenerate axis", {6}, 1, MakeAxis({0, 0, 0}, {1, 0, 0}, {-3, 0, 0}), E_FAIL, {1, 0, 0}, {-3, 0, 0}, {0, 0, 0}},
      {"direction 7", {4, 7}, 0, odd, E_INVALIDARG, {0, 2, 0}, {1, 1, 0}, {0, 0, 0}},
      {"direction 0", {0}, 1, odd, E_INVALIDARG, {0, 2, 0}, {1, 1, 0}, {0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKRawCollint dirs;
    for (int d : row.directions) dirs.Append(d);
    int flag = row.flag;
    VOKMathAxis axis = row.axis;
    EXPECT_HR(row.result, base->CheckRotationAxis(dirs, flag, axis));
    EXPECT_EQ(flag, row.flag);
    for (int c = 0; c < 3; ++c) {
      EXPECT_DOUBLE_EQ(axis.Direction(1)[c], row.x[static_cast<std::size_t>(c)]);
      EXPECT_DOUBLE_EQ(axis.Direction(2)[c], row.y[static_cast<std::size_t>(c)]);
      if (row.result == S_OK) {
        EXPECT_DOUBLE_EQ(axis.Direction(3)[c], row.z[static_cast<std::size_t>(c)]);
      }
    }
    if (row.result == S_OK && row.flag) {
      EXPECT_EQ(axis.Origin()[0], 5.0) << "the origin is kept";
    }
  }
  base->Release();
}

TEST_F(DynamicsModel, LoadVectorsAreTheGeneralisedForces) {
  ModalBaseDefinition def = TwoNodeDefinition();
  ModalBase* base = ModalBase::Create(def);
  VOKHost::NodalLoad* load = VOKHost::NodalLoad::Create("force");
  load->AddNodalValues(20, {1.0, 0.0, -2.0, 0.0, 0.5, 0.0});
  load->AddNodalValues(10, {0.0, 3.0, 0.0, 0.0, 0.0, 1.0});
  load->AddNodalValues(20, {1.0, 0.0, 0.0, 0.0, 0.0, 0.0});  // adds up: Fx = 2 at node 20
  VOKHost::NodalLoad* empty = VOKHost::NodalLoad::Create("nothing");
  {
    VOKListValVOKISpecObject_var loads;
    loads.Append(VOKISpecObject_var(load));
    loads.Append(VOKISpecObject_var(empty));
    double** vectors = nullptr;
    ASSERT_HR(S_OK, base->ComputeLoadVectors(loads, vectors));
    for (int i = 0; i < 2; ++i) {
      const std::vector<double>& phi = def.shapes[static_cast<std::size_t>(i)];
      double expected = phi[1] * 3.0 + phi[5] * 1.0 + phi[6] * 2.0 + phi[8] * -2.0 + phi[10] * 0.5;
      EXPECT_NEAR(vectors[0][i], expected, 1e-14) << "mode " << i + 1;
      EXPECT_EQ(vectors[1][i], 0.0);
    }
    FreeTable(vectors, 2);
  }
  struct Row {
    const char* what;
    std::function<void(VOKListValVOKISpecObject_var&)> fill;
  };
  VOKHost::NodalLoad* stray = VOKHost::NodalLoad::Create("stray");
  stray->AddNodalValues(99, {1, 0, 0, 0, 0, 0});
  VOKHost::Feature* feature = VOKHost::Feature::Create("not a load", VOKHost::FacetSpecObject);
  const Row rows[] = {
      {"null load", [&](VOKListValVOKISpecObject_var& l) { l.Append(VOKISpecObject_var()); }},
      {"not a force source", [&](VOKListValVOKISpecObject_var& l) { l.Append(VOKISpecObject_var(feature)); }},
      {"unknown node", [&](VOKListValVOKISpecObject_var& l) {
         l.Append(VOKISpecObject_var(load));
         l.Append(VOKISpecObject_var(stray));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    VOKListValVOKISpecObject_var loads;
    row.fill(loads);
    double** vectors = reinterpret_cast<double**>(0x1);
    EXPECT_HR(E_FAIL, base->ComputeLoadVectors(loads, vectors));
    EXPECT_EQ(vectors, nullptr);
  }
  for (VOKBaseUnknown* c : std::initializer_list<VOKBaseUnknown*>{base, load, empty, stray, feature}) c->Release();
}

TEST_F(DynamicsModel, BaseToolsAnswerModalDataAndListTheirAccessObject) {
  ModalBaseDefinition def = TwoNodeDefinition();
  def.frequencies = {0.5, 0.75};
  const int live = VOKBaseUnknown::LiveCount();
  ModalBase* base = ModalBase::Create(def);
  ASSERT_NE(base, nullptr);
  int n = -1;
  EXPECT_HR(S_OK, base->GetNbDof(n));
  EXPECT_EQ(n, 2);
  double* masses = nullptr;
  double* stiffnesses = nullptr;
  ASSERT_HR(S_OK, base->GetModalMasses(masses));
  ASSERT_HR(S_OK, base->GetModalStiffnesses(stiffnesses));
  EXPECT_EQ(masses[0], 2.0);
  EXPECT_EQ(masses[1], 4.0);
  EXPECT_EQ(stiffnesses[1], 100.0);
  delete[] masses;
  delete[] stiffnesses;
  int diagonal = -1;
  EXPECT_HR(S_OK, base->IsDampingDiagonal(diagonal));
  EXPECT_EQ(diagonal, 1);
  base->SetDampingDiagonal(false);
  EXPECT_HR(S_OK, base->IsDampingDiagonal(diagonal));
  EXPECT_EQ(diagonal, 0);

  {
    VOKISamAnalysisSet_var set(excitation_test::Unknown(*base));
    ASSERT_TRUE(set != nullptr);
    VOKListValVOKISpecObject_var list;
    EXPECT_HR(S_OK, set->ListObjectsByInterface(list, IID_VOKIDYNBaseAccess, 0));
    ASSERT_EQ(list.Size(), 1);
    VOKIDYNBaseAccess_var access(list[1]);
    VOKIAlias_var alias(list[1]);
    ASSERT_TRUE(access != nullptr && alias != nullptr);
    EXPECT_EQ(alias->GetDisplayName(), "Normal modes");
    VOKRawColldouble freqs;
    freqs.Append(-1.0);
    EXPECT_HR(S_OK, access->GetOccurrenceValues(freqs));
    ASSERT_EQ(freqs.Size(), 3) << "appended";
    EXPECT_EQ(freqs[2], 0.5);
    EXPECT_EQ(freqs[3], 0.75);
    EXPECT_EQ(list[1]->TestUpToDate(VOKIDomain_var()), 1);
    base->Access()->SetUpToDate(false);
    EXPECT_EQ(list[1]->TestUpToDate(VOKIDomain_var()), 0);
    EXPECT_HR(S_OK, access->CheckBaseState());
    base->Access()->SetStateResult(E_UNEXPECTED);
    EXPECT_HR(E_UNEXPECTED, access->CheckBaseState());
    VOKListValVOKISpecObject_var none;
    EXPECT_HR(S_OK, set->ListObjectsByInterface(none, IID_VOKIDYNBaseTools, 0));
    EXPECT_EQ(none.Size(), 0);
  }
  // Frequencies derived from k and m when not given: sqrt(k/m) / 2pi.
  ModalBaseDefinition derived = TwoNodeDefinition();
  ModalBase* other = ModalBase::Create(derived);
  VOKRawColldouble freqs;
  EXPECT_HR(S_OK, other->Access()->GetOccurrenceValues(freqs));
  ASSERT_EQ(freqs.Size(), 2);
  EXPECT_DOUBLE_EQ(freqs[1], 2.0 / (2.0 * M_PI));
  EXPECT_DOUBLE_EQ(freqs[2], 5.0 / (2.0 * M_PI));
  other->Release();

  // No cycle between the base and its access object: one release frees both.
  base->Release();
  EXPECT_EQ(VOKBaseUnknown::LiveCount(), live);
}

TEST_F(DynamicsModel, DefinitionsAreCheckedBeforeABaseIsMade) {
  struct Row {
    const char* what;
    std::function<void(ModalBaseDefinition&)> spoil;
    const char* error;
  };
  const Row rows[] = {
      {"stiffness missing", [](ModalBaseDefinition& d) { d.modalStiffnesses.pop_back(); },
       "modal stiffnesses: 1 values, expected 2"},
      {"short shape", [](ModalBaseDefinition& d) { d.shapes[1].pop_back(); },
       "mode 2: shape has 11 values, expected 12"},
      {"frequencies miscounted", [](ModalBaseDefinition& d) { d.frequencies = {1.0}; },
       "frequencies: 1 values, expected 2"},
      {"node twice", [](ModalBaseDefinition& d) { d.nodes[1].id = 10; }, "node id 10 appears twice"},
      {"no frequency from a null mass", [](ModalBaseDefinition& d) { d.modalMasses[0] = 0.0; },
       "mode 1: no frequency given and none follows from m = 0, k = 8"},
      {"factors miscounted", [](ModalBaseDefinition& d) { d.participation.resize(1); },
       "participation factors: 1 modes, expected 2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ModalBaseDefinition d = TwoNodeDefinition();
    row.spoil(d);
    std::string error;
    EXPECT_EQ(ModalBase::Create(d, &error), nullptr);
    EXPECT_EQ(error, row.error);
  }
  ModalBaseDefinition empty;  // a base without modes or nodes is sound
  ModalBase* base = ModalBase::Create(empty);
  ASSERT_NE(base, nullptr);
  int n = -1;
  EXPECT_HR(S_OK, base->GetNbDof(n));
  EXPECT_EQ(n, 0);
  base->Release();
}

TEST_F(DynamicsModel, ModulationsInterpolateAndStayConstantOutside) {
  VOKHost::Modulation* m =
      VOKHost::Modulation::Create("table", {{1.0, 2.0}, {3.0, 6.0}, {3.0, -1.0}, {5.0, 0.0}});
  ASSERT_NE(m, nullptr);
  struct Row {
    double x, value;
  };
  const Row rows[] = {{-10.0, 2.0}, {1.0, 2.0}, {2.0, 4.0}, {2.5, 5.0},   {3.0, -1.0},
                      {4.0, -0.5},  {5.0, 0.0}, {1e9, 0.0}, {1.5, 3.0}};
  for (const Row& row : rows) EXPECT_EQ(m->Evaluate(row.x), row.value) << "at " << row.x;
  EXPECT_TRUE(std::isnan(m->Evaluate(NAN)));
  EXPECT_EQ(VOKHost::Modulation::Create("unsorted", {{2.0, 1.0}, {1.0, 1.0}}), nullptr);
  VOKHost::Modulation* none = VOKHost::Modulation::Create("empty", {});
  EXPECT_EQ(none->Evaluate(3.0), 0.0);
  VOKHost::Modulation* c = VOKHost::Modulation::Constant("c", 3.0);
  EXPECT_EQ(c->Evaluate(-5.0), 3.0);
  EXPECT_EQ(c->Evaluate(5.0), 3.0);
  VOKIDYNModulation_var itf(excitation_test::Unknown(*c));
  EXPECT_TRUE(itf != nullptr) << "a modulation feature answers the modulation interface";
  itf = nullptr;
  for (VOKBaseUnknown* x : std::initializer_list<VOKBaseUnknown*>{m, none, c}) x->Release();
}

TEST_F(DynamicsModel, ExcitationsHandOutTheirEntriesOrWhatTheyAreToldToSpoil) {
  VOKHost::NodalLoad* load = VOKHost::NodalLoad::Create("load");
  VOKHost::Modulation* mod = VOKHost::Modulation::Constant("mod", 1.0);
  VOKHost::LoadExcitation* lx = VOKHost::LoadExcitation::Create("loads");
  lx->AddEntry(load, mod, 2.0f, 0.5f);
  lx->AddEntry(load, nullptr, 3.0f, 0.25f);
  VOKHost::RestraintExcitation* rx = VOKHost::RestraintExcitation::Create("base motion");
  rx->AddDirection(3, 9.81f, 0.0f, mod);
  rx->AddDirection(5, 1.0f, 1.0f, nullptr);

  ExcitationType type = UndefinedExcitationType;
  EXPECT_HR(S_OK, VOKIDYNExcitation_var(excitation_test::Unknown(*lx))->GetExcitationType(type));
  EXPECT_EQ(type, LoadExcitationType);
  EXPECT_HR(S_OK, VOKIDYNExcitation_var(excitation_test::Unknown(*rx))->GetExcitationType(type));
  EXPECT_EQ(type, RestraintExcitationType);

  struct Row {
    VOKHost::ExcitationList shortList;
    int loads, modulations, amplitudes, phases;
  };
  const Row loadRows[] = {{VOKHost::ExcitationList::None, 2, 2, 2, 2},
                          {VOKHost::ExcitationList::Loads, 1, 2, 2, 2},
                          {VOKHost::ExcitationList::Modulations, 2, 1, 2, 2},
                          {VOKHost::ExcitationList::Amplitudes, 2, 2, 1, 2},
                          {VOKHost::ExcitationList::Phases, 2, 2, 2, 1}};
  for (const Row& row : loadRows) {
    lx->SetShortList(row.shortList);
    VOKListValVOKISpecObject_var loads, mods;
    VOKRawCollfloat amps, phases;
    EXPECT_HR(S_OK, lx->GetLoadValues(loads, mods, amps, phases));
    EXPECT_EQ(loads.Size(), row.loads);
    EXPECT_EQ(mods.Size(), row.modulations);
    EXPECT_EQ(amps.Size(), row.amplitudes);
    EXPECT_EQ(phases.Size(), row.phases);
    if (row.shortList == VOKHost::ExcitationList::None) {
      EXPECT_TRUE(mods[1] != nullptr);
      EXPECT_TRUE(mods[2] == nullptr) << "no modulation: a null entry";
      EXPECT_EQ(amps[2], 3.0f);
      EXPECT_EQ(phases[1], 0.5f);
    }
  }
  lx->SetValuesResult(E_UNEXPECTED);
  {
    VOKListValVOKISpecObject_var loads, mods;
    VOKRawCollfloat amps, phases;
    EXPECT_HR(E_UNEXPECTED, lx->GetLoadValues(loads, mods, amps, phases));
    EXPECT_EQ(loads.Size(), 0);
  }

  rx->SetShortList(VOKHost::ExcitationList::Directions);
  VOKMathAxis axis = MakeAxis({1, 2, 3}, {0, 1, 0}, {0, 0, 1});
  rx->SetAxis(axis);
  {
    VOKListValVOKISpecObject_var mods;
    VOKRawCollfloat amps, phases;
    VOKRawCollint dirs;
    int flag = 0;
    VOKMathAxis got;
    EXPECT_HR(S_OK, rx->GetRestraintValues(mods, amps, phases, dirs, flag, got));
    EXPECT_EQ(mods.Size(), 2);
    EXPECT_EQ(dirs.Size(), 1);
    EXPECT_EQ(dirs[1], 3);
    EXPECT_EQ(amps[1], 9.81f);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(got.Origin()[2], 3.0);
  }
  rx->SetTypeResult(E_NOTIMPL);
  EXPECT_HR(E_NOTIMPL, rx->GetExcitationType(type));
  rx->SetTypeResult(S_OK);
  rx->SetReportedType(UndefinedExcitationType);
  EXPECT_HR(S_OK, rx->GetExcitationType(type));
  EXPECT_EQ(type, UndefinedExcitationType);
  for (VOKBaseUnknown* x : std::initializer_list<VOKBaseUnknown*>{load, mod, lx, rx}) x->Release();
}

TEST_F(DynamicsModel, EveryOperationThatCanFailIsAFaultPoint) {
  ModalBase* base = ModalBase::Create(TwoNodeDefinition());
  VOKHost::RestraintExcitation* rx = VOKHost::RestraintExcitation::Create("r");
  VOKHost::LoadExcitation* lx = VOKHost::LoadExcitation::Create("l");
  VOKHost::NodalLoad* load = VOKHost::NodalLoad::Create("f");
  lx->AddEntry(load, nullptr, 1.0f, 0.0f);
  VOKIDYNRigidModeProvider* provider = nullptr;
  ASSERT_HR(S_OK, base->GetRigidModeProvider(provider));
  struct Row {
    const char* name;
    std::function<long()> call;
  };
  int n = 0, size = 0, flag = 1;
  double* array = nullptr;
  double** table = nullptr;
  VOKMathAxis axis;
  VOKRawCollint dirs;
  const Row rows[] = {
      {"VOKIDYNBaseTools::GetNbDof", [&] { return base->GetNbDof(n); }},
      {"VOKIDYNBaseTools::IsDampingDiagonal", [&] { return base->IsDampingDiagonal(n); }},
      {"VOKIDYNBaseTools::GetModalMasses", [&] { return base->GetModalMasses(array); }},
      {"VOKIDYNBaseTools::GetModalStiffnesses", [&] { return base->GetModalStiffnesses(array); }},
      {"VOKIDYNBaseTools::ComputeRigidVectors", [&] { return base->ComputeRigidVectors(table); }},
      {"VOKIDYNBaseTools::ComputeRigidVectorsOnAxis", [&] { return base->ComputeRigidVectorsOnAxis(axis, table); }},
      {"VOKIDYNBaseTools::CheckRotationAxis", [&] { return base->CheckRotationAxis(dirs, flag, axis); }},
      {"VOKIDYNBaseTools::GetRigidModeProvider", [&] {
         VOKIDYNRigidModeProvider* p = nullptr;
         long hr = base->GetRigidModeProvider(p);
         if (p) p->Release();
         return hr;
       }},
      {"VOKIDYNBaseTools::ComputeLoadVectors", [&] {
         VOKListValVOKISpecObject_var loads;
         return base->ComputeLoadVectors(loads, table);
       }},
      {"VOKIDYNRigidModeProvider::ComputeRigidModes", [&] { return provider->ComputeRigidModes(axis, n, array); }},
      {"VOKIDYNRigidModeProvider::ComputeNodeRigidModes",
       [&] { return provider->ComputeNodeRigidModes(10, axis, size, array); }},
      {"VOKIDYNBaseAccess::GetOccurrenceValues", [&] {
         VOKRawColldouble v;
         return base->Access()->GetOccurrenceValues(v);
       }},
      {"VOKIDYNBaseAccess::CheckBaseState", [&] { return base->Access()->CheckBaseState(); }},
      {"VOKIDYNExcitation::GetExcitationType", [&] {
         ExcitationType t;
         return rx->GetExcitationType(t);
       }},
      {"VOKIDYNRestraintExcitation::GetRestraintValues", [&] {
         VOKListValVOKISpecObject_var m;
         VOKRawCollfloat a, p;
         return rx->GetRestraintValues(m, a, p, dirs, flag, axis);
       }},
      {"VOKIDYNLoadExcitation::GetLoadValues", [&] {
         VOKListValVOKISpecObject_var l, m;
         VOKRawCollfloat a, p;
         return lx->GetLoadValues(l, m, a, p);
       }},
      {"ModalForceSource::GeneralisedForce", [&] {
         double f[2];
         return load->GeneralisedForce(*base, f);
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    array = nullptr;
    table = nullptr;
    VOKHost::FaultArm(1);
    EXPECT_TRUE(FAILED(row.call()));
    VOKHost::FaultDisarm();
    EXPECT_EQ(VOKHost::FaultHitName(), row.name);
    EXPECT_EQ(array, nullptr) << "a failed operation hands out nothing";
    EXPECT_EQ(table, nullptr);
  }
  provider->Release();
  for (VOKBaseUnknown* x : std::initializer_list<VOKBaseUnknown*>{base, rx, lx, load}) x->Release();
}

}  // namespace
