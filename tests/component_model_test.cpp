// The component model the library relies on: reference counts of queries and handles, codes.
#include "VOKBaseUnknown.h"
#include "VOKHostFeature.h"
#include "VOKTestSupport.h"

namespace {

static_assert(E_FAIL == -2147467259L, "0x80004005 sign-extended");
static_assert(E_UNEXPECTED == -2147418113L, "0x8000FFFF sign-extended");
static_assert(E_NOINTERFACE == -2147467262L, "0x80004002 sign-extended");

class ComponentModel : public VOKTest {};

TEST_F(ComponentModel, ReferenceCountsOfQueriesAndHandles) {
  VOKHost::Feature* f = VOKHost::Feature::Create("f", VOKHost::FacetSpecObject | VOKHost::FacetAlias);
  EXPECT_EQ(1, f->RefCount());
  void* itf = nullptr;
  EXPECT_HR(S_OK, f->QueryInterface(IID_VOKIAlias, &itf));
  EXPECT_EQ(2, f->RefCount());
  static_cast<VOKIAlias*>(itf)->Release();
  itf = reinterpret_cast<void*>(0x1);
  EXPECT_HR(E_NOINTERFACE, f->QueryInterface(IID_VOKISamAnalysisSet, &itf));
  EXPECT_EQ(nullptr, itf);
  EXPECT_EQ(1, f->RefCount());
  {
    VOKISamAnalysisSet_var missing(f);
    EXPECT_TRUE(!missing) << "a handle from a failed query is null";
    VOKListValVOKBaseUnknown_var* sets = nullptr;
    EXPECT_THROW(missing->GetLinkedSets(sets), NullHandleCall);
    VOKISpecObject_var a(f);
    VOKISpecObject_var b(a);
    EXPECT_EQ(3, f->RefCount());
    VOKISpecObject_var c(std::move(b));
    EXPECT_EQ(3, f->RefCount()) << "a move takes the reference over";
    VOKIAlias_var alias(c);
    EXPECT_EQ(4, f->RefCount()) << "all interfaces share one count";
  }
  EXPECT_EQ(1, f->RefCount());
  const int live = VOKBaseUnknown::LiveCount();
  VOKISpecObject_var adopted(static_cast<VOKISpecObject*>(f), VOK_ADOPT);
  EXPECT_EQ(1, f->RefCount()) << "adopting takes over the creator's reference";
  adopted = nullptr;
  EXPECT_EQ(live - 1, VOKBaseUnknown::LiveCount()) << "deleted when the count reached 0";
  EXPECT_EQ("E_UNEXPECTED (0x8000FFFF)", VOKResultString(E_UNEXPECTED));
}

}  // namespace
