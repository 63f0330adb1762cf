// Each host operation failed in turn: no crash or leak, the rule's result, the caller's inputs intact.
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "DYNReadCaracSet.h"
#include "VOKDYNBasicServices.h"
#include "VOKDYNDampingTools.h"
#include "VOKDYNExcitationTools.h"
#include "VOKDYNMeshServices.h"
#include "VOKHostAnalysisSets.h"
#include "VOKHostDamping.h"
#include "VOKHostDynamics.h"
#include "VOKHostExplicitModel.h"
#include "VOKHostFeature.h"
#include "VOKHostResponses.h"
#include "VOKTestModels.h"
#include "VOKTestSupport.h"

namespace {

using vok_test_models::Holder;
using vok_test_models::List;

// The code of every injected failure: no operation makes it itself.
constexpr long kInjected = VOKMakeResult(0x80040F01u);

// A run's result, and whether the caller's inputs are as they were.
struct Outcome {
  long result = S_OK;
  bool inputsIntact = true;
};

// The model of one scenario; everything in it is released when it goes.
struct World {
  Holder hold;
  std::vector<std::unique_ptr<VOKDocument>> documents;
  ~World() {
    hold.ReleaseAll();
    documents.clear();
  }
};

using Calls = std::function<Outcome()>;

// What a failure of one host operation must give.
enum class Expect {
  Fails,      ///< a negative result
  PassesOn,   ///< the operation's own code, unchanged
  Replaces,   ///< a negative result of the library's own, not the operation's
  Succeeds,   ///< the failure is passed over: the plain success
  Either,     ///< the operation's name covers calls of several kinds in the run
};

struct Scenario {
  std::string name;
  std::function<Calls(World&)> build;  ///< builds the model, returns the calls to run
  /// What a failure of each operation gives; one not named must fail.
  std::map<std::string, Expect> rules;
  bool inputsPromised = false;  ///< the caller's inputs stay as they were on failure
  /// ... except after a failure of one of these operations.
  std::set<std::string> inputsMayChange;
};

// ------------------------------------------------------------------ models

using vok_test_models::Unknown;

// The base of the rigid-body and enforced-displacement scenarios.
VOKHost::ModalBase* TwoNodeBase() {
  return VOKHost::ModalBase::Create(vok_test_models::TwoNodeBase());
}

// Three modes without nodes: the base of the damping scenarios.
VOKHost::ModalBase* ThreeModeBase() {
  VOKHost::ModalBaseDefinition def;
  def.name = "Normal Modes.1";
  def.modalMasses = {1, 1, 1};
  def.modalStiffnesses = {4, 9, 16};
  def.shapes.assign(3, std::vector<double>());
  return VOKHost::ModalBase::Create(def);
}

constexpr int kN = 12;

// A complex overload on a caller's array of (1, 1): its result, and whether the array is as it was.
void OnOnes(Outcome& out, const std::function<long(VOKMathComplex*&)>& iAdd) {
  std::vector<VOKMathComplex> values(kN, VOKMathComplex(1.0, 1.0));
  VOKMathComplex* p = values.data();
  out.result = iAdd(p);
  auto one = [](const VOKMathComplex& v) { return v.re == 1.0 && v.im == 1.0; };
  out.inputsIntact = p == values.data() && std::all_of(values.begin(), values.end(), one);
}

// Excitation tools initialised for results, released with the world.
VOKDYNExcitationTools* ForResult(World& w, VOKHost::ModalBase* iBase,
                                 const VOKListValVOKBaseUnknown_var& iExcitations, long& oResult) {
  VOKDYNExcitationTools* tools = w.hold(new VOKDYNExcitationTools);
  ExcitationType first = UndefinedExcitationType;
  oResult = tools->InitializeForResult(iExcitations, iBase, first);
  return tools;
}

// The rigid-body overloads on a two-direction restraint about an axis; caller's arrays start at 1.
Scenario Rigid(const std::string& iOverload) {
  Scenario s;
  s.name = "InitializeForResult + AddRigidExcit (" + iOverload + ")";
  // Arrays are written once all is summed, but a silent modulation is skipped and steps add one by one.
  s.inputsPromised = iOverload != "steps";
  s.inputsMayChange = {"QueryInterface"};
  s.rules = {{"VOKIDYNExcitation::GetExcitationType", Expect::PassesOn},
             {"VOKIDYNRestraintExcitation::GetRestraintValues", Expect::PassesOn},
             {"VOKIDYNBaseTools::GetRigidModeProvider", Expect::Replaces},
             {"VOKIDYNRigidModeProvider::ComputeRigidModes", Expect::PassesOn},
             {"VOKIDYNRigidModeProvider::ComputeNodeRigidModes", Expect::PassesOn},
             {"VOKIDYNGeneralizedDisplacement::GetStepValues", Expect::Replaces}};
  s.build = [iOverload](World& w) -> Calls {
    VOKHost::ModalBase* base = w.hold(TwoNodeBase());
    VOKHost::Modulation* ramp = w.hold(VOKHost::Modulation::Create("ramp", {{0.0, 0.0}, {10.0, 2.0}}));
    VOKHost::RestraintExcitation* motion = w.hold(VOKHost::RestraintExcitation::Create("supports"));
    motion->AddDirection(1, 3.0f, 0.0f, ramp);
    motion->AddDirection(6, 0.5f, 0.25f, ramp);
    const double o[3] = {0.5, 0, 0}, x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, z[3] = {0, 0, 1};
    motion->SetAxis(VOKMathAxis(o, x, y, z));
    VOKHost::GeneralizedDisplacement* gd = w.hold(VOKHost::GeneralizedDisplacement::Create("transient"));
    gd->AddStep({0.5, 0.0});
    gd->AddStep({1.0, -2.0});
    // Handles are made here: the queries they take are not the library's.
    const VOKListValVOKBaseUnknown_var list = List({Unknown(motion)});
    const VOKISpecObject_var gdHandle(Unknown(gd));
    return [=, &w]() {
      Outcome out;
      VOKDYNExcitationTools* tools = ForResult(w, base, list, out.result);
      if (FAILED(out.result)) return out;
      if (iOverload == "real") {
        std::vector<double> values(kN, 1.0);
        double coefs[2] = {1.0, 2.0};
        out.result = tools->AddRigidExcit(0.0, kN, values.data(), coefs);
        out.inputsIntact = std::all_of(values.begin(), values.end(), [](double v) { return v == 1.0; });
      } else if (iOverload == "complex") {
        OnOnes(out, [&](VOKMathComplex*& p) { return tools->AddRigidExcit(2.0, kN, p); });
      } else if (iOverload == "node") {
        VOKRawCollint components;
        for (int c : {0, 1, 5}) components.Append(c);
        VOKRawCollfloat frequencies;
        for (float f : {1.0f, 2.0f}) frequencies.Append(f);
        vok_test_models::CallerTable re(3, 2, 1.0), im(3, 2, 1.0);
        double** pr = re.rows.data();
        double** pi = im.rows.data();
        out.result = tools->AddRigidExcit(20, components, frequencies, pr, pi);
        out.inputsIntact = re.Untouched(1.0) && im.Untouched(1.0);
      } else {
        VOKRawCollint dofs;
        for (int p : {6, 7}) dofs.Append(p);
        VOKRawCollfloat steps;
        steps.Append(0.0f);
        steps.Append(0.1f);
        vok_test_models::CallerTable u(2, 2, 1.0);
        double** pu = u.rows.data();
        VOKISpecObject* g = gdHandle.Get();
        out.result = tools->AddRigidExcit(0, dofs, steps, g, pu);
        out.inputsIntact = u.Untouched(1.0);
      }
      return out;
    };
  };
  return s;
}

// Two enforcing load sets and one plain, initialised for results; then the filter or one overload.
Scenario Enforced(const std::string& iOverload) {
  Scenario s;
  s.name = "InitializeForResult + " +
           std::string(iOverload == "filter" ? "FilterForEnforcedDisp" : "AddEnforcedDispExcit (" + iOverload + ")");
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
  s.build = [iOverload](World& w) -> Calls {
    VOKHost::ModalBase* base = w.hold(TwoNodeBase());
    VOKHost::Modulation* unit = w.hold(VOKHost::Modulation::Constant("unit", 1.0));
    VOKHost::Modulation* ramp = w.hold(VOKHost::Modulation::Create("ramp", {{0.0, 0.0}, {10.0, 2.0}}));
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
    VOKHost::GeneralizedDisplacement* gd = w.hold(VOKHost::GeneralizedDisplacement::Create("transient"));
    gd->AddStep({1.0, 2.0});
    gd->AddStep({-1.0, 0.5});
    // Handles are made here: the queries they take are not the library's.
    const VOKListValVOKBaseUnknown_var list = List({Unknown(loads)});
    const VOKISpecObject_var gdHandle(Unknown(gd));
    VOKListValVOKISpecObject_var setList, modulationList;
    for (VOKHost::Component* c : std::vector<VOKHost::Component*>{set1, idle, set2})
      setList.Append(VOKISpecObject_var(Unknown(c)));
    for (VOKHost::Component* c : std::vector<VOKHost::Component*>{unit, unit, ramp})
      modulationList.Append(VOKISpecObject_var(Unknown(c)));
    return [=, &w]() {
      Outcome out;
      VOKDYNExcitationTools* tools = ForResult(w, base, list, out.result);
      if (FAILED(out.result)) return out;
      if (iOverload == "filter") {
        VOKListValVOKISpecObject_var l = setList, m = modulationList, statics;
        VOKRawCollfloat a, ph;
        for (int j = 0; j < 3; ++j) {
          a.Append(1.0f + static_cast<float>(j));
          ph.Append(0.5f * static_cast<float>(j));
        }
        out.result = tools->FilterForEnforcedDisp(l, m, a, ph, statics);
        out.inputsIntact = l.Size() == 3 && m.Size() == 3 && a.Size() == 3 && ph.Size() == 3;
        for (int j = 1; out.inputsIntact && j <= 3; ++j)
          out.inputsIntact = a[j] == 1.0f + static_cast<float>(j - 1) &&
                             ph[j] == 0.5f * static_cast<float>(j - 1) && l[j].Get() == setList[j].Get() &&
                             m[j].Get() == modulationList[j].Get();
      } else if (iOverload == "real") {
        std::vector<double> values(kN, 1.0);
        double coefs[2] = {2.0, -0.5};
        out.result = tools->AddEnforcedDispExcit(0.0, kN, values.data(), coefs);
      } else if (iOverload == "complex") {
        OnOnes(out, [&](VOKMathComplex*& p) { return tools->AddEnforcedDispExcit(5.0, kN, p); });
      } else if (iOverload == "frequencies") {
        VOKRawCollint dofs;
        for (int p : {2, 8}) dofs.Append(p);
        VOKRawCollfloat frequencies;
        for (float f : {1.0f, 5.0f}) frequencies.Append(f);
        vok_test_models::CallerTable re(2, 2, 1.0), im(2, 2, 1.0);
        double** pr = re.rows.data();
        double** pi = im.rows.data();
        out.result = tools->AddEnforcedDispExcit(0, dofs, frequencies, pr, pi);
      } else {
        VOKRawCollint dofs;
        dofs.Append(8);
        VOKRawCollfloat steps;
        steps.Append(0.0f);
        steps.Append(1.0f);
        vok_test_models::CallerTable u(1, 2, 1.0);
        double** pu = u.rows.data();
        VOKISpecObject* g = gdHandle.Get();
        out.result = tools->AddEnforcedDispExcit(0, dofs, steps, g, pu);
      }
      return out;
    };
  };
  return s;
}

// Initialize on [load, restraint], then GetExcitValues.
Scenario LoadsAndRestraint(DYNAnalysisDomain iDomain) {
  Scenario s;
  s.name = std::string("Initialize + GetExcitValues on [load, restraint], ") +
           (iDomain == DYNTimeDomain ? "time domain" : "frequency domain");
  // The DOF count is asked when building (replaced) and when evaluating (passed on).
  s.rules = {{"VOKIDYNExcitation::GetExcitationType", Expect::PassesOn},
             {"VOKIDYNLoadExcitation::GetLoadValues", Expect::PassesOn},
             {"VOKIDYNRestraintExcitation::GetRestraintValues", Expect::Replaces},
             {"VOKIDYNBaseTools::ComputeLoadVectors", Expect::Replaces},
             {"VOKIDYNBaseTools::CheckRotationAxis", Expect::PassesOn},
             {"VOKIDYNBaseTools::ComputeRigidVectorsOnAxis", Expect::Replaces},
             {"VOKIDYNBaseTools::GetNbDof", Expect::Either}};
  s.build = [iDomain](World& w) -> Calls {
    VOKHost::ModalBase* base = w.hold(vok_test_models::ExactBase(
        {{1.0, 2.0}, {-0.5, 0.25}}, {{{0.5, 1.0, 1.5, 2.0, 2.5, 3.0}}, {{-1.0, 0.0, 1.0, 0.0, -1.0, 0.5}}}));
    VOKHost::NodalLoad* load0 = w.hold(vok_test_models::UnitLoad(0));
    VOKHost::NodalLoad* load1 = w.hold(vok_test_models::UnitLoad(1));
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
    return [=, &w]() {
      Outcome out;
      VOKDYNExcitationTools* tools = w.hold(new VOKDYNExcitationTools);
      ExcitationType first = UndefinedExcitationType;
      out.result = tools->Initialize(list, base, first, iDomain);
      if (FAILED(out.result)) return out;
      VOKMathComplex* values = nullptr;
      out.result = tools->GetExcitValues(2.0, values);
      delete[] values;
      return out;
    };
  };
  return s;
}

// One damping query on fresh tools over a definition linked to a three-mode base.
Scenario Damping(const std::string& iDefinition, const std::string& iQuery) {
  Scenario s;
  s.name = "damping " + iDefinition + ": " + iQuery;
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
  s.build = [iDefinition, iQuery](World& w) -> Calls {
    VOKHost::ModalBase* base = w.hold(ThreeModeBase());
    VOKHost::DampingFeatureBuilder builder;
    if (iDefinition.rfind("modal global", 0) == 0) builder.Modal(5);
    if (iDefinition == "modal global, stale base") base->Access()->SetUpToDate(false);
    if (iDefinition == "modal per mode") builder.ModalPerMode({1, 2, 3});
    if (iDefinition == "Rayleigh global") builder.Rayleigh(0.5, 0.25);
    if (iDefinition.rfind("Rayleigh per mode", 0) == 0) builder.RayleighPerMode({1, 2, 3}, {3, 2, 1});
    if (iDefinition == "Rayleigh per mode, beta list without values") builder.NoList("ListOfBeta");
    builder.LinkBase(static_cast<VOKIDYNBaseTools*>(base));
    VOKHost::Feature* feature = w.hold(builder.Build());
    return [=]() {
      Outcome out;
      VOKDYNDampingTools tools(feature);
      if (iQuery == "CheckIfBaseUptoDate") {
        unsigned char upToDate = 0;
        out.result = tools.CheckIfBaseUptoDate(upToDate, 1);
      } else if (iQuery == "CheckDefinition") {
        VOKDYNDampingValidity validity;
        out.result = tools.CheckDefinition(validity);
      } else if (iQuery == "GetDampingDefinition") {
        unsigned char diagonal = 0;
        VOKDYNDampingType type;
        out.result = tools.GetDampingDefinition(diagonal, type);
      } else if (iQuery == "GetDampingValues") {
        VOKRawColldouble values;
        out.result = tools.GetDampingValues(values);
      } else {
        VOKListValVOKUnicodeString titles;
        out.result = tools.GetListOfOccTitleForDump(titles);
      }
      return out;
    };
  };
  return s;
}

// The numbering tables of a solver's DOF numbering set.
Scenario Mesh() {
  Scenario s;
  s.name = "mesh services: GetMeshSizes, GetIPDEG, GetIFLEC";
  s.build = [](World& w) -> Calls {
    VOKHost::DofNumberingSet* set = w.hold(VOKHost::DofNumberingSet::Create("Solution set"));
    set->SetNumbering({0, 1, 2, 0, 1, 2, 3, 4, 5, 0, 2}, {1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3});
    return [=]() {
      Outcome out;
      VOKDYNMeshServices services(static_cast<VOKISamAnalysisSet*>(set));
      int nodes = 0, perNode = 0, dofs = 0, unused = 0;
      out.result = services.GetMeshSizes(nodes, perNode, dofs);
      if (FAILED(out.result)) return out;
      int** ipdeg = nullptr;
      out.result = services.GetIPDEG(dofs, ipdeg);
      if (ipdeg) {
        if (dofs > 0) delete[] ipdeg[0];
        delete[] ipdeg;
      }
      if (FAILED(out.result)) return out;
      int** iflec = nullptr;
      out.result = services.GetIFLEC(nodes, unused, iflec);
      if (iflec) {
        for (int c = 0; c < 6; ++c) delete[] iflec[c];
        delete[] iflec;
      }
      return out;
    };
  };
  return s;
}

// A node of an assembled analysis looked up from the assembly's document.
Scenario NodeLookup() {
  Scenario s;
  s.name = "node services: GetNodeSequentialNumber through an assembly";
  // A node found keeps the success even when its numbers cannot be read.
  s.rules = {{"VOKAnalysisExplicitParent::GetUserNumber", Expect::Succeeds},
             {"VOKAnalysisExplicitChild::GetSequentialNumber", Expect::Succeeds}};
  s.build = [](World& w) -> Calls {
    w.documents.emplace_back(new VOKDocument("D"));
    w.documents.emplace_back(new VOKDocument("A"));
    VOKDocument* d = w.documents[0].get();
    VOKDocument* a = w.documents[1].get();
    VOKHost::ExplicitModel* md = d->AddExplicitModel();
    md->AddNode(7, 700, 200);
    md->AddNode(5, 500, 100);
    a->AddExplicitModel()->AddNode(7, 70, 100);
    VOKHost::AnalysisAssembly* assembly = w.hold(VOKHost::AnalysisAssembly::Create());
    assembly->SetAssembledDocument(2, a);
    d->AddAnalysisManager()->SetAnalysisModel(assembly);
    return [=]() {
      Outcome out;
      int sequential = 0, user = 0;
      out.result = VOKDYNBasicServices::GetNodeSequentialNumber(7, 2, d, sequential, user);
      return out;
    };
  };
  return s;
}

Scenario SampleRange() {
  Scenario s;
  s.name = "sample services: GetSampleDefinition";
  s.build = [](World& w) -> Calls {
    using VOKHost::Feature;
    Feature* solution = w.hold(Feature::Create("Dynamic solution", VOKHost::FacetSpecObject | VOKHost::FacetAnalysisSet));
    Feature* min = w.hold(Feature::Create("min", VOKHost::FacetBasicComponent));
    min->SetValue(0.5);
    Feature* max = w.hold(Feature::Create("max", VOKHost::FacetBasicComponent));
    max->SetValue(250.0);
    solution->SetBasicComponent("DYNSampleMinimum", min);
    solution->SetBasicComponent("DYNSampleMaximum", max);
    const VOKISpecObject_var handle(Unknown(solution));
    return [=]() {
      Outcome out;
      VOKISpecObject_var solutionHandle = handle;
      double lo = 0, hi = 0;
      out.result = VOKDYNBasicServices::GetSampleDefinition(solutionHandle, lo, hi);
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
    const VOKISpecObject_var handle(Unknown(set));
    return [=]() {
      Outcome out;
      VOKISpecObject_var setHandle = handle;
      VOKRawColldouble values;
      values.Append(9.0);
      char name[] = "THICKNESS";
      out.result = DYNReadCaracSet(setHandle, name, 1, values);
      out.inputsIntact = values.Size() == 1 && values[1] == 9.0;
      return out;
    };
  };
  return s;
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> all{LoadsAndRestraint(DYNDefaultDomain), LoadsAndRestraint(DYNTimeDomain)};
  for (const char* overload : {"real", "complex", "node", "steps"}) all.push_back(Rigid(overload));
  for (const char* overload : {"filter", "real", "complex", "frequencies", "steps"})
    all.push_back(Enforced(overload));
  for (const char* definition :
       {"modal global", "modal global, stale base", "modal per mode", "Rayleigh global", "Rayleigh per mode",
        "Rayleigh per mode, beta list without values"})
    for (const char* query : {"CheckIfBaseUptoDate", "CheckDefinition", "GetDampingDefinition",
                              "GetDampingValues", "GetListOfOccTitleForDump"})
      all.push_back(Damping(definition, query));
  all.push_back(Mesh());
  all.push_back(NodeLookup());
  all.push_back(SampleRange());
  all.push_back(Characteristic(false));
  all.push_back(Characteristic(true));
  return all;
}

class FaultInjection : public VOKTest {};

TEST_F(FaultInjection, EveryHostOperationOfEveryScenarioFailsCleanly) {
  ScopedNotificationRecorder quiet;  // warnings and errors go to dialogs
  long driven = 0;
  std::set<std::string> operations;
  for (const Scenario& scenario : Scenarios()) {
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
      operations.insert(hit);
      EXPECT_EQ(start, VOKHost::CurrentLiveCounts()) << "something left alive after a failure of " << hit;
      const auto rule = scenario.rules.find(hit);
      const Expect expect = rule == scenario.rules.end() ? Expect::Fails : rule->second;
      if (expect == Expect::Succeeds) {
        EXPECT_HR(S_OK, outcome.result) << "a failure of " << hit << " is passed over";
      } else if (expect == Expect::PassesOn) {
        EXPECT_HR(kInjected, outcome.result) << "a failure of " << hit << " is passed on unchanged";
      } else if (expect == Expect::Replaces) {
        EXPECT_TRUE(FAILED(outcome.result) && outcome.result != kInjected)
            << "a failure of " << hit << " gave " << VOKResultString(outcome.result);
      } else if (expect == Expect::Fails) {
        EXPECT_TRUE(FAILED(outcome.result)) << "a failure of " << hit << " went unnoticed (result "
                                            << VOKResultString(outcome.result) << ")";
      } else {
        EXPECT_TRUE(outcome.result == S_OK || FAILED(outcome.result))
            << "a failure of " << hit << " gave " << VOKResultString(outcome.result);
      }
      // A failure passed over may well have done its work.
      if (scenario.inputsPromised && FAILED(outcome.result) && !scenario.inputsMayChange.count(hit)) {
        EXPECT_TRUE(outcome.inputsIntact) << "the caller's inputs changed after a failure of " << hit;
      }
    }
    driven += count;
    std::cout << "[ faults   ] " << count << " host calls failed in turn: " << scenario.name << "\n";
  }
  std::cout << "[ faults   ] " << driven << " call sites driven to failure, " << operations.size()
            << " distinct host operations\n";
  RecordProperty("CallSitesDrivenToFailure", static_cast<int>(driven));
}

}  // namespace
