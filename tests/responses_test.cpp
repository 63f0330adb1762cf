// What support motion and enforced displacements add, formed independently in entry order, to the bit.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "VOKHostResponses.h"
#include "VOKHostSolverRecords.h"
#include "VOKTestModels.h"
#include "VOKTestSupport.h"

namespace {

using namespace vok_test_models;
using VOKHost::EnforcedLoadSet;

constexpr double kTwoPi = 6.283185307179586;

// Unit-acceleration displacement at f: -1/omega^2, 0 at rest.
double K(double f) { return f == 0.0 ? 0.0 : -1.0 / ((f * kTwoPi) * (f * kTwoPi)); }

// An entry's coefficient: (A g) cos(phase), (A g) sin(phase), g = modulation(f) k, cos/sin in float.
struct Coef {
  double re, im;
};
Coef CoefAt(VOKHost::Modulation* iModulation, double f, float a, float phase) {
  const double g = iModulation->Evaluate(f) * K(f);
  return {(static_cast<double>(a) * g) * static_cast<double>(std::cos(phase)),
          (static_cast<double>(a) * g) * static_cast<double>(std::sin(phase))};
}

// One entry of a sum: its modulation, amplitude, phase and value at a position.
struct Term {
  VOKHost::Modulation* m;
  float a, phase;
  std::function<double(int)> at;
};
// The entries' sum at f and position p, from zero, in entry order.
Coef SumAt(const std::vector<Term>& iTerms, double f, int p) {
  Coef sum{0.0, 0.0};
  for (const Term& t : iTerms) {
    const Coef c = CoefAt(t.m, f, t.a, t.phase);
    sum.re += c.re * t.at(p);
    sum.im += c.im * t.at(p);
  }
  return sum;
}

// A line of iNodes nodes 1 m apart, masses 1..: 6 x nodes DOFs can exceed one accumulation tile.
VOKHost::ModalBaseDefinition LineBase(int iNodes) {
  VOKHost::ModalBaseDefinition def;
  def.modalMasses = {1.0, 1.0};
  def.modalStiffnesses = {400.0, 900.0};
  for (int i = 0; i < iNodes; ++i) {
    VOKHost::ModalNode node;
    node.id = 10 * (i + 1);
    node.position = {1.0 * i, 0.5 * i, 0.0};
    node.mass = {1.0 + i, 1.0 + i, 1.0 + i, 0.1, 0.1, 0.1};
    def.nodes.push_back(node);
  }
  const int n = 6 * iNodes;
  def.shapes.assign(2, std::vector<double>(static_cast<std::size_t>(n)));
  for (int p = 0; p < n; ++p) {
    def.shapes[0][static_cast<std::size_t>(p)] = std::sin(0.1 * p);
    def.shapes[1][static_cast<std::size_t>(p)] = std::cos(0.07 * p);
  }
  return def;
}

// A static displacement field: seeded, irregular, no zero.
std::vector<double> Field(int iSeed, int iN) {
  std::vector<double> d(static_cast<std::size_t>(iN));
  for (int p = 0; p < iN; ++p) d[static_cast<std::size_t>(p)] = std::sin(0.61 * p + 1.7 * iSeed) * (iSeed + 0.25);
  return d;
}

class Responses : public VOKTest {
 protected:
  void TearDown() override {
    hold.ReleaseAll();
    EXPECT_EQ(VOKHost::SolverRecordCount(), 0) << "records go with their objects";
    VOKTest::TearDown();
  }
  // A tools object initialised for results on iExcitations (held).
  VOKDYNExcitationTools* ForResult(VOKHost::ModalBase* iBase, std::initializer_list<VOKBaseUnknown*> iExcitations) {
    VOKDYNExcitationTools* tools = hold(new VOKDYNExcitationTools);
    ExcitationType first = UndefinedExcitationType;
    EXPECT_HR(S_OK, tools->InitializeForResult(List(iExcitations), iBase, first));
    return tools;
  }
  Holder hold;
};

// ------------------------------------------------------------ known answers

TEST_F(Responses, EveryOverloadAddsTheFormulaToTheLastBit) {
  // Two nodes, then 50 nodes (N = 300: more than one tile of the complex sums).
  for (int nodes : {2, 50}) {
    SCOPED_TRACE(std::to_string(nodes) + " nodes");
    std::string error;
    VOKHost::ModalBase* base = hold(VOKHost::ModalBase::Create(nodes == 2 ? TwoNodeBase() : LineBase(nodes), &error));
    ASSERT_NE(base, nullptr) << error;
    const int n = 6 * nodes;
    const int lastNode = 10 * nodes;
    VOKHost::Modulation* unit = hold(VOKHost::Modulation::Constant("unit", 1.0));
    VOKHost::Modulation* ramp = hold(VOKHost::Modulation::Create("ramp", {{0.0, 0.3}, {10.0, 2.7}}));

    // Support motion: three directions, about a shifted axis.
    VOKHost::RestraintExcitation* motion = hold(VOKHost::RestraintExcitation::Create("supports"));
    struct Direction {
      int d;
      float a, phase;
      VOKHost::Modulation* m;
    };
    // Amplitudes that are no powers of two: a product in another order rounds differently.
    const std::vector<Direction> dirs = {{1, 3.1f, 0.0f, unit}, {6, 0.7f, 0.25f, ramp}, {3, -2.3f, 1.0f, ramp}};
    for (const Direction& d : dirs) motion->AddDirection(d.d, d.a, d.phase, d.m);
    const double o[3] = {0.5, 0.0, 0.0}, x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
    const VOKMathAxis axis(o, x, y, z);
    motion->SetAxis(axis);

    // Loads and enforced sets in mixed order: only the enforcing sets count.
    std::vector<double> d1 = Field(1, n), d2 = Field(2, n);
    VOKHost::LoadExcitation* loads = hold(VOKHost::LoadExcitation::Create("loads"));
    VOKHost::NodalLoad* pushA = hold(VOKHost::NodalLoad::Create("push A"));
    VOKHost::NodalLoad* pushB = hold(VOKHost::NodalLoad::Create("push B"));
    pushA->AddNodalValues(10, {1, 0, 0, 0, 0, 0});
    pushB->AddNodalValues(lastNode, {0, 1, 0, 0, 0, 0});
    EnforcedLoadSet* set1 = hold(EnforcedLoadSet::Create("z motion", {2, 8}, d1));
    EnforcedLoadSet* idle = hold(EnforcedLoadSet::Create("no motion", {}, Field(3, n)));
    EnforcedLoadSet* set2 = hold(EnforcedLoadSet::Create("ramp motion", {0}, d2));
    loads->AddEntry(pushA, ramp, 5.0f, 0.1f);
    loads->AddEntry(set1, unit, 4.3f, 0.0f);
    loads->AddEntry(pushB, unit, 7.0f, 0.2f);
    loads->AddEntry(idle, unit, 100.0f, 0.0f);
    loads->AddEntry(set2, ramp, -1.3f, 1.5f);
    loads->AddEntry(pushA, unit, 9.0f, 0.3f);
    struct Kept {
      const std::vector<double>* d;
      float a, phase;
      VOKHost::Modulation* m;
    };
    const std::vector<Kept> kept = {{&d1, 4.3f, 0.0f, unit}, {&d2, -1.3f, 1.5f, ramp}};

    VOKDYNExcitationTools* tools = ForResult(base, {Unknown(loads), Unknown(motion)});

    // The rigid-body vectors, as the base's provider computes them for the axis.
    VOKIDYNRigidModeProvider* provider = nullptr;
    ASSERT_HR(S_OK, base->GetRigidModeProvider(provider));
    int modesN = 0;
    double* rawModes = nullptr;
    ASSERT_HR(S_OK, provider->ComputeRigidModes(axis, modesN, rawModes));
    provider->Release();
    ASSERT_EQ(modesN, n);
    const std::vector<double> modes(rawModes, rawModes + 6 * n);
    delete[] rawModes;
    auto R = [&](int d, int p) { return modes[static_cast<std::size_t>((d - 1) * n + p)]; };
    std::vector<Term> rigidTerms, enforcedTerms;
    for (const Direction& d : dirs)
      rigidTerms.push_back({d.m, d.a, d.phase, [&R, d](int p) { return R(d.d, p); }});
    for (const Kept& k : kept) enforcedTerms.push_back({k.m, k.a, k.phase, [k](int p) { return (*k.d)[p]; }});
    // Closed form: a translation along x moves every node by 1 along x.
    EXPECT_EQ(R(1, 0), 1.0);
    EXPECT_EQ(R(1, n - 6), 1.0);

    // Both families of overloads: support motion per direction, enforced displacement per kept set.
    VOKHost::GeneralizedDisplacement* perDirection = hold(VOKHost::GeneralizedDisplacement::Create("transient"));
    perDirection->AddStep({0.5, 0.0, 1.0});
    perDirection->AddStep({1.0, -2.0, 0.25});
    VOKHost::GeneralizedDisplacement* perSet = hold(VOKHost::GeneralizedDisplacement::Create("per set"));
    perSet->AddStep({1.0, 2.0});
    perSet->AddStep({-1.0, 0.5});
    VOKRawCollint dofs, comps;
    for (int p : {n - 6, n - 5, 2}) dofs.Append(p);
    for (int c : {0, 1, 5}) comps.Append(c);
    VOKRawCollfloat steps;
    steps.Append(0.0f);
    steps.Append(0.1f);
    struct Family {
      bool rigid;
      const std::vector<Term>& terms;
      std::function<double(std::size_t, int)> member;  // member j's vector at position p
      double f;                                        // of the complex form
      std::vector<double> coefs;                       // of the real form
      std::vector<std::vector<double>> values;         // the generalized displacement per step
      VOKISpecObject* gd;
      std::function<int(int)> tablePosition;           // of the table's row r
    };
    const Family families[] = {
        {true, rigidTerms, [&](std::size_t j, int p) { return R(dirs[j].d, p); }, 2.0, {2.0, -0.5, 0.125},
         {{0.5, 0.0, 1.0}, {1.0, -2.0, 0.25}}, AsFeature(perDirection), [&](int r) { return n - 6 + comps[r + 1]; }},
        {false, enforcedTerms, [&](std::size_t j, int p) { return (*kept[j].d)[static_cast<std::size_t>(p)]; }, 5.0,
         {2.0, -0.5}, {{1.0, 2.0}, {-1.0, 0.5}}, AsFeature(perSet), [&](int r) { return dofs[r + 1]; }},
    };
    for (const Family& family : families) {
      SCOPED_TRACE(family.rigid ? "rigid" : "enforced");
      const double f = family.f;
      // Complex, from zero so that no start value hides the last bits; a second call adds the same again.
      std::vector<VOKMathComplex> out(static_cast<std::size_t>(n), VOKMathComplex(0.0, 0.0));
      VOKMathComplex* values = out.data();
      for (int call = 1; call <= 2; ++call) {
        ASSERT_HR(S_OK, family.rigid ? tools->AddRigidExcit(f, n, values) : tools->AddEnforcedDispExcit(f, n, values));
        for (int p = 0; p < n; ++p) {
          const Coef e = SumAt(family.terms, f, p);
          ASSERT_TRUE(SameBits(out[p].re, (0.0 + e.re) * call) && SameBits(out[p].im, (0.0 + e.im) * call)) << p;
        }
      }
      if (family.rigid) {
        // Acceleration is -omega^2 x displacement: node 10 moves along x by -a/omega^2 plus the rest.
        EXPECT_NEAR(out[0].re / 2, -3.1f / std::pow(f * kTwoPi, 2) + CoefAt(ramp, f, 0.7f, 0.25f).re * R(6, 0) +
                                          CoefAt(ramp, f, -2.3f, 1.0f).re * R(3, 0), 1e-15);
      }
      // Real: the coefficients' terms added in order.
      std::vector<double> real(static_cast<std::size_t>(n), 1.0), coefs = family.coefs;
      ASSERT_HR(S_OK, family.rigid ? tools->AddRigidExcit(0.0, n, real.data(), coefs.data())
                                   : tools->AddEnforcedDispExcit(0.0, n, real.data(), coefs.data()));
      for (int p = 0; p < n; ++p) {
        double e = 1.0;
        for (std::size_t j = 0; j < coefs.size(); ++j) e += coefs[j] * family.member(j, p);
        ASSERT_TRUE(SameBits(real[p], e)) << p;
      }
      // Several frequencies into a caller's table (the rigid form: a node's block).
      VOKRawCollfloat freqs;
      for (float v : {1.0f, 0.0f, static_cast<float>(f), 3.7f, 7.3f}) freqs.Append(v);
      CallerTable re(3, 5), im(3, 5);
      double** pr = re.Rows();
      double** pi = im.Rows();
      ASSERT_HR(S_OK, family.rigid ? tools->AddRigidExcit(lastNode, comps, freqs, pr, pi)
                                   : tools->AddEnforcedDispExcit(0, dofs, freqs, pr, pi));
      for (int r = 0; r < 3; ++r)
        for (int t = 0; t < 5; ++t) {
          const Coef e = SumAt(family.terms, freqs[t + 1], family.tablePosition(r));
          EXPECT_TRUE(SameBits(re.cells[r][t], e.re) && SameBits(im.cells[r][t], e.im)) << r << "," << t;
        }
      // Time steps: each member's vector times its generalized displacement, in order.
      CallerTable u(3, 2, 1.0);
      double** pu = u.Rows();
      VOKISpecObject* gd = family.gd;
      VOKHost::ResetSolverRecordReadCounts();
      ASSERT_HR(S_OK, family.rigid ? tools->AddRigidExcit(0, dofs, steps, gd, pu)
                                   : tools->AddEnforcedDispExcit(0, dofs, steps, gd, pu));
      for (int r = 0; r < 3; ++r)
        for (std::size_t t = 0; t < 2; ++t) {
          double e = 1.0;
          for (std::size_t j = 0; j < family.values[t].size(); ++j) e += family.member(j, dofs[r + 1]) * family.values[t][j];
          EXPECT_TRUE(SameBits(u.cells[static_cast<std::size_t>(r)][t], e)) << r << "," << t;
        }
    }
    EXPECT_EQ(VOKHost::SolverRecordReadCount(Unknown(set2->StaticSet()), "DEPL").data, 1)
        << "each static displacement is read once for all steps";
  }
}

// ------------------------------------------------------------------ refusals

// The overloads, the rigid-body ones first.
enum class Op { RigidReal, RigidComplex, RigidNode, RigidSteps, EnfReal, EnfComplex, EnfFreq, EnfSteps };
const char* const kOpNames[] = {"AddRigidExcit real", "AddRigidExcit complex", "AddRigidExcit node",
                                "AddRigidExcit steps", "AddEnforcedDispExcit real", "AddEnforcedDispExcit complex",
                                "AddEnforcedDispExcit frequencies", "AddEnforcedDispExcit steps"};

TEST_F(Responses, RefusalsGiveTheirCodeAndLeaveTheCallersArraysAlone) {
  constexpr int kN = 12;
  // Everything a row may spoil, rebuilt for each row.
  struct Model {
    int n = kN;                        // the count passed to the overloads that take one
    std::vector<int> dofs = {0, 8};    // positions
    std::vector<int> components = {0, 5};  // node components
    int node = 20;
    int shortRecord = 0;               // kept set (1..3) whose "DEPL" record is one value short
    int longRecord = 0;                // kept set (1..3) whose record is one value long
    int direction = 6;                 // the second restraint direction
    VOKHost::ExcitationList shortList = VOKHost::ExcitationList::None;
    bool nullModulation = false;       // the second kept set has no modulation
    bool noEnforcing = false;          // no load set enforces anything
    bool gdOtherCount = false;         // the generalized displacement gives one value too many
    bool gdNotOne = false;             // the object given is no generalized displacement
    bool loadsOnly = false, motionOnly = false;
    bool nullArray = false, missingRow = false;
    double frequency = 2.0;
  };
  struct Row {
    std::string situation;
    std::vector<Op> ops;
    std::function<void(Model&)> spoil;
    long hr;
    bool untouched;  // the caller's arrays as they were
  };
  const std::vector<Op> all = {Op::RigidReal, Op::RigidComplex, Op::RigidNode, Op::RigidSteps,
                               Op::EnfReal,   Op::EnfComplex,   Op::EnfFreq,   Op::EnfSteps};
  const std::vector<Op> counted = {Op::RigidReal, Op::RigidComplex, Op::EnfReal, Op::EnfComplex};
  const std::vector<Op> rigid = {Op::RigidReal, Op::RigidComplex, Op::RigidNode, Op::RigidSteps};
  const std::vector<Op> enforced = {Op::EnfReal, Op::EnfComplex, Op::EnfFreq, Op::EnfSteps};
  const std::vector<Row> rows = {
      {"the clean model", all, [](Model&) {}, S_OK, false},
      {"a count larger than the model's", counted, [](Model& m) { m.n = kN + 1; }, E_FAIL, true},
      {"a count smaller than the model's", counted, [](Model& m) { m.n = kN - 1; }, E_FAIL, true},
      {"a count of 0", counted, [](Model& m) { m.n = 0; }, E_FAIL, true},
      // Every kept set's record must hold the count (or the first set's
      // length): the earlier sets stay added, except by the complex overload.
      {"a short record in the second kept set", enforced, [](Model& m) { m.shortRecord = 2; }, E_FAIL, false},
      {"a short record in the last kept set", enforced, [](Model& m) { m.shortRecord = 3; }, E_FAIL, false},
      {"a long record in the second kept set", enforced, [](Model& m) { m.longRecord = 2; }, E_FAIL, false},
      {"a short record in the first kept set", {Op::EnfReal, Op::EnfComplex}, [](Model& m) { m.shortRecord = 1; },
       E_FAIL, true},
      {"a short record in the first kept set only", {Op::EnfFreq, Op::EnfSteps},
       [](Model& m) { m.shortRecord = 1; }, E_FAIL, false},
      {"a position past the model", {Op::RigidSteps, Op::EnfFreq, Op::EnfSteps}, [](Model& m) { m.dofs = {0, kN}; },
       E_FAIL, true},
      {"a negative position", {Op::RigidSteps, Op::EnfFreq, Op::EnfSteps}, [](Model& m) { m.dofs = {-1, 8}; },
       E_FAIL, true},
      {"a component outside the node block", {Op::RigidNode}, [](Model& m) { m.components = {0, 6}; }, E_FAIL,
       true},
      {"no restraint excitation", rigid, [](Model& m) { m.loadsOnly = true; }, E_FAIL, true},
      {"no load excitation", enforced, [](Model& m) { m.motionOnly = true; }, E_FAIL, true},
      {"no load excitation, at rest", {Op::EnfComplex}, [](Model& m) {
         m.motionOnly = true;
         m.frequency = 0.0;
       },
       S_OK, true},
      {"a null caller array", all, [](Model& m) { m.nullArray = true; }, E_FAIL, true},
      {"a missing row of the caller's table", {Op::RigidNode, Op::RigidSteps, Op::EnfFreq, Op::EnfSteps},
       [](Model& m) { m.missingRow = true; }, E_FAIL, true},
      {"a restraint direction outside 1..6", rigid, [](Model& m) { m.direction = 7; }, E_FAIL, true},
      {"restraint amplitudes short of the modulations", {Op::RigidComplex, Op::RigidNode},
       [](Model& m) { m.shortList = VOKHost::ExcitationList::Amplitudes; }, E_FAIL, true},
      {"restraint phases short of the modulations", {Op::RigidComplex, Op::RigidNode},
       [](Model& m) { m.shortList = VOKHost::ExcitationList::Phases; }, E_FAIL, true},
      {"restraint directions short of the modulations", {Op::RigidComplex, Op::RigidNode, Op::RigidSteps},
       [](Model& m) { m.shortList = VOKHost::ExcitationList::Directions; }, E_FAIL, true},
      {"load phases short of the loads", enforced, [](Model& m) { m.shortList = VOKHost::ExcitationList::Phases; },
       E_FAIL, true},
      {"no load set enforces anything", enforced, [](Model& m) { m.noEnforcing = true; }, S_OK, true},
      {"a kept set without modulation", {Op::EnfComplex, Op::EnfFreq}, [](Model& m) { m.nullModulation = true; },
       S_OK, false},
      {"a step of another count", {Op::RigidSteps, Op::EnfSteps}, [](Model& m) { m.gdOtherCount = true; }, E_FAIL,
       true},
      {"no generalized displacement", {Op::RigidSteps, Op::EnfSteps}, [](Model& m) { m.gdNotOne = true; }, E_FAIL,
       true},
  };

  for (const Row& row : rows)
    for (Op op : row.ops) {
      SCOPED_TRACE(row.situation + ": " + kOpNames[static_cast<int>(op)]);
      Model m;
      row.spoil(m);
      Holder h;
      VOKHost::ModalBase* base = h(VOKHost::ModalBase::Create(TwoNodeBase()));
      VOKHost::Modulation* unit = h(VOKHost::Modulation::Constant("unit", 1.0));
      VOKHost::RestraintExcitation* motion = h(VOKHost::RestraintExcitation::Create("supports"));
      motion->AddDirection(1, 3.0f, 0.0f, unit);
      motion->AddDirection(m.direction, 0.5f, 0.25f, unit);
      motion->AddDirection(2, 1.0f, 0.5f, unit);
      VOKHost::LoadExcitation* loads = h(VOKHost::LoadExcitation::Create("loads"));
      for (int j = 1; j <= 3; ++j) {
        const int length = kN - (m.shortRecord == j ? 1 : 0) + (m.longRecord == j ? 1 : 0);
        std::vector<int> enforcedPositions;
        if (!m.noEnforcing) enforcedPositions = {j};
        EnforcedLoadSet* set = h(EnforcedLoadSet::Create("set", enforcedPositions, Field(j, length)));
        loads->AddEntry(h(VOKHost::NodalLoad::Create("push")), unit, 1.0f, 0.0f);
        loads->AddEntry(set, m.nullModulation && j == 2 ? nullptr : unit, 1.0f + static_cast<float>(j),
                      0.5f * static_cast<float>(j));
      }
      if (op <= Op::RigidSteps) motion->SetShortList(m.shortList);
      else loads->SetShortList(m.shortList);
      VOKHost::GeneralizedDisplacement* gd = h(VOKHost::GeneralizedDisplacement::Create("transient"));
      // One value per direction, or per kept set: three either way.
      const int perStep = 3 + (m.gdOtherCount ? 1 : 0);
      gd->AddStep(std::vector<double>(static_cast<std::size_t>(perStep), 1.0));
      gd->AddStep(std::vector<double>(static_cast<std::size_t>(perStep), 2.0));

      VOKDYNExcitationTools* tools = h(new VOKDYNExcitationTools);
      ExcitationType first = UndefinedExcitationType;
      const VOKListValVOKBaseUnknown_var list = m.loadsOnly    ? List({Unknown(loads)})
                                                : m.motionOnly ? List({Unknown(motion)})
                                                               : List({Unknown(loads), Unknown(motion)});
      ASSERT_HR(S_OK, tools->InitializeForResult(list, base, first));

      std::vector<double> real(kN + 1, 1.0);
      std::vector<VOKMathComplex> complex(kN + 1, VOKMathComplex(1.0, 1.0));
      VOKMathComplex* complexValues = m.nullArray ? nullptr : complex.data();
      double coefs[3] = {1.0, 2.0, 3.0};
      VOKRawCollint positions, components;
      for (int p : m.dofs) positions.Append(p);
      for (int c : m.components) components.Append(c);
      VOKRawCollfloat columns;
      columns.Append(1.0f);
      columns.Append(2.0f);
      CallerTable re(2, 2, 1.0), im(2, 2, 1.0);
      if (m.missingRow) re.rows[1] = nullptr;
      double** pr = m.nullArray ? nullptr : re.Rows();
      double** pi = im.Rows();
      VOKISpecObject* g = AsFeature(m.gdNotOne ? Unknown(unit) : Unknown(gd));

      long hr = S_OK;
      switch (op) {
        case Op::RigidReal: hr = tools->AddRigidExcit(0.0, m.n, m.nullArray ? nullptr : real.data(), coefs); break;
        case Op::RigidComplex: hr = tools->AddRigidExcit(m.frequency, m.n, complexValues); break;
        case Op::RigidNode: hr = tools->AddRigidExcit(m.node, components, columns, pr, pi); break;
        case Op::RigidSteps: hr = tools->AddRigidExcit(0, positions, columns, g, pr); break;
        case Op::EnfReal: hr = tools->AddEnforcedDispExcit(0.0, m.n, m.nullArray ? nullptr : real.data(), coefs); break;
        case Op::EnfComplex: hr = tools->AddEnforcedDispExcit(m.frequency, m.n, complexValues); break;
        case Op::EnfFreq: hr = tools->AddEnforcedDispExcit(0, positions, columns, pr, pi); break;
        case Op::EnfSteps: hr = tools->AddEnforcedDispExcit(0, positions, columns, g, pr); break;
      }
      EXPECT_HR(row.hr, hr);
      bool same = true;
      for (double v : real) same = same && v == 1.0;
      for (const VOKMathComplex& v : complex) same = same && v.re == 1.0 && v.im == 1.0;
      same = same && re.Untouched(1.0) && im.Untouched(1.0);
      // The complex overloads update the caller's array once all is summed.
      if (row.untouched || (FAILED(row.hr) && op == Op::EnfComplex)) {
        EXPECT_TRUE(same) << "the caller's arrays changed";
      } else if (row.hr == S_OK) {
        EXPECT_FALSE(same) << "nothing was added";
      }
      EXPECT_TRUE(SameBits(real[kN], 1.0) && complex[kN].re == 1.0) << "written past the caller's count";
    }
}

// ------------------------------------------------------------------ filter

TEST_F(Responses, FilterKeepsTheEnforcingSetsInOrderOrChangesNothing) {
  constexpr int kN = 12;
  struct Row {
    std::string situation;
    std::string kinds;  // per load set: 'e' enforces, 'i' enforces nothing, 'n' nodal load,
                        // 'x' no scan (a modulation), 'l' no linked-set list, 's' no static set,
                        // 'f' two linked objects with a static set each, 'c' no computed load,
                        // 'p' a computed load that is no feature, 'a' enforcing but no analysis set
    bool phases;
    long hr;
    std::vector<int> kept;  // 1-based positions kept, on success
    int statics;            // static sets appended
  };
  const std::vector<Row> rows = {
      {"nothing to filter", "", true, S_OK, {}, 0},
      {"loads and enforced sets mixed", "neinie", true, S_OK, {2, 6}, 2},
      {"without phases", "neinie", false, S_OK, {2, 6}, 2},
      {"nothing enforces", "nin", true, S_OK, {}, 0},
      {"the first linked object with a static set wins", "ef", true, S_OK, {1, 2}, 2},
      {"a load set that is no scan", "enx", true, E_UNEXPECTED, {}, 1},
      {"a kept set without linked-set list", "el", true, E_FAIL, {}, 1},
      {"a kept set without static set", "nes", true, E_FAIL, {}, 1},
      {"a load set without computed load", "ec", true, E_UNEXPECTED, {}, 1},
      {"a computed load that is no feature", "ep", true, E_NOINTERFACE, {}, 1},
      {"an enforcing set that is no analysis set", "ea", true, E_NOINTERFACE, {}, 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.situation);
    Holder h;
    VOKHost::ModalBase* base = h(VOKHost::ModalBase::Create(TwoNodeBase()));
    VOKHost::LoadExcitation* none = h(VOKHost::LoadExcitation::Create("loads"));
    VOKDYNExcitationTools* tools = ForResult(base, {Unknown(none)});
    VOKListValVOKISpecObject_var loads, modulations, statics;
    VOKRawCollfloat amplitudes, phases;
    std::vector<VOKBaseUnknown*> expectedStatics;
    for (std::size_t i = 0; i < row.kinds.size(); ++i) {
      const char kind = row.kinds[i];
      VOKBaseUnknown* load = nullptr;
      if (kind == 'n') {
        load = Unknown(h(VOKHost::NodalLoad::Create("push")));
      } else if (kind == 'x') {
        load = Unknown(h(VOKHost::Modulation::Constant("not a load set", 1.0)));
      } else {
        EnforcedLoadSet* set = h(EnforcedLoadSet::Create("set", kind == 'i' ? std::vector<int>{} : std::vector<int>{1},
                                                        Field(static_cast<int>(i), kN)));
        if (kind == 'l') set->SetNoLinkedSetList(true);
        if (kind == 'f') {
          EnforcedLoadSet* other = h(EnforcedLoadSet::Create("other", {1}, Field(9, kN)));
          set->AddLinkedSet(other->LinkedObject());
        }
        if (kind == 'e' || kind == 'f') expectedStatics.push_back(Unknown(set->StaticSet()));
        load = Unknown(set);
        if (kind == 's' || kind == 'c' || kind == 'p' || kind == 'a') {
          // A general feature: computed load (or none, or no feature), no static set, or no analysis set.
          VOKHost::Feature* bare = h(VOKHost::Feature::Create(
              "bare", VOKHost::FacetSpecObject | VOKHost::FacetScan | (kind == 'a' ? 0u : VOKHost::FacetAnalysisSet)));
          VOKHost::RecordedFeature* computed = h(VOKHost::RecordedFeature::Create(
              "computed", kind == 'p' ? VOKHost::FacetScan : VOKHost::FacetSpecObject));
          computed->SetRecord("SMSPC", {1.0});
          if (kind != 'c') bare->AddScanResult("ComputedLoad", computed);
          bare->AddLinkedSet(h(VOKHost::Feature::Create("linked", VOKHost::FacetSpecObject | VOKHost::FacetScan)));
          load = Unknown(bare);
        }
      }
      loads.Append(VOKISpecObject_var(load));
      modulations.Append(VOKISpecObject_var(load));
      amplitudes.Append(1.0f + static_cast<float>(i));
      if (row.phases) phases.Append(0.5f * static_cast<float>(i));
    }
    const VOKListValVOKISpecObject_var loadsBefore = loads, modulationsBefore = modulations;
    const VOKRawCollfloat amplitudesBefore = amplitudes, phasesBefore = phases;
    EXPECT_HR(row.hr, tools->FilterForEnforcedDisp(loads, modulations, amplitudes, phases, statics));
    std::vector<int> expected = row.kept;
    if (FAILED(row.hr)) {
      expected.clear();
      for (int i = 1; i <= loadsBefore.Size(); ++i) expected.push_back(i);
    }
    ASSERT_EQ(loads.Size(), static_cast<int>(expected.size()));
    ASSERT_EQ(modulations.Size(), loads.Size());
    ASSERT_EQ(amplitudes.Size(), loads.Size());
    ASSERT_EQ(phases.Size(), row.phases ? loads.Size() : 0);
    for (std::size_t j = 0; j < expected.size(); ++j) {
      const int i = expected[j];
      const int at = static_cast<int>(j) + 1;
      EXPECT_EQ(loads[at].Get(), loadsBefore[i].Get());
      EXPECT_EQ(modulations[at].Get(), modulationsBefore[i].Get());
      EXPECT_EQ(amplitudes[at], amplitudesBefore[i]);
      if (row.phases) {
        EXPECT_EQ(phases[at], phasesBefore[i]);
      }
    }
    ASSERT_EQ(statics.Size(), row.statics);
    for (int j = 1; j <= statics.Size() && j <= static_cast<int>(expectedStatics.size()); ++j)
      EXPECT_EQ(Unknown(statics[j].Get()), expectedStatics[static_cast<std::size_t>(j - 1)]) << "static set " << j;
  }
}

}  // namespace
