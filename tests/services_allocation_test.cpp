// Each allocation fails in turn: a result, no exception, nothing left, and the next call answers.
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "VOKDYNDampingTools.h"
#include "VOKDYNMeshServices.h"
#include "VOKFailingAllocator.h"
#include "VOKHostAnalysisSets.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKTestSupport.h"

namespace {

constexpr int kUntouched = -4242;

// Runs iCall with the k-th allocation failing (0: none); oReached: it was asked for.
long Armed(long iK, bool& oReached, const std::function<long()>& iCall) {
  vok_test::FailAllocation(iK);
  long hr = E_UNEXPECTED;
  try {
    hr = iCall();
  } catch (...) {
    ADD_FAILURE() << "an exception left the operation";
  }
  oReached = iK > 0 && vok_test::AllocationsSinceArming() >= iK;
  vok_test::FailAllocation(0);
  return hr;
}

// Modes (1, 4), (1, 9), (1, 16) under 5 % modal damping: values 0.2, 0.3, 0.4, or the titles.
long Damping(long iK, bool& oReached, bool iTitles) {
  VOKHost::ModalBaseDefinition def;
  def.modalMasses = {1, 1, 1};
  def.modalStiffnesses = {4, 9, 16};
  def.frequencies = {1, 2, 3};
  def.shapes.assign(3, {});
  VOKHost::ModalBase* base = VOKHost::ModalBase::Create(def);
  VOKHost::DampingFeatureBuilder builder;
  builder.Modal(5).LinkBase(static_cast<VOKIDYNBaseTools*>(base));
  VOKHost::Feature* feature = builder.Build();
  long hr = E_UNEXPECTED;
  {
    VOKDYNDampingTools tools(feature);
    if (iTitles) {
      VOKListValVOKUnicodeString titles;
      hr = Armed(iK, oReached, [&] { return tools.GetListOfOccTitleForDump(titles); });
      if (FAILED(hr)) {
        EXPECT_EQ(0, titles.Size()) << "all the titles or none";
      }
      VOKListValVOKUnicodeString again;
      EXPECT_HR(S_OK, tools.GetListOfOccTitleForDump(again));
      EXPECT_EQ(3, again.Size());
    }
    VOKRawColldouble values;
    if (!iTitles) hr = Armed(iK, oReached, [&] { return tools.GetDampingValues(values); });
    if (FAILED(hr)) {
      EXPECT_EQ(0, values.Size()) << "all the values or none";
    }
    VOKRawColldouble again;
    EXPECT_HR(S_OK, tools.GetDampingValues(again));
    EXPECT_EQ(3, again.Size());
    if (again.Size() == 3) {
      EXPECT_EQ(0.4, again[3]);
    }
  }
  feature->Release();
  base->Release();
  return hr;
}

// Components 0, 1, 2 on node 1 and 0 on node 2; iCopy: the copy of a read object fails, then is asked.
long Mesh(long iK, bool& oReached, bool iCopy,
          const std::function<long(VOKDYNMeshServices&, bool iArmed)>& iCall) {
  VOKHost::DofNumberingSet* set = VOKHost::DofNumberingSet::Create("Solution set");
  set->SetNumbering({0, 1, 2, 0}, {1, 1, 1, 2});
  long hr = E_UNEXPECTED;
  {
    VOKDYNMeshServices services(static_cast<VOKISamAnalysisSet*>(set));
    if (iCopy) {
      int nodes = 0;
      EXPECT_HR(S_OK, services.GetNbNodes(nodes));
      alignas(VOKDYNMeshServices) unsigned char storage[sizeof(VOKDYNMeshServices)];
      VOKDYNMeshServices* copy = nullptr;
      Armed(iK, oReached, [&] {
        // The host's component base may fail to be made: then there is no copy.
        try {
          copy = new (storage) VOKDYNMeshServices(services);
        } catch (const std::bad_alloc&) {
        }
        return S_OK;
      });
      hr = copy ? iCall(*copy, false) : S_OK;  // reads for itself when the cache was not copied
      if (copy) copy->~VOKDYNMeshServices();
    } else {
      hr = Armed(iK, oReached, [&] { return iCall(services, true); });
      EXPECT_HR(S_OK, iCall(services, false));
    }
  }
  set->Release();
  return hr;
}

long Ipdeg(VOKDYNMeshServices& ioServices, bool iArmed) {
  int count = kUntouched;
  int** table = nullptr;
  const long hr = ioServices.GetIPDEG(count, table);
  if (iArmed) {
    if (FAILED(hr)) {
      EXPECT_EQ(nullptr, table);
      EXPECT_EQ(0, count);
    }
    if (!table) return hr;
  }
  EXPECT_EQ(4, count);
  if (!table) return E_UNEXPECTED;
  EXPECT_EQ(2, table[3][1]);
  delete[] table[0];
  delete[] table;
  return hr;
}

long Iflec(VOKDYNMeshServices& ioServices, bool iArmed) {
  int nodes = kUntouched, unused = kUntouched;
  int** table = nullptr;
  const long hr = ioServices.GetIFLEC(nodes, unused, table);
  if (iArmed && !table) return hr;
  EXPECT_EQ(2, nodes);
  if (!table) return E_UNEXPECTED;
  EXPECT_EQ(3, table[0][1]);  // DOF 3 is component 0 of node 2
  for (int c = 0; c < 6; ++c) delete[] table[c];
  delete[] table;
  return hr;
}

long Sizes(VOKDYNMeshServices& ioServices, bool iArmed) {
  int nodes = kUntouched, perNode = kUntouched, dofs = kUntouched;
  const long hr = ioServices.GetMeshSizes(nodes, perNode, dofs);
  if (iArmed && FAILED(hr)) {
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
    vok_test::FailAllocation(0);
    VOKTest::TearDown();
  }
};

TEST_F(DampingAndServicesAllocation, EachFailedAllocationGivesTheStatedResult) {
  struct Row {
    const char* what;
    std::function<long(long, bool&)> run;
    long result;  // of the call in which an allocation failed
  };
  const Row rows[] = {
      {"damping values", [](long k, bool& r) { return Damping(k, r, false); }, E_FAIL},
      {"dump titles", [](long k, bool& r) { return Damping(k, r, true); }, E_FAIL},
      {"mesh sizes", [](long k, bool& r) { return Mesh(k, r, false, Sizes); }, E_FAIL},
      {"IPDEG", [](long k, bool& r) { return Mesh(k, r, false, Ipdeg); }, E_FAIL},
      {"IFLEC", [](long k, bool& r) { return Mesh(k, r, false, Iflec); }, E_FAIL},
      // A copy whose cache cannot be copied reads the numbering for itself.
      {"copy of a read object", [](long k, bool& r) { return Mesh(k, r, true, Sizes); }, S_OK},
  };
  // The process-wide record keeps its texts: made once here, not counted below.
  {
    VOKDYNMeshServices none(nullptr);
    int count = 0;
    int** table = nullptr;
    EXPECT_HR(E_FAIL, none.GetIPDEG(count, table));
    VOKHost::ClearErrors();
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    int failures = 0;
    // A first run unarmed: what is made once per program is made now.
    for (long k = 0; k < 1000; ++k) {
      SCOPED_TRACE("allocation " + std::to_string(k) + " fails");
      VOKHost::ClearErrors();
      const long blocks = vok_test::LiveBlocks();
      bool reached = false;
      const long hr = row.run(k, reached);
      VOKHost::ClearErrors();  // a failure's record lives until cleared
      if (k > 0) {
        EXPECT_EQ(blocks, vok_test::LiveBlocks()) << "blocks left allocated";
      }
      if (!reached) {
        EXPECT_HR(S_OK, hr);
        if (k > 0) break;
        continue;
      }
      ++failures;
      EXPECT_HR(row.result, hr);
    }
    EXPECT_GT(failures, 0) << "no allocation to fail";
  }
  // The table of a read object that cannot be allocated leaves its record.
  VOKHost::DofNumberingSet* set = VOKHost::DofNumberingSet::Create("Solution set");
  set->SetNumbering({0, 1}, {1, 2});
  {
    VOKDYNMeshServices services(static_cast<VOKISamAnalysisSet*>(set));
    int count = kUntouched, unused = kUntouched;
    ASSERT_HR(S_OK, services.GetNbNodes(count));
    for (int line : {95, 123}) {
      SCOPED_TRACE(line);
      VOKHost::ClearErrors();
      int** table = nullptr;
      bool reached = false;
      EXPECT_HR(E_FAIL, Armed(1, reached, [&] {
                  return line == 95 ? services.GetIPDEG(count, table)
                                    : services.GetIFLEC(count, unused, table);
                }));
      EXPECT_EQ(nullptr, table);
      const std::vector<VOKHost::ErrorRecord> errors = VOKHost::InstantiatedErrors();
      ASSERT_EQ(1u, errors.size());
      EXPECT_EQ(": out of memory", errors[0].text);
      EXPECT_EQ(line, errors[0].line);
    }
  }
  set->Release();
  VOKHost::ClearErrors();
}

}  // namespace
