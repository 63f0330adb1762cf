// Reading a characteristic of an explicit-model set into a list of doubles.
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "DYNReadCaracSet.h"
#include "VOKHostAnalysisSets.h"
#include "VOKHostExplicitModel.h"
#include "VOKTestSupport.h"

namespace {

using VOKHost::CharacDefinition;
using VOKHost::CharacSetFeature;
using VOKHost::Feature;

constexpr int kSetTag = 40;
constexpr int kThickness = 12;  // a scalar physical type
constexpr int kOffset = 13;     // a vector physical type

// The version the reader must ask for: the physical type's value and
// mathematical types, the selector, then 1 and 16.
VOKSamCharacVersion Version(VOKSamValue iValue, VOKSamMathType iMath, int iSelector) {
  VOKSamCharacVersion v;
  v.SetValueType(iValue);
  v.SetMathType(iMath);
  v.SetSelector(iSelector);
  v.SetFields(1, 16);
  return v;
}

CharacDefinition Thickness(int iSelector, std::vector<float> iValues) {
  CharacDefinition d;
  d.physicalType = kThickness;
  d.version = Version(VOKSamValueReal, VOKSamMathTypeScalar, iSelector);
  d.values = std::move(iValues);
  return d;
}

std::vector<double> Widened(const std::vector<double>& iFront, const std::vector<float>& iValues) {
  std::vector<double> all = iFront;
  for (float v : iValues) all.push_back(static_cast<double>(v));
  return all;
}

// The feature as the set object the reader is given (null for null).
VOKISpecObject_var SpecObject(Feature* iFeature) {
  VOKISpecObject_var handle;
  if (iFeature) handle = static_cast<VOKBaseUnknown*>(static_cast<VOKHost::Component*>(iFeature));
  return handle;
}

std::vector<double> Items(const VOKRawColldouble& iList) {
  std::vector<double> items;
  for (int i = 1; i <= iList.Size(); ++i) items.push_back(iList[i]);
  return items;
}

// A set of tag 40 in the explicit model of a document, given as a feature
// whose owner leads to the document.
class CaracReader : public VOKTest {
 public:
  void Build() {
    _Document.reset(new VOKDocument("Part"));
    _Model = _Document->AddExplicitModel();
    _Model->AddSet(kSetTag, 4);
    VOKHost::RulesData::PhysicalType thickness;
    thickness.number = kThickness;
    thickness.mathType = VOKSamMathTypeScalar;
    thickness.valueType = VOKSamValueReal;
    _Model->Rules()->AddPhysicalType("THICKNESS", thickness);
    VOKHost::RulesData::PhysicalType offset;
    offset.number = kOffset;
    offset.mathType = VOKSamMathTypeVector;
    offset.valueType = VOKSamValueComplex;
    offset.info1 = 3;
    _Model->Rules()->AddPhysicalType("OFFSET", offset);
    _Owner = Feature::Create("Part", VOKHost::FacetSpecObject | VOKHost::FacetLinkable);
    _Owner->SetDocument(_Document.get());
    _Set = CharacSetFeature::Create("Set", VOKHost::FacetSpecObject | VOKHost::FacetExplicit);
    _Set->SetExplicitTag(kSetTag);
    _Set->SetOwner(_Owner);
  }
  void Drop() {
    if (_Set) _Set->Release();
    if (_Plain) _Plain->Release();
    if (_Owner) _Owner->Release();
    _Set = nullptr;
    _Plain = nullptr;
    _Owner = nullptr;
    _Document.reset();
    _Other.reset();
    _Model = nullptr;
  }
  long Read(const char* iName, int iSelector, VOKRawColldouble& ioValues) {
    VOKISpecObject_var set = SpecObject(_Set);
    std::vector<char> name(iName, iName + std::strlen(iName) + 1);
    return DYNReadCaracSet(set, name.data(), iSelector, ioValues);
  }

  std::unique_ptr<VOKDocument> _Document;
  std::unique_ptr<VOKDocument> _Other;  // a document some rows move the set's owner to
  VOKHost::ExplicitModel* _Model = nullptr;
  Feature* _Plain = nullptr;            // a set some rows read instead of _Set
  Feature* _Owner = nullptr;
  CharacSetFeature* _Set = nullptr;

 protected:
  void SetUp() override {
    VOKTest::SetUp();
    Build();
  }
  void TearDown() override {
    Drop();
    VOKTest::TearDown();
  }
};

TEST_F(CaracReader, SelectorOneToThreeIsAskedForOthersLeaveTheDefault) {
  // One collector per selector field; each holds values that name it.
  for (int s = 0; s <= 3; ++s) _Model->AddSetCollector(kSetTag, Thickness(s, {s + 0.5f, s * 10.f}));
  struct Row {
    int selector;
    int answered;  // the selector field the search carries
  } rows[] = {{1, 1}, {2, 2}, {3, 3}, {0, VOKSamCharacVersion::DefaultSelector},
              {4, VOKSamCharacVersion::DefaultSelector}, {-1, VOKSamCharacVersion::DefaultSelector},
              {100, VOKSamCharacVersion::DefaultSelector}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.selector);
    VOKRawColldouble values;
    EXPECT_HR(S_OK, Read("THICKNESS", row.selector, values));
    const float s = static_cast<float>(row.answered);
    EXPECT_EQ(Items(values), Widened({}, {s + 0.5f, s * 10.f}));
  }
}

TEST_F(CaracReader, ModelCollectorIsMadeNotStreamableReadAndKept) {
  // 0.1f and 3.1f are not doubles' 0.1 and 3.1: the values arrive as the
  // floats they were, widened.
  const std::vector<float> stored = {0.5f, 0.1f, -3.1f, 1e-3f};
  VOKHost::CharacCollector* collector = _Model->AddSetCollector(kSetTag, Thickness(2, stored));
  ASSERT_TRUE(collector->IsStreamable());
  const int collectorsBefore = VOKAnalysisCollectorRoot::LiveCount();

  VOKRawColldouble values;
  values.Append(-1.0);
  values.Append(2.0);
  EXPECT_HR(S_OK, Read("THICKNESS", 2, values));
  EXPECT_EQ(Items(values), Widened({-1.0, 2.0}, stored));
  EXPECT_EQ(values[3], 0.5);
  EXPECT_NE(values[4], 0.1);
  EXPECT_FALSE(collector->IsStreamable());
  EXPECT_EQ(collector->ReleaseCalls(), 0) << "the model's collector is the model's";
  EXPECT_EQ(VOKAnalysisCollectorRoot::LiveCount(), collectorsBefore);
}

TEST_F(CaracReader, VersionCarriesThePhysicalTypesValueAndMathematicalTypes) {
  CharacDefinition offset;
  offset.physicalType = kOffset;
  offset.version = Version(VOKSamValueComplex, VOKSamMathTypeVector, 1);
  offset.values = {1.f, 2.f, 3.f};
  _Model->AddSetCollector(kSetTag, offset);
  // A collector of the same values under the scalar's types must not be the one read.
  CharacDefinition wrongTypes = offset;
  wrongTypes.version = Version(VOKSamValueReal, VOKSamMathTypeScalar, 1);
  wrongTypes.values = {9.f};
  _Model->AddSetCollector(kSetTag, wrongTypes);

  VOKRawColldouble values;
  EXPECT_HR(S_OK, Read("OFFSET", 1, values));
  EXPECT_EQ(Items(values), Widened({}, {1.f, 2.f, 3.f}));
}

TEST_F(CaracReader, SetsOwnCollectorIsObtainedReadAndReleased) {
  _Set->AddObtainable(Thickness(3, {7.25f, -0.5f}));
  const int collectorsBefore = VOKAnalysisCollectorRoot::LiveCount();
  VOKRawColldouble values;
  values.Append(1.0);
  EXPECT_HR(S_OK, Read("THICKNESS", 3, values));
  EXPECT_EQ(Items(values), Widened({1.0}, {7.25f, -0.5f}));
  EXPECT_EQ(_Set->ObtainedCount(), 1);
  EXPECT_EQ(VOKAnalysisCollectorRoot::LiveCount(), collectorsBefore) << "obtained collector kept";
}

TEST_F(CaracReader, NothingToAppendIsSuccess) {
  struct Row {
    const char* what;
    int count;
    bool noBlocks;
  } rows[] = {{"count 0", 0, false}, {"negative count", -2, false}, {"no block table", 2, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    for (bool owned : {false, true}) {
      SCOPED_TRACE(owned ? "collector of the set" : "collector of the model");
      Drop();
      Build();
      CharacDefinition d = Thickness(1, {4.f, 5.f});
      d.count = row.count;
      d.noBlocks = row.noBlocks;
      if (owned)
        _Set->AddObtainable(d);
      else
        _Model->AddSetCollector(kSetTag, d);
      VOKRawColldouble values;
      values.Append(3.0);
      EXPECT_HR(S_OK, Read("THICKNESS", 1, values));
      EXPECT_EQ(Items(values), std::vector<double>{3.0});
    }
  }
}

// One way the reading fails, with the code the caller must see.
struct Failure {
  const char* what;
  std::function<void(CaracReader&)> arrange;
  const char* name;
  long result;
};

TEST_F(CaracReader, FailuresReturnTheirCodeAndLeaveTheListAlone) {
  auto modelCollector = [](std::function<void(CharacDefinition&)> iChange) {
    return [iChange](CaracReader& f) {
      CharacDefinition d = Thickness(1, {1.f, 2.f});
      iChange(d);
      f._Model->AddSetCollector(kSetTag, d);
    };
  };
  auto ownCollector = [](std::function<void(CharacDefinition&)> iChange) {
    return [iChange](CaracReader& f) {
      CharacDefinition d = Thickness(1, {1.f, 2.f});
      iChange(d);
      f._Set->AddObtainable(d);
    };
  };
  auto replaceSet = [](unsigned iFacets, int iTag, bool iOwner) {
    return [=](CaracReader& f) {
      f._Set->Release();
      f._Set = CharacSetFeature::Create("Other set", iFacets);
      f._Set->SetExplicitTag(iTag);
      if (iOwner) f._Set->SetOwner(f._Owner);
    };
  };
  const unsigned kSetFacets = VOKHost::FacetSpecObject | VOKHost::FacetExplicit;
  const Failure rows[] = {
      // Missing objects on the way: E_FAIL.
      {"set is no explicit object", replaceSet(VOKHost::FacetSpecObject, kSetTag, true), "THICKNESS", E_FAIL},
      {"set has no tag", replaceSet(kSetFacets, -1, true), "THICKNESS", E_FAIL},
      {"set has no owner", replaceSet(kSetFacets, kSetTag, false), "THICKNESS", E_FAIL},
      {"owner is not linkable",
       [](CaracReader& f) {
         Feature* owner = Feature::Create("Unlinkable", VOKHost::FacetSpecObject);
         f._Set->SetOwner(owner);
         owner->Release();
       },
       "THICKNESS", E_FAIL},
      {"owner has no document", [](CaracReader& f) { f._Owner->SetDocument(nullptr); }, "THICKNESS", E_FAIL},
      {"document has no explicit model",
       [](CaracReader& f) {
         f._Set->AddObtainable(Thickness(1, {1.f}));
         f._Other.reset(new VOKDocument("Empty"));
         f._Owner->SetDocument(f._Other.get());
       },
       "THICKNESS", E_FAIL},
      {"model has no rules data", [](CaracReader& f) { f._Model->RemoveRulesData(); }, "THICKNESS", E_FAIL},
      {"set is not in the model",
       [](CaracReader& f) {
         f._Set->SetExplicitTag(kSetTag + 1);
         f._Set->AddObtainable(Thickness(1, {1.f}));
       },
       "THICKNESS", E_FAIL},
      {"no collector and the set offers none",
       [](CaracReader& f) {
         f._Set->Release();
         Feature* plain = Feature::Create("Plain set", VOKHost::FacetSpecObject | VOKHost::FacetExplicit);
         plain->SetExplicitTag(kSetTag);
         plain->SetOwner(f._Owner);
         f._Plain = plain;
         f._Set = nullptr;
       },
       "THICKNESS", E_FAIL},
      {"the set has no such characteristic", [](CaracReader&) {}, "THICKNESS", E_FAIL},
      // Component results, passed back as they came, positive ones included.
      {"unknown physical type", ownCollector([](CharacDefinition&) {}), "NO SUCH TYPE", S_FALSE},
      {"mathematical info answers 5",
       [](CaracReader& f) {
         VOKHost::RulesData::PhysicalType t;
         t.number = kThickness;
         t.mathInfoResult = 5;
         f._Model->Rules()->AddPhysicalType("THICKNESS", t);
       },
       "THICKNESS", 5},
      {"model collector refuses streaming change",
       modelCollector([](CharacDefinition& d) { d.setStreamableResult = E_UNEXPECTED; }), "THICKNESS", E_UNEXPECTED},
      {"model collector values answer 3", modelCollector([](CharacDefinition& d) { d.getValuesResult = 3; }),
       "THICKNESS", 3},
      {"model collector definition answers E_NOTIMPL",
       modelCollector([](CharacDefinition& d) { d.getDefinitionResult = E_NOTIMPL; }), "THICKNESS", E_NOTIMPL},
      {"own collector values answer S_FALSE", ownCollector([](CharacDefinition& d) { d.getValuesResult = S_FALSE; }),
       "THICKNESS", S_FALSE},
      {"own collector definition answers E_UNEXPECTED",
       ownCollector([](CharacDefinition& d) { d.getDefinitionResult = E_UNEXPECTED; }), "THICKNESS", E_UNEXPECTED},
  };
  for (const Failure& row : rows) {
    SCOPED_TRACE(row.what);
    Drop();
    Build();
    row.arrange(*this);
    const int collectorsBefore = VOKAnalysisCollectorRoot::LiveCount();
    VOKRawColldouble values;
    values.Append(7.0);
    VOKISpecObject_var set = SpecObject(_Set ? _Set : _Plain);
    std::vector<char> name(row.name, row.name + std::strlen(row.name) + 1);
    EXPECT_HR(row.result, DYNReadCaracSet(set, name.data(), 1, values));
    EXPECT_EQ(Items(values), std::vector<double>{7.0});
    EXPECT_EQ(VOKAnalysisCollectorRoot::LiveCount(), collectorsBefore) << "a collector was kept";
  }
}

TEST_F(CaracReader, NullSetFails) {
  VOKISpecObject_var none;
  VOKRawColldouble values;
  char name[] = "THICKNESS";
  EXPECT_HR(E_FAIL, DYNReadCaracSet(none, name, 1, values));
  EXPECT_EQ(values.Size(), 0);
}

}  // namespace
