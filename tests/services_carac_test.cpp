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

// The version asked for: the physical type's value and math types, the selector, fields 1, 16.
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

// A set of tag 40 in a document's explicit model, as a feature whose owner leads to the document.
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
  // Arranges a fresh model, reads into a list holding -1 and 2, and checks no collector is kept.
  long Read(const std::function<void(CaracReader&)>& iArrange, const char* iName, int iSelector,
            std::vector<double>& oItems) {
    Drop();
    Build();
    iArrange(*this);
    const int collectorsBefore = VOKAnalysisCollectorRoot::LiveCount();
    VOKRawColldouble values;
    values.Append(-1.0);
    values.Append(2.0);
    // The set the reader is given (null for null).
    Feature* feature = _Set ? _Set : _Plain;
    VOKISpecObject_var set;
    if (feature) set = static_cast<VOKBaseUnknown*>(static_cast<VOKHost::Component*>(feature));
    std::vector<char> name(iName, iName + std::strlen(iName) + 1);
    const long hr = DYNReadCaracSet(set, name.data(), iSelector, values);
    oItems.clear();
    for (int i = 1; i <= values.Size(); ++i) oItems.push_back(values[i]);
    EXPECT_EQ(collectorsBefore, VOKAnalysisCollectorRoot::LiveCount()) << "a collector was kept";
    return hr;
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

// The values arrive widened after what the list held; a failure gives its code and leaves the list alone.
TEST_F(CaracReader, ValuesArriveWidenedAfterWhatTheListHeldOrNothingDoes) {
  // 0.1f and -3.1f are not the doubles 0.1 and -3.1: the floats arrive widened.
  const std::vector<float> stored{0.5f, 0.1f, -3.1f, 1e-3f};
  struct Row {
    const char* what;
    std::function<void(CaracReader&)> arrange;
    long result;
    const char* name = "THICKNESS";
    int selector = 1;
    std::vector<float> expected = {};
    int obtained = -1;  // collectors the set handed out (-1: not looked at)
  };
  auto model = [](CharacDefinition iD) {
    return [=](CaracReader& f) { f._Model->AddSetCollector(kSetTag, iD); };
  };
  auto own = [](CharacDefinition iD) { return [=](CaracReader& f) { f._Set->AddObtainable(iD); }; };
  auto counted = [](int iCount, bool iNoBlocks) {
    CharacDefinition d = Thickness(1, {4.f, 5.f});
    d.count = iCount;
    d.noBlocks = iNoBlocks;
    return d;
  };
  // A thickness of the model's collector or the set's own (iOwn), after iChange.
  auto collector = [](bool iOwn, std::function<void(CharacDefinition&)> iChange) {
    return [=](CaracReader& f) {
      CharacDefinition d = Thickness(1, {1.f, 2.f});
      iChange(d);
      if (iOwn)
        f._Set->AddObtainable(d);
      else
        f._Model->AddSetCollector(kSetTag, d);
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
  // A collector of the scalar's types must not be the one read for OFFSET.
  CharacDefinition offset;
  offset.physicalType = kOffset;
  offset.version = Version(VOKSamValueComplex, VOKSamMathTypeVector, 1);
  offset.values = {1.f, 2.f, 3.f};
  CharacDefinition wrongTypes = offset;
  wrongTypes.version = Version(VOKSamValueReal, VOKSamMathTypeScalar, 1);
  wrongTypes.values = {9.f};
  auto selectors = [](CaracReader& f) {
    for (int s = 0; s <= 3; ++s) {
      const float v = static_cast<float>(s);
      f._Model->AddSetCollector(kSetTag, Thickness(s, {v + 0.5f, v * 10.f}));
    }
  };
  const float kDefault = static_cast<float>(VOKSamCharacVersion::DefaultSelector);
  VOKHost::CharacCollector* modelCollector = nullptr;  // of the first row
  const Row rows[] = {
      {"model collector",
       [&](CaracReader& f) { modelCollector = f._Model->AddSetCollector(kSetTag, Thickness(2, stored)); }, S_OK,
       "THICKNESS", 2, stored, 0},
      {"set's own collector", own(Thickness(3, {7.25f, -0.5f})), S_OK, "THICKNESS", 3, {7.25f, -0.5f}, 1},
      {"selector 1", selectors, S_OK, "THICKNESS", 1, {1.5f, 10.f}, 0},
      {"selector 3", selectors, S_OK, "THICKNESS", 3, {3.5f, 30.f}, 0},
      {"selector 0 keeps the default", selectors, S_OK, "THICKNESS", 0, {kDefault + 0.5f, kDefault * 10.f}, 0},
      {"selector 4 keeps the default", selectors, S_OK, "THICKNESS", 4, {kDefault + 0.5f, kDefault * 10.f}, 0},
      {"value and mathematical types",
       [=](CaracReader& f) {
         f._Model->AddSetCollector(kSetTag, offset);
         f._Model->AddSetCollector(kSetTag, wrongTypes);
       },
       S_OK, "OFFSET", 1, {1.f, 2.f, 3.f}, 0},
      {"model collector, count 0", model(counted(0, false)), S_OK, "THICKNESS", 1, {}, 0},
      {"model collector, negative count", model(counted(-2, false)), S_OK, "THICKNESS", 1, {}, 0},
      {"model collector, no block table", model(counted(2, true)), S_OK, "THICKNESS", 1, {}, 0},
      {"own collector, count 0", own(counted(0, false)), S_OK, "THICKNESS", 1, {}, 1},
      {"own collector, no block table", own(counted(2, true)), S_OK, "THICKNESS", 1, {}, 1},
      // Missing objects on the way: E_FAIL.
      {"null set",
       [](CaracReader& f) {
         f._Set->Release();
         f._Set = nullptr;
       },
       E_FAIL},
      {"set is no explicit object", replaceSet(VOKHost::FacetSpecObject, kSetTag, true), E_FAIL},
      {"set has no tag", replaceSet(kSetFacets, -1, true), E_FAIL},
      {"set has no owner", replaceSet(kSetFacets, kSetTag, false), E_FAIL},
      {"owner is not linkable",
       [](CaracReader& f) {
         Feature* owner = Feature::Create("Unlinkable", VOKHost::FacetSpecObject);
         f._Set->SetOwner(owner);
         owner->Release();
       },
       E_FAIL},
      {"owner has no document", [](CaracReader& f) { f._Owner->SetDocument(nullptr); }, E_FAIL},
      {"document has no explicit model",
       [](CaracReader& f) {
         f._Set->AddObtainable(Thickness(1, {1.f}));
         f._Other.reset(new VOKDocument("Empty"));
         f._Owner->SetDocument(f._Other.get());
       },
       E_FAIL},
      {"model has no rules data", [](CaracReader& f) { f._Model->RemoveRulesData(); }, E_FAIL},
      {"set is not in the model",
       [](CaracReader& f) {
         f._Set->SetExplicitTag(kSetTag + 1);
         f._Set->AddObtainable(Thickness(1, {1.f}));
       },
       E_FAIL},
      {"no collector and the set offers none",
       [](CaracReader& f) {
         f._Set->Release();
         Feature* plain = Feature::Create("Plain set", VOKHost::FacetSpecObject | VOKHost::FacetExplicit);
         plain->SetExplicitTag(kSetTag);
         plain->SetOwner(f._Owner);
         f._Plain = plain;
         f._Set = nullptr;
       },
       E_FAIL},
      {"the set has no such characteristic", [](CaracReader&) {}, E_FAIL},
      // Component results, passed back as they came, positive ones included.
      {"unknown physical type", collector(true, [](CharacDefinition&) {}), S_FALSE, "NO SUCH TYPE"},
      {"mathematical info answers 5",
       [](CaracReader& f) {
         VOKHost::RulesData::PhysicalType t;
         t.number = kThickness;
         t.mathInfoResult = 5;
         f._Model->Rules()->AddPhysicalType("THICKNESS", t);
       },
       5},
      {"model collector refuses streaming change",
       collector(false, [](CharacDefinition& d) { d.setStreamableResult = E_UNEXPECTED; }), E_UNEXPECTED},
      {"model collector values answer 3", collector(false, [](CharacDefinition& d) { d.getValuesResult = 3; }), 3},
      {"model collector definition answers E_NOTIMPL",
       collector(false, [](CharacDefinition& d) { d.getDefinitionResult = E_NOTIMPL; }), E_NOTIMPL},
      {"own collector values answer S_FALSE",
       collector(true, [](CharacDefinition& d) { d.getValuesResult = S_FALSE; }), S_FALSE},
      {"own collector definition answers E_UNEXPECTED",
       collector(true, [](CharacDefinition& d) { d.getDefinitionResult = E_UNEXPECTED; }), E_UNEXPECTED},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<double> items;
    EXPECT_HR(row.result, Read(row.arrange, row.name, row.selector, items));
    std::vector<double> widened = {-1.0, 2.0};
    widened.insert(widened.end(), row.expected.begin(), row.expected.end());
    EXPECT_EQ(widened, items);
    if (row.obtained >= 0) {
      EXPECT_EQ(row.obtained, _Set->ObtainedCount());
    }
    // A collector of the model is switched to not streamable, read, and left to the model.
    if (modelCollector) {
      EXPECT_FALSE(modelCollector->IsStreamable());
      EXPECT_EQ(0, modelCollector->ReleaseCalls());
      modelCollector = nullptr;
    }
  }
}

}  // namespace
