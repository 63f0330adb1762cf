// Reading of a characteristic of a set of the analysis explicit model.
#include "DYNReadCaracSet.h"
#include "VOKDYNAllocationBoundary.h"

namespace {

// A collector this function obtained from the set itself: released on
// every way out, success or failure. A collector of the model is never put
// here, since the model keeps it.
class OwnedCollector {
 public:
  OwnedCollector() = default;
  ~OwnedCollector() {
    if (_Collector) _Collector->Release();
  }
  OwnedCollector(const OwnedCollector&) = delete;
  OwnedCollector& operator=(const OwnedCollector&) = delete;
  VOKAnalysisCharacCollector*& Slot() { return _Collector; }

 private:
  VOKAnalysisCharacCollector* _Collector = nullptr;
};

}  // namespace

long DYNReadCaracSet(VOKISpecObject_var& iSet, char* iPhysicalTypeName, int iSelector,
                     VOKRawColldouble& ioValues) {
  return VOKDYN::AllocationBoundary(E_FAIL, [&]() -> long {
    // Every component result is tested for being non-zero: a positive code is
    // a failure here too, and is handed back as it came.
    VOKISamExplicit_var explicitObject(iSet);
    if (!explicitObject) return E_FAIL;
    const int tag = explicitObject->GetExplicitTag(1);
    if (tag == -1) return E_FAIL;

    VOKISpecObject_var owner = iSet->GetOwner();
    VOKILinkableObject_var linkable(owner);
    if (!linkable) return E_FAIL;
    VOKDocument* document = linkable->GetOwningDocument();
    if (!document) return E_FAIL;
    VOKAnalysisExplicitModel* model = VOKAnalysisExplicitModel::GetDocumentModel(document);
    if (!model) return E_FAIL;
    VOKAnalysisExplicitRulesData* rules = model->GetRulesData();
    if (!rules) return E_FAIL;

    VOKAnalysisExplicitSet set;
    set.LinkWithTag(tag, model);  // a set that is not in the model shows in the search below

    int physicalType = 0;
    long result = rules->GetPhysicalTypeNumber(iPhysicalTypeName, physicalType);
    if (result != 0) return result;
    VOKSamMathType mathType = VOKSamMathTypeUnknown;
    VOKSamValue valueType = VOKSamValueUnknown;
    int unused = 0;
    result = rules->GetPhysicalTypeMathematicalInfo(physicalType, mathType, valueType, unused, unused);
    if (result != 0) return result;

    VOKSamCharacVersion version;
    version.SetValueType(valueType);
    version.SetMathType(mathType);
    if (iSelector >= 1 && iSelector <= 3) version.SetSelector(iSelector);
    version.SetFields(1, 16);

    VOKAnalysisCharacCollector* collector = nullptr;
    result = set.FindCharacCollector(physicalType, version, "NONE", -1, collector, 0, nullptr,
                                     VOKSamPhysicalTypeNone, -1);
    if (result != 0) return result;

    OwnedCollector owned;
    if (collector) {
      // The model's collector: read it without letting it be streamed out; the
      // model keeps it.
      result = collector->SetStreamable(false);
      if (result != 0) return result;
    } else {
      VOKICharacCollector_var source(iSet);
      if (!source) return E_FAIL;
      result = source->ObtainCharacCollector(physicalType, version, "NONE", 0, owned.Slot(), 1,
                                             VOKSamPhysicalTypeNone);
      if (result != 0) return result;
      if (!owned.Slot()) return E_FAIL;
      collector = owned.Slot();
    }

    int count = 0;
    int secondCount = 0;
    void** blocks = nullptr;
    result = collector->GetValues(count, secondCount, blocks);
    if (result != 0) return result;

    int definitionType = 0;
    VOKString definitionName, definitionText;
    VOKSamCharacVersion definitionVersion;
    int definitionNumber1 = 0, definitionNumber2 = 0;
    result = collector->GetDefinition(definitionType, definitionName, definitionVersion,
                                      definitionText, definitionNumber1, definitionNumber2);
    if (result != 0) return result;

    // Every call succeeded: only now does the caller's list grow.
    // A list that cannot grow is cut back to what it held: all the values or
    // none.
    if (blocks && blocks[0]) {
      const float* values = static_cast<const float*>(blocks[0]);
      const int before = ioValues.Size();
      try {
        for (int i = 0; i < count; ++i) ioValues.Append(static_cast<double>(values[i]));
      } catch (const std::bad_alloc&) {
        // A host list that cannot grow; the allocation-failure tests do not
        // run the characteristic reader. LCOV_EXCL_START
        ioValues.Size(before);
        throw;
      }  // LCOV_EXCL_STOP
    }
    return S_OK;
  });
}
