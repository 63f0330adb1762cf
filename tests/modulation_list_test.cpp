// The typed modulation list: forwards to the raw collection, 1-based, nulls allowed, no counting.
#include <functional>
#include <memory>
#include <vector>

#include "VOKHostDynamics.h"
#include "VOKListPtrVOKIDYNModulation.h"
#include "VOKTestSupport.h"

namespace {

using List = VOKListPtrVOKIDYNModulation;
using Items = std::vector<VOKIDYNModulation*>;

Items Read(const List& iList) {
  Items items;
  for (int i = 1; i <= iList.Size(); ++i) items.push_back(iList[i]);  // the constant operator[]
  return items;
}

int ByValue(VOKIDYNModulation* a, VOKIDYNModulation* b) {
  const double x = a->Evaluate(0.0), y = b->Evaluate(0.0);
  return x < y ? -1 : (x > y ? 1 : 0);
}

class ModulationList : public VOKTest {
 protected:
  void SetUp() override {
    VOKTest::SetUp();
    for (int i = 0; i < 4; ++i) _M[i] = VOKHost::Modulation::Constant("m", i + 1.0);
  }
  // The list never touches reference counts: each modulation still has its creation's one.
  void TearDown() override {
    for (auto* m : _M) {
      EXPECT_EQ(1, m->RefCount());
      m->Release();
    }
    VOKTest::TearDown();
  }
  VOKIDYNModulation* M(int i) const { return _M[i]; }
  List Of(const Items& iItems) const {
    List list(0);
    for (VOKIDYNModulation* m : iItems) list.Append(m);
    return list;
  }
  VOKHost::Modulation* _M[4];
};

TEST_F(ModulationList, EachOperationForwardsToTheRawCollection) {
  VOKIDYNModulation* const null = nullptr;
  struct Row {
    const char* what;
    Items start;
    std::function<int(List&)> operation;  // its int result, 0 for void operations
    int result;
    Items after;
  };
  const Row rows[] = {
      {"Append a list", {M(0)}, [&](List& l) { return l.Append(Of({M(2), M(1)})); }, 1, {M(0), M(2), M(1)}},
      {"InsertAt 1", {M(0)}, [&](List& l) { return l.InsertAt(1, M(2)); }, 1, {M(2), M(0)}},
      {"Size grows with nulls", {M(0)}, [](List& l) { l.Size(3); return 0; }, 0, {M(0), null, null}},
      {"writable operator[]", {M(0), null}, [&](List& l) { l[2] = M(1); return 0; }, 0, {M(0), M(1)}},
      {"Locate from 2", {M(1), M(0), M(1)}, [&](List& l) { return l.Locate(M(1), 2); }, 3,
       {M(1), M(0), M(1)}},
      {"RemoveValue: the first", {M(1), M(0), M(1)}, [&](List& l) { return l.RemoveValue(M(1)); }, 1,
       {M(0), M(1)}},
      {"Remove a list: every occurrence", {M(0), M(1), M(2), M(1)},
       [&](List& l) { return l.Remove(Of({M(1)})); }, 2, {M(0), M(2)}},
      {"RemovePosition", {M(0), M(1), M(2)}, [](List& l) { l.RemovePosition(2); return 0; }, 0, {M(0), M(2)}},
      {"RemovePosition, a run", {M(0), M(1), M(2), M(3)},
       [](List& l) { return l.RemovePosition(2, 2u); }, 2, {M(0), M(3)}},
      {"RemoveAll", {M(0), M(1)}, [](List& l) { l.RemoveAll(); return 0; }, 0, {}},
      {"RemoveNulls", {null, M(0), null}, [](List& l) { return l.RemoveNulls(); }, 2, {M(0)}},
      {"Swap", {M(0), M(1), M(2)}, [](List& l) { l.Swap(1, 3); return 0; }, 0, {M(2), M(1), M(0)}},
      {"QuickSort by value", {M(2), M(0), M(1)}, [](List& l) { l.QuickSort(ByValue); return 0; }, 0,
       {M(0), M(1), M(2)}},
      {"QuickSort without comparison keeps", {M(2), M(0)},
       [](List& l) { l.QuickSort(nullptr); return 0; }, 0, {M(2), M(0)}},
      {"NbOccur", {M(1), M(0), M(1)}, [&](List& l) { return l.NbOccur(M(1)); }, 2, {M(1), M(0), M(1)}},
      {"RemoveDuplicates", {M(0), M(1), M(0)}, [&](List& l) {
         List removed;
         const int n = l.RemoveDuplicates(&removed);
         return Read(removed) == Items{M(0)} ? n : -1;
       }, 1, {M(0), M(1)}},
      {"self-assignment", {M(0), M(1)}, [](List& l) { List& same = l; l = same; return 0; }, 0, {M(0), M(1)}},
      {"assignment", {M(0)}, [&](List& l) { l = Of({M(3), null}); return 0; }, 0, {M(3), null}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    List list = Of(row.start);
    EXPECT_EQ(row.result, row.operation(list));
    EXPECT_EQ(row.after, Read(list));
  }
}

TEST_F(ModulationList, ConstructionComparisonAndStaticOperations) {
  VOKIDYNModulation* array[] = {M(2), M(1)};
  auto destroyed = std::make_unique<List>(array, 2);
  destroyed.reset();  // through the virtual destructor
  List fromArray(array, 2);
  EXPECT_EQ((Items{M(2), M(1)}), Read(fromArray));
  List copy(fromArray);
  copy[1] = M(0);
  EXPECT_EQ(M(2), fromArray[1]) << "a copy holds its own pointers";
  VOKIDYNModulation* out[2] = {nullptr, nullptr};
  fromArray.FillArray(out, 2);
  EXPECT_EQ((Items{M(2), M(1)}), (Items{out[0], out[1]}));

  // == is the exact negation of !=, over equal and different lists.
  const Items cases[][2] = {{{}, {}}, {{M(0), nullptr}, {M(0), nullptr}}, {{M(0), M(1)}, {M(1), M(0)}},
                            {{M(0)}, {M(0), M(0)}}};
  for (const auto& c : cases) {
    const List a = Of(c[0]), b = Of(c[1]);
    EXPECT_EQ(c[0] == c[1] ? 1 : 0, a == b);
    EXPECT_EQ(a == b ? 0 : 1, a != b ? 1 : 0);
  }

  const List sorted = Of({M(0), M(1), M(2)}), other = Of({M(0), M(2)});
  List common;
  List::Intersection(sorted, other, common);
  EXPECT_EQ((Items{M(0), M(2)}), Read(common));
  EXPECT_EQ(0, List::Compare(sorted, sorted, ByValue));
  EXPECT_LT(List::Compare(sorted, other, ByValue), 0);
  // Without a comparison, by identity: two modulations of one value differ.
  VOKHost::Modulation* twin = VOKHost::Modulation::Constant("twin", 1.0);
  const List withTwin = Of({twin, M(1)});
  EXPECT_EQ(0, List::Compare(sorted, withTwin, nullptr) == 0 ? 1 : 0);
  EXPECT_EQ(0, List::Compare(Of({M(0), M(1)}), withTwin, ByValue));
  twin->Release();
  // A bad position is reported, never read.
  EXPECT_THROW(fromArray[3], NullHandleCall);
  EXPECT_THROW(fromArray[0], NullHandleCall);
}

}  // namespace
