// Load and restraint excitations of the stand-in's dynamic-response model.
#include "VOKHostDynamics.h"
#include "VOKHostTesting.h"

namespace VOKHost {

namespace {
// Building an excitation is not a host operation: it takes a plain
// reference, never a query that fault injection could make fail.
VOKBaseUnknown_var Share(VOKBaseUnknown* iObject) {
  if (iObject) iObject->AddRef();
  return VOKBaseUnknown_var(iObject, VOK_ADOPT);
}

// The values of an excitation as GetLoadValues or GetRestraintValues gives
// them: the operation iOperation (a fault point), then the failure the test
// set, else every entry handed in order to iDeliver with the test "does list
// L receive this entry?". Every list does, except those set to come out
// short, which miss the last entry.
template <class Entry, class Deliver>
long DeliverEntries(const char* iOperation, long iValuesResult, unsigned iShortLists,
                    const std::vector<Entry>& iEntries, Deliver iDeliver) {
  FaultPoint fp(iOperation);
  if (fp.Fail()) return fp.Result();
  if (FAILED(iValuesResult)) return iValuesResult;
  const std::size_t count = iEntries.size();
  for (std::size_t k = 0; k < count; ++k) {
    const bool last = k + 1 == count;
    iDeliver(iEntries[k], [&](ExcitationList iList) {
      return !(last && (iShortLists & (1u << static_cast<unsigned>(iList))));
    });
  }
  return S_OK;
}
}  // namespace

// ------------------------------------------------------------ common part

ExcitationBase::ExcitationBase(const std::string& iName, ExcitationType iType)
    : Feature(iName, FacetSpecObject | FacetAlias),
      _ReportedType(iType),
      _TypeResult(S_OK),
      _ValuesResult(S_OK),
      _ShortLists(0) {}
ExcitationBase::~ExcitationBase() = default;

void ExcitationBase::SetShortList(ExcitationList iList) {
  if (iList == ExcitationList::None) _ShortLists = 0;
  else _ShortLists |= 1u << static_cast<unsigned>(iList);
}

void* ExcitationBase::Answer(const IID& iIID) {
  if (iIID == IID_VOKIDYNExcitation) return static_cast<VOKIDYNExcitation*>(this);
  return Feature::Answer(iIID);
}

long ExcitationBase::GetExcitationType(ExcitationType& oType) {
  FaultPoint fp("VOKIDYNExcitation::GetExcitationType");
  if (fp.Fail()) return fp.Result();
  if (FAILED(_TypeResult)) return _TypeResult;
  oType = _ReportedType;
  return S_OK;
}

// -------------------------------------------------------- load excitation

LoadExcitation* LoadExcitation::Create(const std::string& iName) { return new LoadExcitation(iName); }

LoadExcitation::LoadExcitation(const std::string& iName) : ExcitationBase(iName, LoadExcitationType) {}
LoadExcitation::~LoadExcitation() = default;

void* LoadExcitation::Answer(const IID& iIID) {
  if (iIID == IID_VOKIDYNLoadExcitation) return static_cast<VOKIDYNLoadExcitation*>(this);
  return ExcitationBase::Answer(iIID);
}

void LoadExcitation::AddEntry(VOKBaseUnknown* iLoad, VOKBaseUnknown* iModulation, float iAmplitude,
                              float iPhase) {
  _Entries.push_back(Entry{Share(iLoad), Share(iModulation), iAmplitude, iPhase});
}

long LoadExcitation::GetLoadValues(VOKListValVOKISpecObject_var& ioLoads,
                                   VOKListValVOKISpecObject_var& ioModulations,
                                   VOKRawCollfloat& ioAmplitudes, VOKRawCollfloat& ioPhases) {
  return DeliverEntries(
      "VOKIDYNLoadExcitation::GetLoadValues", _ValuesResult, _ShortLists, _Entries,
      [&](const Entry& e, auto keep) {
        if (keep(ExcitationList::Loads)) ioLoads.Append(VOKISpecObject_var(e.load.Get()));
        if (keep(ExcitationList::Modulations)) ioModulations.Append(VOKISpecObject_var(e.modulation.Get()));
        if (keep(ExcitationList::Amplitudes)) ioAmplitudes.Append(e.amplitude);
        if (keep(ExcitationList::Phases)) ioPhases.Append(e.phase);
      });
}

// --------------------------------------------------- restraint excitation

RestraintExcitation* RestraintExcitation::Create(const std::string& iName) {
  return new RestraintExcitation(iName);
}

RestraintExcitation::RestraintExcitation(const std::string& iName)
    : ExcitationBase(iName, RestraintExcitationType), _AxisFlag(0) {}
RestraintExcitation::~RestraintExcitation() = default;

void* RestraintExcitation::Answer(const IID& iIID) {
  if (iIID == IID_VOKIDYNRestraintExcitation) return static_cast<VOKIDYNRestraintExcitation*>(this);
  return ExcitationBase::Answer(iIID);
}

void RestraintExcitation::AddDirection(int iDirection, float iAmplitude, float iPhase,
                                       VOKBaseUnknown* iModulation) {
  _Entries.push_back(Entry{iDirection, iAmplitude, iPhase, Share(iModulation)});
}

void RestraintExcitation::SetAxis(const VOKMathAxis& iAxis) {
  _AxisFlag = 1;
  _Axis = iAxis;
}

void RestraintExcitation::ClearAxis() {
  _AxisFlag = 0;
  _Axis = VOKMathAxis();
}

long RestraintExcitation::GetRestraintValues(VOKListValVOKISpecObject_var& ioModulations,
                                             VOKRawCollfloat& ioAmplitudes, VOKRawCollfloat& ioPhases,
                                             VOKRawCollint& ioDirections, int& oAxisFlag,
                                             VOKMathAxis& oAxis) {
  const long hr = DeliverEntries(
      "VOKIDYNRestraintExcitation::GetRestraintValues", _ValuesResult, _ShortLists, _Entries,
      [&](const Entry& e, auto keep) {
        if (keep(ExcitationList::Modulations)) ioModulations.Append(VOKISpecObject_var(e.modulation.Get()));
        if (keep(ExcitationList::Amplitudes)) ioAmplitudes.Append(e.amplitude);
        if (keep(ExcitationList::Phases)) ioPhases.Append(e.phase);
        if (keep(ExcitationList::Directions)) ioDirections.Append(e.direction);
      });
  if (FAILED(hr)) return hr;
  oAxisFlag = _AxisFlag;
  oAxis = _Axis;
  return S_OK;
}

}  // namespace VOKHost
