// The stand-in's physics the library is checked against: rigid vectors, rigid modes, load vectors.
#include <cmath>
#include <memory>
#include <stdexcept>
#include <vector>

#include "VOKHostDynamics.h"
#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"
#include "VOKTestModels.h"
#include "VOKTestSupport.h"

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

// Global rigid-body vectors by hand, rows d = 1..6; a rotation about e moves a node at x by e x x.
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
    // Independent path: the axis's physical rigid modes, mass-weighted and projected on the shapes.
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

TEST_F(DynamicsModel, ABaseGivenATableReadsItInPlaceAndAnswersAsOneGivenVectors) {
  const ModalBaseDefinition vectors = TwoNodeDefinition();
  auto values = std::make_shared<std::vector<double>>();
  for (const std::vector<double>& shape : vectors.shapes) values->insert(values->end(), shape.begin(), shape.end());
  ModalBaseDefinition table = vectors;
  table.shapes.clear();
  table.shapeTable = std::shared_ptr<const double>(values, values->data());
  ModalBase* fromVectors = ModalBase::Create(vectors);
  ModalBase* fromTable = ModalBase::Create(table);
  ASSERT_TRUE(fromVectors && fromTable);
  for (int i = 0; i < 2; ++i) {
    for (int p = 0; p < 12; ++p) EXPECT_EQ(fromTable->Shape(i, p), fromVectors->Shape(i, p));
    for (int d = 1; d <= 6; ++d) EXPECT_EQ(fromTable->Participation(i, d), fromVectors->Participation(i, d));
  }
  EXPECT_THROW(fromTable->Shape(2, 0), std::out_of_range);
  EXPECT_THROW(fromTable->Shape(0, 12), std::out_of_range);
  // Read in place, never copied, and kept alive by the base alone.
  (*values)[7] = 42.0;
  values.reset();
  table.shapeTable.reset();
  EXPECT_EQ(fromTable->Shape(0, 7), 42.0);
  fromVectors->Release();
  fromTable->Release();

  ModalBaseDefinition both = vectors;
  both.shapeTable = std::make_shared<const double>(0.0);
  std::string error;
  EXPECT_EQ(ModalBase::Create(both, &error), nullptr);
  EXPECT_EQ(error, "mode shapes: given both as a table and as 2 vectors");
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

  // Axis at (1, 2, 0), x' = x, z' = y: rotating about x' moves node 20 (rel (-1, -3, 3)) by (0, -3, -3).
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
  for (VOKBaseUnknown* c : std::initializer_list<VOKBaseUnknown*>{base, load, empty}) c->Release();
}

// Uneven masses and shapes, so that every term of a generalised force counts.
VOKHost::ModalBaseDefinition UnevenTwoNodeBase() {
  VOKHost::ModalBaseDefinition def = vok_test_models::TwoNodeBase();
  def.modalMasses = {1.0, 2.0};
  def.modalStiffnesses = {100.0, 400.0};
  def.nodes[0].mass = {2.0, 2.0, 2.0, 0.5, 0.5, 0.5};
  def.nodes[1].mass = {3.0, 3.0, 3.0, 0.0, 0.0, 0.25};
  def.shapes.assign(2, std::vector<double>(12));
  for (int i = 0; i < 2; ++i)
    for (int p = 0; p < 12; ++p) def.shapes[i][p] = std::cos(0.3 * p + i) * (i + 1);
  return def;
}

TEST_F(DynamicsModel, EnforcedLoadSetForceIsMinusPhiTransposedMassTimesField) {
  std::string error;
  VOKHost::ModalBase* base = VOKHost::ModalBase::Create(UnevenTwoNodeBase(), &error);
  ASSERT_NE(base, nullptr) << error;
  std::vector<double> field(12);
  for (int p = 0; p < 12; ++p) field[p] = 0.1 * p - 0.4;
  VOKHost::EnforcedLoadSet* fromMasses = VOKHost::EnforcedLoadSet::Create("masses", {0}, field);
  VOKHost::EnforcedLoadSet* wrongField = VOKHost::EnforcedLoadSet::Create("wrong field", {0}, {1.0, 2.0});

  // The base builds one vector per load: the enforced sets are loads too.
  VOKListValVOKISpecObject_var list;
  list.Append(VOKISpecObject_var(static_cast<VOKBaseUnknown*>(fromMasses)));
  double** vectors = nullptr;
  ASSERT_HR(S_OK, base->ComputeLoadVectors(list, vectors));
  const VOKHost::ModalBaseDefinition def = UnevenTwoNodeBase();
  for (int i = 0; i < 2; ++i) {
    double sum = 0.0;
    for (int p = 0; p < 12; ++p) sum += (def.shapes[i][p] * def.nodes[p / 6].mass[p % 6]) * field[p];
    EXPECT_EQ(vectors[0][i], -sum) << "mode " << i;
  }
  FreeTable(vectors, 1);

  VOKListValVOKISpecObject_var one;
  one.Append(VOKISpecObject_var(static_cast<VOKBaseUnknown*>(wrongField)));
  vectors = nullptr;
  EXPECT_HR(E_FAIL, base->ComputeLoadVectors(one, vectors));
  EXPECT_EQ(vectors, nullptr);
  list = VOKListValVOKISpecObject_var();
  for (VOKBaseUnknown* c : std::vector<VOKBaseUnknown*>{wrongField, fromMasses, base}) c->Release();
}

}  // namespace
