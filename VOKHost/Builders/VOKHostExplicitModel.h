#ifndef VOKHostExplicitModel_h
#define VOKHostExplicitModel_h
// The stand-in's documents, their analysis managers and assemblies, and the
// analysis explicit model of a document: numbered nodes, sets with
// characteristic collectors, and the rules data of physical types.
//
// Ownership:
// - a VOKDocument is a plain object owned by whoever builds it; it owns its
//   explicit model and holds one reference to its analysis manager;
// - an analysis manager holds one reference to its analysis model;
// - an assembly refers to the documents it assembles without owning them
//   (they must outlive it);
// - the explicit model owns its data, its rules data and one reference to
//   each collector of its sets.
// Every host operation below that can fail is a fault point (VOKHostTesting.h).
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "VOKAnalysisExplicit.h"
#include "VOKHostComponent.h"

namespace VOKHost {

class ExplicitModel;
class CharacCollector;

/// What a characteristic collector holds and how its operations answer.
struct CharacDefinition {
  int physicalType = 0;
  VOKSamCharacVersion version;
  std::string name = "NONE";
  std::vector<float> values;
  /// The count GetValues reports (any value); unset: the number of values.
  std::optional<int> count;
  /// GetValues hands out a null block table.
  bool noBlocks = false;
  /// Results of the collector's operations (their outputs are written all
  /// the same), so that callers can be shown any code, including positive ones.
  long setStreamableResult = S_OK;
  long getValuesResult = S_OK;
  long getDefinitionResult = S_OK;
};

/// A characteristic collector: one block of 32-bit floats.
class VOKHOST_API CharacCollector : public VOKAnalysisCharacCollector {
 public:
  /// A new collector with one reference owned by the caller.
  static CharacCollector* Create(const CharacDefinition& iDefinition);

  // --- observation
  bool IsStreamable() const { return _Streamable; }
  /// Number of Release calls received (whatever the count then was).
  int ReleaseCalls() const { return _ReleaseCalls; }
  const CharacDefinition& Definition() const { return _Definition; }

  unsigned long Release() override;
  long SetStreamable(bool iStreamable) override;
  long GetValues(int& oCount, int& oSecondCount, void**& oBlocks) override;
  long GetDefinition(int& oPhysicalType, VOKString& oName, VOKSamCharacVersion& oVersion,
                     VOKString& oText, int& oNumber1, int& oNumber2) override;

 protected:
  explicit CharacCollector(const CharacDefinition& iDefinition);
  ~CharacCollector() override;

 private:
  CharacDefinition _Definition;
  bool _Streamable = true;
  int _ReleaseCalls = 0;
  void* _Blocks[1];
};

/// True when two versions agree in every field.
VOKHOST_API bool SameVersion(const VOKSamCharacVersion& iA, const VOKSamCharacVersion& iB);

/// The physical types a model knows.
class VOKHOST_API RulesData : public VOKAnalysisExplicitRulesData {
 public:
  struct PhysicalType {
    int number = 0;
    VOKSamMathType mathType = VOKSamMathTypeScalar;
    VOKSamValue valueType = VOKSamValueReal;
    int info1 = 0;
    int info2 = 0;
    /// Result of GetPhysicalTypeMathematicalInfo for this type (outputs written all the same).
    long mathInfoResult = S_OK;
  };
  RulesData() = default;
  ~RulesData() override = default;
  void AddPhysicalType(const std::string& iName, const PhysicalType& iType);

  /// S_FALSE (a non-zero success) for a name it does not know, E_INVALIDARG for null.
  long GetPhysicalTypeNumber(const char* iName, int& oNumber) override;
  /// E_INVALIDARG for a number it does not know.
  long GetPhysicalTypeMathematicalInfo(int iPhysicalType, VOKSamMathType& oMathType,
                                       VOKSamValue& oValueType, int& oInfo1, int& oInfo2) override;

 private:
  std::map<std::string, PhysicalType> _Types;
};

/// The explicit model of one document.
class VOKHOST_API ExplicitModel : public VOKAnalysisExplicitModel {
 public:
  ExplicitModel();
  ~ExplicitModel() override;
  ExplicitModel(const ExplicitModel&) = delete;
  ExplicitModel& operator=(const ExplicitModel&) = delete;

  /// Adds a node; iIdentity says which node it is across models (the same
  /// node assembled in several documents has one identity). Its sequential
  /// number is its position among the model's nodes, from 1; it is returned.
  int AddNode(int iMeshTag, int iUserNumber, int iIdentity);
  /// The result LinkWithMeshTag and LinkWithPointer give when they link to
  /// the node of mesh tag iMeshTag (default S_OK).
  void SetNodeLinkResult(int iMeshTag, long iResult);
  /// Adds a set of explicit tag iTag; its sequential number is its position
  /// among the model's sets, from 1.
  void AddSet(int iTag, int iUserNumber);
  /// Gives the set of tag iTag a collector owned by the model; returns it for
  /// observation (it lives as long as the model).
  CharacCollector* AddSetCollector(int iTag, const CharacDefinition& iDefinition);
  /// The rules data (owned by the model), null after RemoveRulesData.
  RulesData* Rules() { return _Rules.get(); }
  void RemoveRulesData() { _Rules.reset(); }

  VOKAnalysisExplicitRulesData* GetRulesData() override;

  // Lookups used by the explicit-model data classes (not host operations).
  VOKSamModelDataRoot* FindNodeByMeshTag(int iMeshTag);
  VOKSamModelDataRoot* FindNodeByIdentity(int iIdentity);
  VOKSamModelDataRoot* FindSetByTag(int iTag);

 private:
  std::vector<std::unique_ptr<VOKSamModelDataRoot>> _Nodes;
  std::vector<std::unique_ptr<VOKSamModelDataRoot>> _Sets;
  std::unique_ptr<RulesData> _Rules;
};

/// The analysis manager of a document.
class VOKHOST_API AnalysisManager : public Component, public VOKISamAnalysisManager {
 public:
  /// A new manager with one reference owned by the caller.
  static AnalysisManager* Create();
  /// The analysis model handed out (the manager holds one reference); null for none.
  void SetAnalysisModel(VOKBaseUnknown* iModel) { _Model = iModel; }
  long GetAnalysisModel(VOKBaseUnknown_var& oModel) override;

 protected:
  AnalysisManager() = default;
  ~AnalysisManager() override = default;
  void* Answer(const IID& iIID) override;

 private:
  VOKBaseUnknown_var _Model;
};

/// An analysis model made of assembled analyses, each in its own document.
class VOKHOST_API AnalysisAssembly : public Component, public VOKISamAnalysisAssembly {
 public:
  /// A new assembly with one reference owned by the caller.
  static AnalysisAssembly* Create();
  /// Assembled analysis number iNumber lives in iDocument (not owned).
  void SetAssembledDocument(int iNumber, VOKDocument* iDocument) { _Documents[iNumber] = iDocument; }
  /// E_INVALIDARG and null for a number it does not assemble.
  long GetAssembledDocument(int iNumber, VOKDocument*& oDocument) override;

 protected:
  AnalysisAssembly() = default;
  ~AnalysisAssembly() override = default;
  void* Answer(const IID& iIID) override;

 private:
  std::map<int, VOKDocument*> _Documents;
};

}  // namespace VOKHost

/// A document of the application.
class VOKHOST_API VOKDocument {
 public:
  explicit VOKDocument(const std::string& iName = "Document");
  ~VOKDocument();
  VOKDocument(const VOKDocument&) = delete;
  VOKDocument& operator=(const VOKDocument&) = delete;

  const std::string& Name() const { return _Name; }
  /// Gives the document an explicit model (replacing any) and returns it.
  VOKHost::ExplicitModel* AddExplicitModel();
  VOKHost::ExplicitModel* Model() { return _Model.get(); }
  /// Gives the document an analysis manager (replacing any) and returns it;
  /// the document holds the one reference.
  VOKHost::AnalysisManager* AddAnalysisManager();
  VOKHost::AnalysisManager* Manager() { return _Manager; }

 private:
  std::string _Name;
  std::unique_ptr<VOKHost::ExplicitModel> _Model;
  VOKHost::AnalysisManager* _Manager = nullptr;
};

/// A datum of the explicit model: a node or a set.
struct VOKSamModelDataRoot {
  enum Kind { Node, Set };
  Kind kind = Node;
  VOKHost::ExplicitModel* model = nullptr;
  int tag = -1;       ///< sets: explicit tag
  int meshTag = -1;   ///< nodes
  int identity = -1;  ///< nodes: the same node in other models has the same identity
  int userNumber = 0;
  int sequentialNumber = 0;
  long linkResult = S_OK;
  /// Sets: collectors, one reference each held by the model.
  std::vector<VOKHost::CharacCollector*> collectors;
};

#endif
