// Array allocations that fail inside the damping tools and the mesh services:
// every one of them, in turn, gives the operation's failure result (or the
// sound answer the operation documents), never an exception; the caller's
// outputs stay untouched, nothing is left allocated or referenced, and the
// object answers the next call as if nothing had happened.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VOKDYNDampingTools.h"
#include "VOKDYNMeshServices.h"
#include "VOKFailingAllocation.h"
#include "VOKHostAnalysisSets.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKTestSupport.h"

namespace {

constexpr int kUntouched = -4242;

// One operation on a fresh model. Run(true) is the call under failing
// allocations: it returns its result and checks that the outputs are
// untouched when that result is a failure. Run(false) is the next call on the
// same object, which must succeed with the right answer.
struct Scenario {
  std::function<long(bool iFirst)> run;
  std::function<void()> release;
};

Scenario DampingValues() {
  VOKHost::ModalBaseDefinition def;
  def.modalMasses = {1, 1, 1};
  def.modalStiffnesses = {4, 9, 16};
  def.shapes.assign(3, {});
  auto* base = VOKHost::ModalBase::Create(def);
  VOKHost::DampingFeatureBuilder builder;
  builder.Modal(5).LinkBase(static_cast<VOKIDYNBaseTools*>(base));
  VOKHost::Feature* feature = builder.Build();
  auto* tools = new VOKDYNDampingTools(feature);
  return {[=](bool iFirst) {
            VOKRawColldouble values;
            const long hr = tools->GetDampingValues(values);
            if (iFirst && FAILED(hr)) {
              EXPECT_EQ(0, values.Size());
            } else {
              EXPECT_EQ(3, values.Size());
              if (values.Size() == 3) {
                EXPECT_EQ(0.4, values[3]);  // 2 sqrt(16) 5 / 100
              }
            }
            return hr;
          },
          [=] {
            delete tools;
            feature->Release();
            base->Release();
          }};
}

// Mesh services over nodes 1..2: components 0, 1, 2 on node 1, 0 on node 2;
// read before the call when iReadFirst; with iCopy the call goes to a copy
// made under the failing allocations.
Scenario Mesh(const std::function<long(VOKDYNMeshServices&, bool)>& iCall, bool iReadFirst,
              bool iCopy) {
  struct State {
    VOKHost::DofNumberingSet* set = nullptr;
    VOKDYNMeshServices* source = nullptr;
    VOKDYNMeshServices* copy = nullptr;
  };
  auto state = std::make_shared<State>();
  state->set = VOKHost::DofNumberingSet::Create("Solution set");
  state->set->SetNumbering({0, 1, 2, 0}, {1, 1, 1, 2});
  state->source = new VOKDYNMeshServices(static_cast<VOKISamAnalysisSet*>(state->set));
  int nodes = 0;
  if (iReadFirst) {
    EXPECT_HR(S_OK, state->source->GetNbNodes(nodes));
  }
  return {[=](bool iFirst) {
            if (iCopy && iFirst) state->copy = new VOKDYNMeshServices(*state->source);
            return iCall(iCopy ? *state->copy : *state->source, iFirst);
          },
          [=] {
            delete state->copy;
            delete state->source;
            state->set->Release();
          }};
}

long Ipdeg(VOKDYNMeshServices& ioServices, bool iFirst) {
  int count = kUntouched;
  int** table = nullptr;
  const long hr = ioServices.GetIPDEG(count, table);
  if (iFirst && FAILED(hr)) {
    EXPECT_EQ(0, count);
    EXPECT_EQ(nullptr, table);
    EXPECT_FALSE(VOKHost::InstantiatedErrors().empty());
    return hr;
  }
  EXPECT_EQ(4, count);
  if (!table) return E_UNEXPECTED;
  EXPECT_EQ(2, table[3][1]);
  delete[] table[0];
  delete[] table;
  return hr;
}

long Iflec(VOKDYNMeshServices& ioServices, bool iFirst) {
  int nodes = kUntouched, unused = kUntouched;
  int** table = nullptr;
  const long hr = ioServices.GetIFLEC(nodes, unused, table);
  if (iFirst && FAILED(hr)) {
    EXPECT_EQ(nullptr, table);
    EXPECT_FALSE(VOKHost::InstantiatedErrors().empty());
    return hr;
  }
  EXPECT_EQ(2, nodes);
  if (!table) return E_UNEXPECTED;
  EXPECT_EQ(3, table[0][1]);  // DOF 3 is component 0 of node 2
  for (int c = 0; c < 6; ++c) delete[] table[c];
  delete[] table;
  return hr;
}

long Sizes(VOKDYNMeshServices& ioServices, bool iFirst) {
  int nodes = kUntouched, perNode = kUntouched, dofs = kUntouched;
  const long hr = ioServices.GetMeshSizes(nodes, perNode, dofs);
  if (iFirst && FAILED(hr)) {
    EXPECT_EQ(kUntouched, nodes);
    EXPECT_EQ(kUntouched, perNode);
    EXPECT_EQ(kUntouched, dofs);
    return hr;
  }
  EXPECT_EQ(2, nodes);
  EXPECT_EQ(6, perNode);
  EXPECT_EQ(4, dofs);
  return hr;
}

class DampingAndServicesAllocation : public VOKTest {
 protected:
  void TearDown() override {
    FailArrayAllocationAt(0);
    VOKTest::TearDown();
  }
};

TEST_F(DampingAndServicesAllocation, EachFailedArrayAllocationGivesTheStatedResult) {
  struct Row {
    const char* what;
    std::function<Scenario()> make;
    long result;  // of the call in which an allocation failed
  };
  const Row rows[] = {
      {"damping values: the base's arrays", DampingValues, E_FAIL},
      {"mesh sizes: the numbering cache", [] { return Mesh(Sizes, false, false); }, E_FAIL},
      {"IPDEG: the cache, then the table", [] { return Mesh(Ipdeg, false, false); }, E_FAIL},
      {"IPDEG of a read object: the table", [] { return Mesh(Ipdeg, true, false); }, E_FAIL},
      {"IFLEC: the cache, then the table", [] { return Mesh(Iflec, false, false); }, E_FAIL},
      {"IFLEC of a read object: the table", [] { return Mesh(Iflec, true, false); }, E_FAIL},
      // A copy whose cache cannot be copied reads the numbering for itself.
      {"copy of a read object", [] { return Mesh(Sizes, true, true); }, S_OK},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    int failures = 0;
    const long alive = ArraysAlive();
    for (int k = 1; k < 1000; ++k) {
      SCOPED_TRACE(testing::Message() << "array allocation " << k << " fails");
      VOKHost::ClearErrors();
      Scenario scenario = row.make();
      FailArrayAllocationAt(k);
      long hr = E_UNEXPECTED;
      EXPECT_NO_THROW(hr = scenario.run(true));
      const bool failed = ArrayAllocationFailed();
      FailArrayAllocationAt(0);
      if (failed) {
        ++failures;
        EXPECT_HR(row.result, hr);
        EXPECT_HR(S_OK, scenario.run(false));
      } else {
        EXPECT_HR(S_OK, hr);
      }
      scenario.release();
      EXPECT_EQ(alive, ArraysAlive()) << "an array was left allocated";
      if (!failed) break;
    }
    EXPECT_GT(failures, 0) << "no array allocation to fail";
  }
}

}  // namespace
