// Each host operation, then each allocation, failed in turn: no crash or leak, the rule's result,
// the caller's inputs intact, and (after a failed allocation) objects ready for the next call.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "DYNReadCaracSet.h"
#include "VOKDYNDampingTools.h"
#include "VOKDYNExcitationTools.h"
#include "VOKDYNMeshServices.h"
#include "VOKFailingAllocator.h"
#include "VOKHostAnalysisSets.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKHostExplicitModel.h"
#include "VOKHostFeature.h"
#include "VOKHostResponses.h"
#include "VOKTestModels.h"
#include "VOKTestSupport.h"

namespace {

using namespace vok_test_models;

// The code of every injected failure: no operation makes it itself.
constexpr long kInjected = VOKMakeResult(0x80040F01u);
// A run whose object could not be made (its allocation failed): no call was made.
constexpr long kNotMade = VOKMakeResult(0x80040F02u);

// A run's result, and whether the caller's inputs are as they were.
struct Outcome {
  long result = S_OK;
  bool inputsIntact = true;
};

// The model of one scenario and everything the caller passes, made before the run so that the
// run makes the library's calls only; everything in it goes when it goes.
struct World {
  Holder hold;
  std::vector<std::unique_ptr<VOKDocument>> documents;
  std::vector<std::shared_ptr<void>> kept;
  template <class T, class... A>
  T* Make(A&&... iArgs) {
    auto made = std::make_shared<T>(std::forward<A>(iArgs)...);
    kept.push_back(made);
    return made.get();
  }
  ~World() {
    kept.clear();
    hold.ReleaseAll();
    documents.clear();
  }
};

using Calls = std::function<Outcome()>;

// What a failure of one operation must give.
enum class Expect {
  Fails,     ///< a negative result (E_FAIL after a failed allocation)
  PassesOn,  ///< the operation's own code, unchanged
  Replaces,  ///< a negative result of the library's own, not the operation's
  Succeeds,  ///< the failure is passed over: the plain success
  Either,    ///< the operation's name covers calls of several kinds in the run
};

bool Meets(Expect iExpect, long iResult) {
  switch (iExpect) {
    case Expect::Fails: return FAILED(iResult);
    case Expect::PassesOn: return iResult == kInjected;
    case Expect::Replaces: return FAILED(iResult) && iResult != kInjected;
    case Expect::Succeeds: return iResult == S_OK;
    case Expect::Either: return iResult == S_OK || FAILED(iResult);
  }
  return false;
}

struct Scenario {
  std::string name;
  std::function<Calls(World&)> build;  ///< builds the model, returns the calls to run
  /// What a failure of each host operation gives; one not named must fail.
  std::map<std::string, Expect> rules;
  bool inputsPromised = false;  ///< the caller's inputs stay as they were on failure
  /// ... except after a failure of one of these host operations.
  std::set<std::string> inputsMayChange;
  bool hostFaults = true;                 ///< run with each host operation failing
  bool allocations = true;                ///< run with each allocation failing
  Expect onAllocation = Expect::Either;   ///< a failed allocation: E_FAIL, S_OK, or either
  bool initialises = false;  ///< the run starts by initialising on a list it copies (the caller's allocation)
};

// ------------------------------------------------------------------ models

constexpr int kN = 12;

// The caller's arrays of the contribution overloads, every value 1, and the filter's lists.
struct Arrays {
  std::vector<double> real = std::vector<double>(kN, 1.0);
  std::vector<VOKMathComplex> complex = std::vector<VOKMathComplex>(kN, VOKMathComplex(1.0, 1.0));
  VOKMathComplex* complexValues = complex.data();
  CallerTable re{3, 2, 1.0}, im{3, 2, 1.0};
  double** pr = re.Rows();
  double** pi = im.Rows();
  double coefs[2] = {1.0, 2.0};
  VOKRawCollint dofs, components;
  VOKRawCollfloat columns;
  VOKISpecObject* gd = nullptr;  // the generalized displacement of the time-step overloads
  VOKListValVOKISpecObject_var loads, modulations, statics, loadsBefore, modulationsBefore;
  VOKRawCollfloat amplitudes, phases;
  void Set(std::initializer_list<int> iDofs, std::initializer_list<int> iComponents,
           std::initializer_list<float> iColumns) {
    for (int p : iDofs) dofs.Append(p);
    for (int c : iComponents) components.Append(c);
    for (float f : iColumns) columns.Append(f);
  }
  bool Intact() const {
    auto one = [](const VOKMathComplex& v) { return v.re == 1.0 && v.im == 1.0; };
    bool same = complexValues == complex.data() && std::all_of(complex.begin(), complex.end(), one) &&
                std::all_of(real.begin(), real.end(), [](double v) { return v == 1.0; }) &&
                re.Untouched(1.0) && im.Untouched(1.0) && loads.Size() == loadsBefore.Size() &&
                modulations.Size() == loads.Size() && amplitudes.Size() == loads.Size() &&
                phases.Size() == loads.Size();
    for (int j = 1; same && j <= loads.Size(); ++j)
      same = amplitudes[j] == static_cast<float>(j) && phases[j] == 0.5f * static_cast<float>(j - 1) &&
             loads[j].Get() == loadsBefore[j].Get() && modulations[j].Get() == modulationsBefore[j].Get();
    return same;
  }
};

// Initialised for results, then a rigid-body overload on a two-direction restraint about an axis,
// or the filter or an enforced displacement overload on two enforcing load sets and one plain.
Scenario Contribution(bool iRigid, const std::string& iOverload) {
  Scenario s;
  s.name = "InitializeForResult + " +
           std::string(iRigid ? "AddRigidExcit" : iOverload == "filter" ? "FilterForEnforcedDisp" : "AddEnforcedDispExcit") +
           " (" + iOverload + ")";
  s.initialises = true;
  if (iRigid) {
    // Arrays are written once all is summed, but a silent modulation is skipped and steps add one by one.
    s.inputsPromised = iOverload != "steps";
    s.inputsMayChange = {"QueryInterface"};
    s.rules = {{"VOKIDYNExcitation::GetExcitationType", Expect::PassesOn},
               {"VOKIDYNRestraintExcitation::GetRestraintValues", Expect::PassesOn},
               {"VOKIDYNBaseTools::GetRigidModeProvider", Expect::Replaces},
               {"VOKIDYNRigidModeProvider::ComputeRigidModes", Expect::PassesOn},
               {"VOKIDYNRigidModeProvider::ComputeNodeRigidModes", Expect::PassesOn},
               {"VOKIDYNGeneralizedDisplacement::GetStepValues", Expect::Replaces}};
  } else {
    // Only the filter and the complex overload write nothing on failure.
    s.inputsPromised = iOverload == "filter" || iOverload == "complex";
    // A silent static set or modulation is passed over; the computed load's scan passes its code on.
    s.rules = {{"QueryInterface", Expect::Either},
               {"VOKIDYNExcitation::GetExcitationType", Expect::PassesOn},
               {"VOKIDYNLoadExcitation::GetLoadValues", Expect::PassesOn},
               {"VOKISamAnalysisScan::ScanByType", Expect::Either},
               {"VOKTarvoAccessDataServices::ReadDescSizes", Expect::PassesOn},
               {"VOKTarvoAccessDataServices::ReadDescData", Expect::PassesOn},
               {"VOKISamAnalysisSet::GetLinkedSets", Expect::PassesOn},
               {"VOKIDYNGeneralizedDisplacement::GetStepValues", Expect::Replaces}};
  }
  s.build = [iRigid, iOverload](World& w) -> Calls {
    VOKHost::ModalBase* base = w.hold(VOKHost::ModalBase::Create(TwoNodeBase()));
    VOKHost::Modulation* unit = w.hold(VOKHost::Modulation::Constant("unit", 1.0));
    VOKHost::Modulation* ramp = w.hold(VOKHost::Modulation::Create("ramp", {{0.0, 0.0}, {10.0, 2.0}}));
    VOKHost::GeneralizedDisplacement* gd = w.hold(VOKHost::GeneralizedDisplacement::Create("transient"));
    gd->AddStep(iRigid ? std::vector<double>{0.5, 0.0} : std::vector<double>{1.0, 2.0});
    gd->AddStep(iRigid ? std::vector<double>{1.0, -2.0} : std::vector<double>{-1.0, 0.5});
    VOKDYNExcitationTools* tools = w.hold(new VOKDYNExcitationTools);
    Arrays* a = w.Make<Arrays>();
    a->gd = AsFeature(Unknown(gd));
    VOKListValVOKBaseUnknown_var list;
    if (iRigid) {
      VOKHost::RestraintExcitation* motion = w.hold(VOKHost::RestraintExcitation::Create("supports"));
      motion->AddDirection(1, 3.0f, 0.0f, ramp);
      motion->AddDirection(6, 0.5f, 0.25f, ramp);
      const double o[3] = {0.5, 0, 0}, x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
      motion->SetAxis(VOKMathAxis(o, x, y, z));
      list = List({Unknown(motion)});
      if (iOverload == "node") a->Set({}, {0, 1, 5}, {1.0f, 2.0f});
      if (iOverload == "steps") a->Set({6, 7}, {}, {0.0f, 0.1f});
    } else {
      std::vector<double> d1(kN), d2(kN);
      for (int p = 0; p < kN; ++p) {
        d1[p] = p % 6 == 2 ? 1.0 : 0.0;
        d2[p] = 0.125 * p;
      }
      VOKHost::EnforcedLoadSet* set1 = w.hold(VOKHost::EnforcedLoadSet::Create("z motion", {2, 8}, d1));
      VOKHost::EnforcedLoadSet* idle = w.hold(VOKHost::EnforcedLoadSet::Create("no motion", {}, d2));
      VOKHost::EnforcedLoadSet* set2 = w.hold(VOKHost::EnforcedLoadSet::Create("ramp motion", {0}, d2));
      VOKHost::LoadExcitation* loads = w.hold(VOKHost::LoadExcitation::Create("enforced"));
      loads->AddEntry(set1, unit, 4.0f, 0.0f);
      loads->AddEntry(idle, unit, 100.0f, 0.0f);
      loads->AddEntry(set2, ramp, -1.0f, 1.5f);
      list = List({Unknown(loads)});
      a->coefs[0] = 2.0;
      a->coefs[1] = -0.5;
      if (iOverload == "frequencies") a->Set({2, 8}, {}, {1.0f, 5.0f});
      if (iOverload == "steps") a->Set({8}, {}, {0.0f, 1.0f});
      if (iOverload == "filter")
        for (VOKHost::Component* c : std::vector<VOKHost::Component*>{set1, idle, set2}) {
          a->loads.Append(VOKISpecObject_var(Unknown(c)));
          a->modulations.Append(VOKISpecObject_var(Unknown(c == set2 ? ramp : unit)));
          a->amplitudes.Append(static_cast<float>(a->loads.Size()));
          a->phases.Append(0.5f * static_cast<float>(a->loads.Size() - 1));
        }
      a->loadsBefore = a->loads;
      a->modulationsBefore = a->modulations;
    }
    return [=]() {
      Outcome out;
      ExcitationType first = UndefinedExcitationType;
      out.result = tools->InitializeForResult(list, base, first);
      if (FAILED(out.result)) return out;
      if (iOverload == "filter")
        out.result = tools->FilterForEnforcedDisp(a->loads, a->modulations, a->amplitudes, a->phases, a->statics);
      if (iOverload == "real")
        out.result = iRigid ? tools->AddRigidExcit(0.0, kN, a->real.data(), a->coefs)
                            : tools->AddEnforcedDispExcit(0.0, kN, a->real.data(), a->coefs);
      if (iOverload == "complex")
        out.result = iRigid ? tools->AddRigidExcit(2.0, kN, a->complexValues)
                            : tools->AddEnforcedDispExcit(5.0, kN, a->complexValues);
      if (iOverload == "node") out.result = tools->AddRigidExcit(20, a->components, a->columns, a->pr, a->pi);
      if (iOverload == "frequencies") out.result = tools->AddEnforcedDispExcit(0, a->dofs, a->columns, a->pr, a->pi);
      if (iOverload == "steps")
        out.result = iRigid ? tools->AddRigidExcit(0, a->dofs, a->columns, a->gd, a->pr)
                            : tools->AddEnforcedDispExcit(0, a->dofs, a->columns, a->gd, a->pr);
      out.inputsIntact = a->Intact();
      return out;
    };
  };
  return s;
}

// Initialize on [load, restraint], then GetExcitValues into a new array and batched.
Scenario LoadsAndRestraint(DYNAnalysisDomain iDomain) {
  Scenario s;
  s.name = std::string("Initialize + GetExcitValues on [load, restraint], ") +
           (iDomain == DYNTimeDomain ? "time domain" : "frequency domain");
  s.initialises = true;
  // The DOF count is asked when building (replaced) and when evaluating (passed on).
  s.rules = {{"VOKIDYNExcitation::GetExcitationType", Expect::PassesOn},
             {"VOKIDYNLoadExcitation::GetLoadValues", Expect::PassesOn},
             {"VOKIDYNRestraintExcitation::GetRestraintValues", Expect::Replaces},
             {"VOKIDYNBaseTools::ComputeLoadVectors", Expect::Replaces},
             {"VOKIDYNBaseTools::CheckRotationAxis", Expect::PassesOn},
             {"VOKIDYNBaseTools::ComputeRigidVectorsOnAxis", Expect::Replaces},
             {"VOKIDYNBaseTools::GetNbDof", Expect::Either}};
  s.build = [iDomain](World& w) -> Calls {
    VOKHost::ModalBase* base = w.hold(ExactBase(
        {{1.0, 2.0}, {-0.5, 0.25}}, {{{0.5, 1.0, 1.5, 2.0, 2.5, 3.0}}, {{-1.0, 0.0, 1.0, 0.0, -1.0, 0.5}}}));
    VOKHost::NodalLoad* load0 = w.hold(UnitLoad(0));
    VOKHost::NodalLoad* load1 = w.hold(UnitLoad(1));
    VOKHost::Modulation* two = w.hold(VOKHost::Modulation::Constant("two", 2.0));
    VOKHost::Modulation* ramp = w.hold(VOKHost::Modulation::Create("ramp", {{0.0, 0.0}, {10.0, 2.0}}));
    VOKHost::LoadExcitation* loads = w.hold(VOKHost::LoadExcitation::Create("loads"));
    loads->AddEntry(load0, two, 1.0f, 0.0f);
    loads->AddEntry(load1, ramp, 2.0f, 0.5f);
    VOKHost::RestraintExcitation* motion = w.hold(VOKHost::RestraintExcitation::Create("motion"));
    motion->AddDirection(2, 9.81f, 0.2f, two);
    motion->AddDirection(6, 1.5f, 0.6f, ramp);
    const double o[3] = {0.5, 0, 0}, x[3] = {1, 1, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
    motion->SetAxis(VOKMathAxis(o, x, y, z));
    const VOKListValVOKBaseUnknown_var list = List({Unknown(loads), Unknown(motion)});
    VOKDYNExcitationTools* tools = w.hold(new VOKDYNExcitationTools);
    Arrays* a = w.Make<Arrays>();
    return [=]() {
      Outcome out;
      ExcitationType first = UndefinedExcitationType;
      out.result = tools->Initialize(list, base, first, iDomain);
      if (FAILED(out.result)) return out;
      VOKMathComplex* values = nullptr;
      out.result = tools->GetExcitValues(2.0, values);
      delete[] values;
      if (FAILED(out.result)) return out;
      const double abscissae[3] = {1.0, 2.0, 3.0};
      out.result = tools->GetExcitValues(3, abscissae, a->complex.data());
      return out;
    };
  };
  return s;
}

// One damping query on tools over a definition linked to a three-mode base.
Scenario Damping(const std::string& iDefinition, const std::string& iQuery) {
  Scenario s;
  s.name = "damping " + iDefinition + ": " + iQuery;
  // The values and the titles come all or none.
  s.inputsPromised = iQuery == "GetDampingValues" || iQuery == "GetListOfOccTitleForDump";
  // A message that runs out of memory while it shows is lost, not the query: a list without
  // values is reported by one, and its query may then succeed.
  if (s.inputsPromised)
    s.onAllocation = iDefinition.find("without values") == std::string::npos ? Expect::Fails : Expect::Either;
  // The base's state only informs: an untestable state is stale, a failed check a validity.
  s.rules = {{"VOKISpecObject::TestUpToDate", Expect::Succeeds},
             {"VOKIAlias::GetDisplayName", Expect::Succeeds},
             {"VOKIDYNBaseAccess::CheckBaseState", Expect::Succeeds}};
  // Unreadable coefficients keep their start value or make the definition invalid; the type stands.
  const Expect coefficients = iQuery == "GetDampingDefinition" ? Expect::Succeeds : Expect::Either;
  for (const char* op : {"VOKISamBasicComponent::GetSubComponent", "VOKISamBasicComponent::GetValue",
                         "VOKISpecAttrAccess::LookupAttributeKey", "VOKISpecAttrAccess::ReadBoolean",
                         "VOKISpecAttrAccess::ReadDoubleList"})
    s.rules[op] = coefficients;
  // Queries serve both the base lookup (passed on) and the coefficients.
  s.rules["QueryInterface"] = Expect::Either;
  if (iQuery == "GetDampingValues" && iDefinition == "modal per mode") {
    // The type and the diagonal check pass their code on; the analysis set and the modal values do not.
    s.rules["VOKISamEnumManager::GetEnumValue"] = Expect::PassesOn;
    s.rules["VOKIDYNBaseTools::IsDampingDiagonal"] = Expect::PassesOn;
    for (const char* op : {"VOKISamAnalysisSet::GetBasicComponent", "VOKIDYNBaseTools::GetModalStiffnesses",
                           "VOKIDYNBaseTools::GetModalMasses"})
      s.rules[op] = Expect::Replaces;
  }
  s.build = [iDefinition, iQuery](World& w) -> Calls {
    VOKHost::ModalBaseDefinition def;
    def.name = "Normal Modes.1";
    def.modalMasses = {1, 1, 1};
    def.modalStiffnesses = {4, 9, 16};
    def.frequencies = {1, 2, 3};
    def.shapes.assign(3, std::vector<double>());
    VOKHost::ModalBase* base = w.hold(VOKHost::ModalBase::Create(def));
    VOKHost::DampingFeatureBuilder builder;
    if (iDefinition.rfind("modal global", 0) == 0) builder.Modal(5);
    if (iDefinition == "modal global, stale base") base->Access()->SetUpToDate(false);
    if (iDefinition == "modal per mode") builder.ModalPerMode({1, 2, 3});
    if (iDefinition == "Rayleigh global") builder.Rayleigh(0.5, 0.25);
    if (iDefinition.rfind("Rayleigh per mode", 0) == 0) builder.RayleighPerMode({1, 2, 3}, {3, 2, 1});
    if (iDefinition == "Rayleigh per mode, beta list without values") builder.NoList("ListOfBeta");
    builder.LinkBase(static_cast<VOKIDYNBaseTools*>(base));
    VOKHost::Feature* feature = w.hold(builder.Build());
    VOKDYNDampingTools* tools = w.Make<VOKDYNDampingTools>(feature);
    VOKRawColldouble* values = w.Make<VOKRawColldouble>();
    VOKListValVOKUnicodeString* titles = w.Make<VOKListValVOKUnicodeString>();
    return [=]() {
      Outcome out;
      unsigned char flag = 0;
      VOKDYNDampingValidity validity;
      VOKDYNDampingType type;
      if (iQuery == "CheckIfBaseUptoDate") out.result = tools->CheckIfBaseUptoDate(flag, 1);
      if (iQuery == "CheckDefinition") out.result = tools->CheckDefinition(validity);
      if (iQuery == "GetDampingDefinition") out.result = tools->GetDampingDefinition(flag, type);
      if (iQuery == "GetDampingValues") out.result = tools->GetDampingValues(*values);
      if (iQuery == "GetListOfOccTitleForDump") out.result = tools->GetListOfOccTitleForDump(*titles);
      out.inputsIntact = values->Size() == 0 && titles->Size() == 0;
      return out;
    };
  };
  return s;
}

constexpr int kUntouched = -4242;

// The numbering tables of a solver's DOF numbering set, or (iCopy) of a copy of a read object; the
// caller's outputs stay as they were on failure.
Scenario Mesh(bool iCopy) {
  Scenario s;
  s.name = iCopy ? "mesh services: a copy of a read object, GetMeshSizes"
                 : "mesh services: GetMeshSizes, GetIPDEG, GetIFLEC";
  s.inputsPromised = true;
  // A copy whose cache cannot be copied reads the numbering for itself; it makes no host call.
  s.hostFaults = !iCopy;
  s.onAllocation = iCopy ? Expect::Succeeds : Expect::Fails;
  s.build = [iCopy](World& w) -> Calls {
    VOKHost::DofNumberingSet* set = w.hold(VOKHost::DofNumberingSet::Create("Solution set"));
    set->SetNumbering({0, 1, 2, 0, 1, 2, 3, 4, 5, 0, 2}, {1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3});
    VOKDYNMeshServices* read = nullptr;
    if (iCopy) {
      read = w.hold(new VOKDYNMeshServices(static_cast<VOKISamAnalysisSet*>(set)));
      int nodes = 0;
      EXPECT_HR(S_OK, read->GetNbNodes(nodes));
    }
    return [=]() {
      Outcome out;
      VOKDYNMeshServices* services = nullptr;
      try {
        services = iCopy ? new VOKDYNMeshServices(*read) : new VOKDYNMeshServices(static_cast<VOKISamAnalysisSet*>(set));
      } catch (const std::bad_alloc&) {
        out.result = kNotMade;
        return out;
      }
      int nodes = kUntouched, perNode = kUntouched, dofs = kUntouched, unused = kUntouched;
      out.result = services->GetMeshSizes(nodes, perNode, dofs);
      out.inputsIntact = nodes == kUntouched && perNode == kUntouched && dofs == kUntouched;
      int** ipdeg = nullptr;
      int count = kUntouched;
      if (SUCCEEDED(out.result) && !iCopy) {
        out.result = services->GetIPDEG(count, ipdeg);
        out.inputsIntact = !ipdeg && count == 0;
        if (ipdeg && count > 0) delete[] ipdeg[0];  // the pairs are one block
        delete[] ipdeg;
      }
      int** iflec = nullptr;
      if (SUCCEEDED(out.result) && !iCopy) {
        out.result = services->GetIFLEC(nodes, unused, iflec);
        out.inputsIntact = !iflec && unused == kUntouched;
        for (int c = 0; iflec && c < 6; ++c) delete[] iflec[c];
        delete[] iflec;
      }
      services->Release();
      return out;
    };
  };
  return s;
}

// A thickness from the model's collector or the set's own, into a list that already holds a value.
Scenario Characteristic(bool iOwnCollector) {
  Scenario s;
  s.name = std::string("characteristic reader, ") + (iOwnCollector ? "collector of the set" : "collector of the model");
  s.inputsPromised = true;
  s.build = [iOwnCollector](World& w) -> Calls {
    constexpr int kSetTag = 40, kThickness = 12;
    w.documents.emplace_back(new VOKDocument("Part"));
    VOKHost::ExplicitModel* model = w.documents[0]->AddExplicitModel();
    model->AddSet(kSetTag, 4);
    VOKHost::RulesData::PhysicalType thickness;
    thickness.number = kThickness;
    thickness.mathType = VOKSamMathTypeScalar;
    thickness.valueType = VOKSamValueReal;
    model->Rules()->AddPhysicalType("THICKNESS", thickness);
    VOKHost::Feature* owner = w.hold(VOKHost::Feature::Create("Part", VOKHost::FacetSpecObject | VOKHost::FacetLinkable));
    owner->SetDocument(w.documents[0].get());
    VOKHost::CharacSetFeature* set =
        w.hold(VOKHost::CharacSetFeature::Create("Set", VOKHost::FacetSpecObject | VOKHost::FacetExplicit));
    set->SetExplicitTag(kSetTag);
    set->SetOwner(owner);
    VOKHost::CharacDefinition def;
    def.physicalType = kThickness;
    def.version.SetValueType(VOKSamValueReal);
    def.version.SetMathType(VOKSamMathTypeScalar);
    def.version.SetSelector(1);
    def.version.SetFields(1, 16);
    def.values = {1.5f, 2.5f};
    if (iOwnCollector)
      set->AddObtainable(def);
    else
      model->AddSetCollector(kSetTag, def);
    VOKISpecObject_var* handle = w.Make<VOKISpecObject_var>(Unknown(set));
    VOKRawColldouble* values = w.Make<VOKRawColldouble>();
    values->Append(9.0);
    return [=]() {
      Outcome out;
      char name[] = "THICKNESS";
      out.result = DYNReadCaracSet(*handle, name, 1, *values);
      out.inputsIntact = values->Size() == 1 && (*values)[1] == 9.0;
      return out;
    };
  };
  return s;
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all{LoadsAndRestraint(DYNDefaultDomain), LoadsAndRestraint(DYNTimeDomain)};
  for (const char* overload : {"real", "complex", "node", "steps"}) all.push_back(Contribution(true, overload));
  for (const char* overload : {"filter", "real", "complex", "frequencies", "steps"})
    all.push_back(Contribution(false, overload));
  for (const char* definition :
       {"modal global", "modal global, stale base", "modal per mode", "Rayleigh global", "Rayleigh per mode",
        "Rayleigh per mode, beta list without values"})
    for (const char* query : {"CheckIfBaseUptoDate", "CheckDefinition", "GetDampingDefinition",
                              "GetDampingValues", "GetListOfOccTitleForDump"})
      all.push_back(Damping(definition, query));
  all.push_back(Mesh(false));
  all.push_back(Mesh(true));
  all.push_back(Characteristic(false));
  all.push_back(Characteristic(true));
  return all;
}

class FaultInjection : public VOKTest {
 protected:
  void TearDown() override {
    vok_test::FailAllocation(0);
    VOKTest::TearDown();
  }
};

TEST_F(FaultInjection, EveryHostOperationOfEveryScenarioFailsCleanly) {
  ScopedNotificationRecorder quiet;  // warnings and errors go to dialogs
  for (const Scenario& scenario : Scenarios()) {
    if (!scenario.hostFaults) continue;
    SCOPED_TRACE(scenario.name);
    const VOKHost::LiveCounts start = VOKHost::CurrentLiveCounts();
    long count = 0;
    {
      World world;
      Calls run = scenario.build(world);
      VOKHost::FaultArm(0);
      Outcome clean;
      EXPECT_NO_THROW(clean = run());
      count = VOKHost::FaultCount();
      VOKHost::FaultDisarm();
      ASSERT_HR(S_OK, clean.result) << "the scenario runs cleanly without a failure";
      ASSERT_GT(count, 0);
    }
    ASSERT_EQ(start, VOKHost::CurrentLiveCounts()) << "the clean run leaves something alive";
    for (long k = 1; k <= count; ++k) {
      std::string hit;
      Outcome outcome;
      {
        World world;
        Calls run = scenario.build(world);
        VOKHost::FaultArm(k, kInjected);
        try {
          outcome = run();
        } catch (const NullHandleCall& call) {
          ADD_FAILURE() << "call through a null handle (" << call.what << ") after a failure of "
                        << VOKHost::FaultHitName() << " (operation " << k << ")";
        }
        hit = VOKHost::FaultHitName();
        VOKHost::FaultDisarm();
      }
      SCOPED_TRACE("operation " + std::to_string(k) + ": " + hit);
      ASSERT_FALSE(hit.empty()) << "the run made fewer host calls than the clean one";
      EXPECT_EQ(start, VOKHost::CurrentLiveCounts()) << "something left alive after a failure of " << hit;
      const auto rule = scenario.rules.find(hit);
      const Expect expect = rule == scenario.rules.end() ? Expect::Fails : rule->second;
      EXPECT_TRUE(Meets(expect, outcome.result))
          << "a failure of " << hit << " gave " << VOKResultString(outcome.result);
      // A failure passed over may well have done its work.
      if (scenario.inputsPromised && FAILED(outcome.result) && !scenario.inputsMayChange.count(hit)) {
        EXPECT_TRUE(outcome.inputsIntact) << "the caller's inputs changed after a failure of " << hit;
      }
    }
  }
}

TEST_F(FaultInjection, EveryAllocationOfEveryScenarioFailsCleanly) {
  // The process-wide error record keeps its texts: made once here, not counted below.
  {
    VOKDYNMeshServices none(nullptr);
    int count = 0;
    int** table = nullptr;
    EXPECT_HR(E_FAIL, none.GetIPDEG(count, table));
    VOKHost::ClearErrors();
  }
  // The initialisations take the list by value: the caller's copy is not the library's.
  const VOKListValVOKBaseUnknown_var one = List({nullptr});
  vok_test::FailAllocation(0);
  { VOKListValVOKBaseUnknown_var copy = one; }
  const long listCopy = vok_test::AllocationsSinceArming();
  // Fatal errors are noted without allocating, so that live blocks compare; the checks of the work
  // arrays name them.
  struct Fatal {
    int count = 0;
    char message[64] = {};
  } fatal;
  ScopedFatalCapture restoreAtEnd;
  VOKHost::SetFatalErrorHandler([&fatal](const VOKHost::FatalError& e) {
    ++fatal.count;
    std::snprintf(fatal.message, sizeof fatal.message, "%s", e.message.c_str());
  });
  const std::set<std::string> fatalNames = {"AssertionFailed:pDepl", "AssertionFailed:pDeplImag",
                                            "AssertionFailed:pDeplReal"};
  std::set<std::string> fatalSeen;
  for (const Scenario& scenario : Scenarios()) {
    if (!scenario.allocations) continue;
    SCOPED_TRACE(scenario.name);
    int failures = 0;
    // A first run unarmed: what is made once per program is made now.
    for (long k = 0;; k = k == 0 ? (scenario.initialises ? listCopy : 0) + 1 : k + 1) {
      SCOPED_TRACE("allocation " + std::to_string(k));
      VOKHost::ClearErrors();
      const long blocks = vok_test::LiveBlocks();
      Outcome outcome, again;
      bool failed = false;
      fatal.count = 0;
      {
        World world;
        Calls run = scenario.build(world);
        vok_test::FailAllocation(k);
        try {
          outcome = run();
        } catch (...) {
          ADD_FAILURE() << "an exception left the run";
        }
        failed = vok_test::ArmedAllocationFailed();
        vok_test::FailAllocation(0);
        if (failed && FAILED(outcome.result)) again = run();
      }
      VOKHost::ClearErrors();  // a failure's record lives until cleared
      if (k > 0) {
        EXPECT_EQ(blocks, vok_test::LiveBlocks()) << "blocks left allocated";
      }
      if (!failed) {
        EXPECT_HR(S_OK, outcome.result) << "the run succeeds when no allocation fails";
        if (k > 0) break;
        continue;
      }
      ++failures;
      if (outcome.result == kNotMade) continue;
      const Expect expect = fatal.count > 0 ? Expect::Fails : scenario.onAllocation;
      EXPECT_TRUE(Meets(expect, outcome.result) && (outcome.result == S_OK || outcome.result == E_FAIL))
          << VOKResultString(outcome.result);
      EXPECT_LE(fatal.count, 1);
      if (fatal.count > 0) {
        EXPECT_EQ(fatalNames.count(fatal.message), 1u) << fatal.message;
        fatalSeen.insert(fatal.message);
      }
      if (FAILED(outcome.result)) {
        EXPECT_HR(S_OK, again.result) << "the objects answer the next call";
        if (scenario.inputsPromised) {
          EXPECT_TRUE(outcome.inputsIntact) << "the caller's inputs changed";
        }
      }
    }
    EXPECT_GT(failures, 0) << "no allocation to fail";
  }
  EXPECT_EQ(fatalNames, fatalSeen) << "each checked work array was failed and named";
}

}  // namespace
