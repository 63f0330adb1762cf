// The platform's component model: queries, reference counts, handles,
// meta-classes.
#include "VOKBaseUnknown.h"
#include "VOKHostFeature.h"
#include "VOKTestSupport.h"

namespace {

class ComponentModel : public VOKTest {};

TEST_F(ComponentModel, QueryHitAddsOneReferenceMissAddsNone) {
  VOKHost::Feature* f = VOKHost::Feature::Create("f", VOKHost::FacetSpecObject | VOKHost::FacetAlias);
  EXPECT_EQ(f->RefCount(), 1);

  void* itf = nullptr;
  EXPECT_HR(S_OK, f->QueryInterface(IID_VOKIAlias, &itf));
  ASSERT_NE(itf, nullptr);
  EXPECT_EQ(f->RefCount(), 2);
  EXPECT_EQ(static_cast<VOKIAlias*>(itf)->GetDisplayName(), "f");
  static_cast<VOKIAlias*>(itf)->Release();
  EXPECT_EQ(f->RefCount(), 1);

  itf = reinterpret_cast<void*>(0x1);
  EXPECT_HR(E_NOINTERFACE, f->QueryInterface(IID_VOKISamAnalysisSet, &itf));
  EXPECT_EQ(itf, nullptr);
  EXPECT_EQ(f->RefCount(), 1);

  // All interfaces of one component share its single count.
  VOKISpecObject_var feature(f);
  VOKIAlias_var alias(feature);
  EXPECT_EQ(f->RefCount(), 3);
  int live = VOKBaseUnknown::LiveCount();
  f->Release();
  feature = nullptr;
  EXPECT_EQ(VOKBaseUnknown::LiveCount(), live) << "still held by a handle";
  alias = nullptr;
  EXPECT_EQ(VOKBaseUnknown::LiveCount(), live - 1) << "deleted when the count reached 0";
}

TEST_F(ComponentModel, HandlesQueryAdoptAndCopy) {
  VOKHost::Feature* f = VOKHost::Feature::Create("f", VOKHost::FacetSpecObject);
  {
    VOKISamAnalysisSet_var missing(f);
    EXPECT_TRUE(!missing) << "a handle from a failed query is null";
    VOKListValVOKBaseUnknown_var* sets = nullptr;
    EXPECT_THROW(missing->GetLinkedSets(sets), NullHandleCall);

    VOKISpecObject_var a(f);
    EXPECT_EQ(f->RefCount(), 2);
    VOKISpecObject_var b(a);
    EXPECT_EQ(f->RefCount(), 3);
    VOKISpecObject_var c(std::move(b));
    EXPECT_EQ(f->RefCount(), 3);
    EXPECT_TRUE(b == nullptr);
    VOKBaseUnknown_var base(c);
    EXPECT_EQ(f->RefCount(), 4);
    EXPECT_TRUE(base->IsEqual(a));
  }
  EXPECT_EQ(f->RefCount(), 1);
  VOKISpecObject_var adopted(static_cast<VOKISpecObject*>(f), VOK_ADOPT);
  EXPECT_EQ(f->RefCount(), 1) << "adopting takes over the creator's reference";
}

TEST_F(ComponentModel, MetaClassRegisteredOnceAndKindsFollowTheChain) {
  VOKMetaClass* base = VOKBaseUnknown::MetaObject();
  int before = VOKMetaClassRetrieveCount("TestKind");
  VOKMetaClass* m1 = fct_RetrieveMetaObject("TestKind", 1, base, "VOKNull", "Tests", 16);
  VOKMetaClass* m2 = fct_RetrieveMetaObject("TestKind", 1, base, "VOKNull", "Tests", 16);
  EXPECT_EQ(m1, m2);
  EXPECT_EQ(VOKMetaClassRetrieveCount("TestKind"), before + 2);
  EXPECT_STREQ(m1->GetClassName(), "TestKind");
  EXPECT_EQ(m1->GetTypeOfClass(), 1);
  EXPECT_STREQ(m1->GetExtraName(), "VOKNull");
  EXPECT_STREQ(m1->GetFrameworkName(), "Tests");
  EXPECT_EQ(m1->GetClassSize(), 16u);
  EXPECT_TRUE(m1->IsAKindOf("TestKind"));
  EXPECT_TRUE(m1->IsAKindOf("VOKBaseUnknown"));
  EXPECT_FALSE(m1->IsAKindOf("Other"));
  EXPECT_FALSE(m1->GetClassId() == base->GetClassId());
}

TEST_F(ComponentModel, ResultCodesAreNegative32BitPatterns) {
  static_assert(E_FAIL == -2147467259L, "0x80004005 sign-extended");
  static_assert(E_UNEXPECTED == -2147418113L, "0x8000FFFF sign-extended");
  static_assert(E_NOINTERFACE == -2147467262L, "0x80004002 sign-extended");
  EXPECT_TRUE(FAILED(E_FAIL));
  EXPECT_TRUE(SUCCEEDED(S_FALSE));
  EXPECT_EQ(VOKResultString(E_UNEXPECTED), "E_UNEXPECTED (0x8000FFFF)");
}

}  // namespace
