// Damping terms per mode: exact values, validity against the base, failures.
#include <cmath>

#include "VOKDYNDampingTools.h"
#include "VOKHostDamping.h"
#include "VOKTestSupport.h"
#include "damping_fakes.h"

using dampingtest::Bits;
using dampingtest::FakeBase;
using dampingtest::FakeBaseAccess;
using dampingtest::Held;
using dampingtest::Values;

namespace {

// The terms in the documented evaluation order, written out step by step.
double ModalTerm(double iMass, double iStiffness, double iPercent) {
  double product = iMass * iStiffness;
  double root = std::sqrt(product);
  double doubled = iPercent * 2.0;
  double scaled = root * doubled;
  return scaled / 100.0;
}

double RayleighTerm(double iMass, double iStiffness, double iAlpha, double iBeta) {
  double massPart = iMass * iAlpha;
  double stiffnessPart = iStiffness * iBeta;
  double sum = massPart + stiffnessPart;
  return sum / 100.0;
}

enum class Kind { ModalGlobal, ModalPerMode, RayleighGlobal, RayleighPerMode };

struct Definition {
  Kind kind;
  double a;
  double b;
  std::vector<double> as;
  std::vector<double> bs;
};

Definition ModalGlobal(double iPercent) { return {Kind::ModalGlobal, iPercent, 0.0, {}, {}}; }
Definition ModalPerMode(const std::vector<double>& iPercents) {
  return {Kind::ModalPerMode, 0.0, 0.0, iPercents, {}};
}
Definition RayleighGlobal(double iAlpha, double iBeta) {
  return {Kind::RayleighGlobal, iAlpha, iBeta, {}, {}};
}
Definition RayleighPerMode(const std::vector<double>& iAlphas, const std::vector<double>& iBetas) {
  return {Kind::RayleighPerMode, 0.0, 0.0, iAlphas, iBetas};
}

void Configure(VOKHost::DampingFeatureBuilder& ioBuilder, const Definition& iDef) {
  switch (iDef.kind) {
    case Kind::ModalGlobal: ioBuilder.Modal(iDef.a); break;
    case Kind::ModalPerMode: ioBuilder.ModalPerMode(iDef.as); break;
    case Kind::RayleighGlobal: ioBuilder.Rayleigh(iDef.a, iDef.b); break;
    case Kind::RayleighPerMode: ioBuilder.RayleighPerMode(iDef.as, iDef.bs); break;
  }
}

std::vector<double> Expected(const Definition& iDef, const std::vector<double>& iM,
                             const std::vector<double>& iK) {
  std::vector<double> v;
  for (std::size_t i = 0; i < iM.size(); ++i) {
    switch (iDef.kind) {
      case Kind::ModalGlobal: v.push_back(ModalTerm(iM[i], iK[i], iDef.a)); break;
      case Kind::ModalPerMode: v.push_back(ModalTerm(iM[i], iK[i], iDef.as[i])); break;
      case Kind::RayleighGlobal: v.push_back(RayleighTerm(iM[i], iK[i], iDef.a, iDef.b)); break;
      case Kind::RayleighPerMode:
        v.push_back(RayleighTerm(iM[i], iK[i], iDef.as[i], iDef.bs[i]));
        break;
    }
  }
  return v;
}

void ExpectSameBits(const std::vector<double>& iExpected, const std::vector<double>& iActual) {
  ASSERT_EQ(iExpected.size(), iActual.size());
  for (std::size_t i = 0; i < iExpected.size(); ++i)
    EXPECT_EQ(Bits(iExpected[i]), Bits(iActual[i]))
        << "mode " << i + 1 << ": expected " << iExpected[i] << ", got " << iActual[i];
}

class DampingValues : public VOKTest {};

TEST_F(DampingValues, TermsAreExactToTheLastBit) {
  struct Case {
    const char* what;
    Definition def;
    std::vector<double> masses, stiffnesses;
    std::vector<double> decimal;  // the values as written, when they are round
  };
  const std::vector<double> m3{1, 1, 1}, k3{4, 9, 16};
  const std::vector<double> m5{1.3, 2.2, 0.7, 3.1, 5.9}, k5{2.9, 13.1, 7.7, 41.3, 97.1};
  const Case cases[] = {
      {"modal global 5%", ModalGlobal(5.0), m3, k3, {0.2, 0.3, 0.4}},
      {"Rayleigh global 2, 0.5", RayleighGlobal(2.0, 0.5), m3, k3, {0.04, 0.065, 0.1}},
      {"modal per mode (1, 1)", ModalPerMode({1, 1}), {2, 2}, {8, 18}, {0.08, 0.12}},
      {"Rayleigh per mode", RayleighPerMode({2, 0.5, 1}, {0.5, 2, 0}), m3, k3,
       {0.04, 0.185, 0.01}},
      {"modal global, irrational roots", ModalGlobal(4.7), m5, k5, {}},
      {"modal per mode, irrational roots", ModalPerMode({4.7, 1.1, 2.9, 0.3, 7.3}),
       m5, k5, {}},
      {"Rayleigh global, inexact products", RayleighGlobal(0.7, 0.03), m5, k5, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held<FakeBase> base(FakeBase::Create(c.masses, c.stiffnesses));
    VOKHost::DampingFeatureBuilder builder;
    Configure(builder, c.def);
    builder.LinkBase(base.get());
    Held<VOKHost::Feature> feature(builder.Build());
    VOKDYNDampingTools tools(feature.get());

    VOKRawColldouble values;
    EXPECT_HR(S_OK, tools.GetDampingValues(values));
    ExpectSameBits(Expected(c.def, c.masses, c.stiffnesses), Values(values));
    if (!c.decimal.empty()) ExpectSameBits(c.decimal, Values(values));

    // Asked again with an empty list, the same values.
    VOKRawColldouble again;
    EXPECT_HR(S_OK, tools.GetDampingValues(again));
    ExpectSameBits(Values(values), Values(again));
  }
}

TEST_F(DampingValues, OtherEvaluationOrdersWouldBeSeen) {
  // The rows with irrational roots and inexact products above only guard the
  // evaluation order if another order gives other bits for them.
  const std::vector<double> m{1.3, 2.2, 0.7, 3.1, 5.9}, k{2.9, 13.1, 7.7, 41.3, 97.1};
  bool percentAsFactor = false, scaledCoefficient = false, rayleighAsFactor = false,
       rayleighSplit = false;
  for (std::size_t i = 0; i < m.size(); ++i) {
    double modal = ModalTerm(m[i], k[i], 4.7);
    percentAsFactor |= Bits(std::sqrt(m[i] * k[i]) * (4.7 * 2.0) * 0.01) != Bits(modal);
    scaledCoefficient |= Bits(std::sqrt(m[i] * k[i]) * (4.7 * 2.0 / 100.0)) != Bits(modal);
    double rayleigh = RayleighTerm(m[i], k[i], 0.7, 0.03);
    rayleighAsFactor |= Bits((m[i] * 0.7 + k[i] * 0.03) * 0.01) != Bits(rayleigh);
    rayleighSplit |= Bits(m[i] * 0.7 / 100.0 + k[i] * 0.03 / 100.0) != Bits(rayleigh);
  }
  EXPECT_TRUE(percentAsFactor);
  EXPECT_TRUE(scaledCoefficient);
  EXPECT_TRUE(rayleighAsFactor);
  EXPECT_TRUE(rayleighSplit);
}

TEST_F(DampingValues, ValidityAgainstTheBase) {
  struct Case {
    const char* what;
    Definition def;
    int modes;
    long baseState;
    VOKDYNDampingValidity validity;
    int stateChecks;  // calls of CheckBaseState by CheckDefinition
  };
  const std::vector<double> twelve(12, 1.0);
  const std::vector<double> ten(10, 1.0);
  const std::vector<double> three{1, 2, 3};
  const Case cases[] = {
      {"global on 12 modes", ModalGlobal(5.0), 12, S_OK, VOKDYNDampingValid, 0},
      {"global, failed base state is not looked at", RayleighGlobal(1, 1), 12, E_FAIL,
       VOKDYNDampingValid, 0},
      {"per mode, list of 12 on 12 modes", ModalPerMode(twelve), 12, S_OK,
       VOKDYNDampingValid, 1},
      {"per mode, list of 10 on 12 modes", ModalPerMode(ten), 12, S_OK,
       VOKDYNDampingInvalid, 1},
      {"per mode, list of 12 on 10 modes", ModalPerMode(twelve), 10, S_OK,
       VOKDYNDampingInvalid, 1},
      {"per mode, failed base state", ModalPerMode(twelve), 12, E_FAIL,
       VOKDYNDampingBaseCheckFailed, 1},
      {"per mode, invalid wins over the failed base state", ModalPerMode(ten), 12,
       E_FAIL, VOKDYNDampingInvalid, 1},
      {"global on 0 modes", ModalGlobal(5.0), 0, S_OK, VOKDYNDampingInvalid, 0},
      {"per mode, empty list on 0 modes", ModalPerMode({}), 0, S_OK,
       VOKDYNDampingInvalid, 1},
      {"Rayleigh per mode, both lists fit", RayleighPerMode(three, three), 3, S_OK,
       VOKDYNDampingValid, 1},
      {"Rayleigh per mode, beta list short", RayleighPerMode(three, {1, 2}), 3, S_OK,
       VOKDYNDampingInvalid, 1},
      {"Rayleigh per mode, beta list long: one beta per mode", RayleighPerMode(three, {1, 2, 3, 4}),
       3, S_OK, VOKDYNDampingValid, 1},
      {"Rayleigh per mode, alpha list long", RayleighPerMode({1, 2, 3, 4}, three), 3, S_OK,
       VOKDYNDampingInvalid, 1},
      {"Rayleigh per mode, beta short and failed base state",
       RayleighPerMode(three, {1}), 3, E_FAIL, VOKDYNDampingInvalid, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<double> m(static_cast<std::size_t>(c.modes), 2.0);
    std::vector<double> k(static_cast<std::size_t>(c.modes), 8.0);
    Held<FakeBase> base(FakeBase::Create(m, k));
    base->Access()->checkStateResult = c.baseState;
    VOKHost::DampingFeatureBuilder builder;
    Configure(builder, c.def);
    builder.LinkBase(base.get());
    Held<VOKHost::Feature> feature(builder.Build());

    VOKDYNDampingTools tools(feature.get());
    VOKDYNDampingValidity validity = VOKDYNDampingInvalid;
    EXPECT_HR(S_OK, tools.CheckDefinition(validity));
    EXPECT_EQ(c.validity, validity);
    EXPECT_EQ(c.stateChecks, base->Access()->checkStateCalls);

    // The values follow the validity: none for an invalid definition, one per
    // mode otherwise (a failed base state does not stop the computation).
    VOKRawColldouble values;
    EXPECT_HR(S_OK, tools.GetDampingValues(values));
    if (c.validity == VOKDYNDampingInvalid) {
      EXPECT_EQ(0, values.Size());
    } else {
      ASSERT_EQ(c.modes, values.Size());
      std::vector<double> mm(m), kk(k);
      ExpectSameBits(Expected(c.def, mm, kk), Values(values));
    }
  }
}

TEST_F(DampingValues, FailuresLeaveTheListAlone) {
  struct Case {
    const char* what;
    void (*setup)(FakeBase&);
    bool prefilled;
    long expected;
  };
  const Case cases[] = {
      {"damping matrix not diagonal", [](FakeBase& b) { b.diagonal = 0; }, false, E_FAIL},
      {"diagonal test fails", [](FakeBase& b) { b.diagonalResult = E_OUTOFMEMORY; }, false,
       E_OUTOFMEMORY},
      {"mode count fails in the check", [](FakeBase& b) { b.nbDofResult = E_INVALIDARG; }, false,
       E_INVALIDARG},
      {"mode count fails after the check", [](FakeBase& b) { b.nbDofFailsFromCall = 2; }, false,
       E_FAIL},
      {"stiffnesses fail", [](FakeBase& b) { b.stiffnessesResult = E_INVALIDARG; }, false, E_FAIL},
      {"no stiffness array", [](FakeBase& b) { b.nullStiffnesses = true; }, false, E_FAIL},
      {"masses fail", [](FakeBase& b) { b.massesResult = E_INVALIDARG; }, false, E_FAIL},
      {"no mass array", [](FakeBase& b) { b.nullMasses = true; }, false, E_FAIL},
      {"list not empty on entry", [](FakeBase&) {}, true, E_FAIL},
      {"no base access object (per mode needs one)", [](FakeBase& b) { b.RemoveAccesses(); },
       false, E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Held<FakeBase> base(FakeBase::Create({1, 1}, {4, 9}));
    c.setup(*base.get());
    VOKHost::DampingFeatureBuilder builder;
    builder.ModalPerMode({5, 5}).LinkBase(base.get());
    Held<VOKHost::Feature> feature(builder.Build());
    VOKDYNDampingTools tools(feature.get());

    VOKRawColldouble values;
    if (c.prefilled) {
      values.Append(7.5);
      values.Append(-1.0);
    }
    std::vector<double> before = Values(values);
    EXPECT_HR(c.expected, tools.GetDampingValues(values));
    EXPECT_EQ(before, Values(values));
  }
}

TEST_F(DampingValues, NotDiagonalIsTracedOnEveryCall) {
  Held<FakeBase> base(FakeBase::Create({1}, {4}));
  base->diagonal = 0;
  VOKHost::DampingFeatureBuilder builder;
  builder.Modal(5).LinkBase(base.get());
  Held<VOKHost::Feature> feature(builder.Build());
  VOKDYNDampingTools tools(feature.get());

  ScopedTraceCapture trace;
  VOKRawColldouble values;
  EXPECT_HR(E_FAIL, tools.GetDampingValues(values));
  EXPECT_HR(E_FAIL, tools.GetDampingValues(values));
  std::vector<VOKHost::TraceLine> lines = trace.Lines();
  ASSERT_EQ(2u, lines.size());
  for (const VOKHost::TraceLine& line : lines) {
    EXPECT_EQ("DYNError", line.channel);
    EXPECT_EQ(1, line.level);
    EXPECT_EQ("!The damping matrix is not diagonal!", line.text);
  }
  // The definition is not checked against a base that cannot be used.
  EXPECT_EQ(0, base->nbDofCalls);
}

TEST_F(DampingValues, ArrayOverloadIsNotAvailable) {
  Held<FakeBase> base(FakeBase::Create({1}, {4}));
  VOKHost::DampingFeatureBuilder builder;
  builder.Modal(5).LinkBase(base.get());
  Held<VOKHost::Feature> feature(builder.Build());
  VOKDYNDampingTools tools(feature.get());

  double sentinel[1] = {3.0};
  double* array = sentinel;
  int count = 42;
  EXPECT_HR(E_FAIL, tools.GetDampingValues(&array, count));
  EXPECT_EQ(sentinel, array);
  EXPECT_EQ(42, count);
  EXPECT_HR(E_FAIL, tools.GetDampingValues(nullptr, count));
  EXPECT_EQ(42, count);
}

}  // namespace
