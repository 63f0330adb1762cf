#ifndef VOKAnalysisExplicit_h
#define VOKAnalysisExplicit_h
// The analysis explicit model (numbered nodes and sets with characteristics),
// characteristic collectors and the solver's stored data.
#include "VOKFeatureInterfaces.h"

VOK_DEFINE_IID(IID_VOKICharacCollector, 14);
VOK_DEFINE_IID(IID_VOKITarvoMultipleDofVector, 15);

struct VOKSamModelDataRoot;  // a datum of the explicit model; opaque
class VOKAnalysisExplicitRulesData;

enum VOKSamMathType { VOKSamMathTypeUnknown = 0, VOKSamMathTypeScalar = 1, VOKSamMathTypeVector = 2,
                      VOKSamMathTypeTensor = 3 };
enum VOKSamValue { VOKSamValueUnknown = 0, VOKSamValueReal = 1, VOKSamValueComplex = 2 };
enum VOKSamPhysicalType { VOKSamPhysicalTypeNone = -1 };

/// The explicit model of a document. Owned by the document.
class VOKHOST_API VOKAnalysisExplicitModel {
 public:
  /// The explicit model of iDocument, null when none (or for a null document).
  static VOKAnalysisExplicitModel* GetDocumentModel(VOKDocument* iDocument);
  /// The model's rules data, owned by the model (null when none).
  virtual VOKAnalysisExplicitRulesData* GetRulesData() = 0;

 protected:
  virtual ~VOKAnalysisExplicitModel();
};

/// What the model knows of physical types.
class VOKHOST_API VOKAnalysisExplicitRulesData {
 public:
  /// The number of the physical type named iName; non-zero result when unknown.
  virtual long GetPhysicalTypeNumber(const char* iName, int& oNumber) = 0;
  /// The mathematical type, value type and two integers of a physical type.
  virtual long GetPhysicalTypeMathematicalInfo(int iPhysicalType, VOKSamMathType& oMathType,
                                               VOKSamValue& oValueType, int& oInfo1,
                                               int& oInfo2) = 0;

 protected:
  virtual ~VOKAnalysisExplicitRulesData();
};

/// The version of a characteristic: value type, mathematical type, selector
/// and two further fields.
class VOKHOST_API VOKSamCharacVersion {
 public:
  VOKSamCharacVersion() = default;
  void SetValueType(VOKSamValue iValue) { _ValueType = iValue; }
  void SetMathType(VOKSamMathType iMath) { _MathType = iMath; }
  void SetSelector(int iSelector) { _Selector = iSelector; }
  void SetFields(int iField4, int iField5) {
    _Field4 = iField4;
    _Field5 = iField5;
  }
  VOKSamValue GetValueType() const { return _ValueType; }
  VOKSamMathType GetMathType() const { return _MathType; }
  int GetSelector() const { return _Selector; }
  int GetField4() const { return _Field4; }
  int GetField5() const { return _Field5; }
  /// The selector's value when none was set.
  static constexpr int DefaultSelector = 0;

 private:
  VOKSamValue _ValueType = VOKSamValueUnknown;
  VOKSamMathType _MathType = VOKSamMathTypeUnknown;
  int _Selector = DefaultSelector;
  int _Field4 = 0;
  int _Field5 = 0;
};

/// Base of the collectors; reference-counted on its own.
class VOKHOST_API VOKAnalysisCollectorRoot {
 public:
  VOKAnalysisCollectorRoot();
  virtual unsigned long AddRef();
  /// Deletes the collector when the count reaches 0.
  virtual unsigned long Release();
  /// Number of collectors alive (diagnostics).
  static int LiveCount();

 protected:
  virtual ~VOKAnalysisCollectorRoot();

 private:
  long _RefCount;
};

/// A characteristic collector: blocks of values of one characteristic.
class VOKHOST_API VOKAnalysisCharacCollector : public VOKAnalysisCollectorRoot {
 public:
  virtual long SetStreamable(bool iStreamable) = 0;
  /// oCount values in the first block of oBlocks (an array of 32-bit floats);
  /// oBlocks belongs to the collector.
  virtual long GetValues(int& oCount, int& oSecondCount, void**& oBlocks) = 0;
  virtual long GetDefinition(int& oPhysicalType, VOKString& oName, VOKSamCharacVersion& oVersion,
                             VOKString& oText, int& oNumber1, int& oNumber2) = 0;

 protected:
  // Out of line so that the class's type information lives in the platform.
  ~VOKAnalysisCharacCollector() override;
};

/// A datum of the explicit model, linked by tag or pointer.
class VOKHOST_API VOKAnalysisExplicitChild {
 public:
  VOKAnalysisExplicitChild();
  virtual ~VOKAnalysisExplicitChild();
  VOKAnalysisExplicitChild(const VOKAnalysisExplicitChild&) = default;
  VOKAnalysisExplicitChild& operator=(const VOKAnalysisExplicitChild&) = default;
  /// Links to the datum with tag iTag in iModel (the empty datum when none).
  long LinkWithTag(int iTag, VOKAnalysisExplicitModel* iModel);
  VOKSamModelDataRoot* GetPointer() const;
  long GetSequentialNumber(int& oNumber) const;
  /// Equal data: same datum (two empty data are equal).
  int operator==(const VOKAnalysisExplicitChild& iOther) const;
  int operator!=(const VOKAnalysisExplicitChild& iOther) const { return !(*this == iOther); }

 protected:
  VOKSamModelDataRoot* _Datum;
  VOKAnalysisExplicitModel* _Model;
};

class VOKHOST_API VOKAnalysisExplicitParent : public VOKAnalysisExplicitChild {
 public:
  // Out of line so that the class's type information lives in the platform.
  ~VOKAnalysisExplicitParent() override;
  long GetUserNumber(int& oNumber) const;
  /// The model's collector of a characteristic of this datum, or null (success).
  long FindCharacCollector(int iPhysicalType, const VOKSamCharacVersion& iVersion,
                           const char* iName, int iPosition,
                           VOKAnalysisCharacCollector*& oCollector, int iFlag, void* iFilter,
                           VOKSamPhysicalType iSupportType, int iSupportPosition);
};

class VOKHOST_API VOKAnalysisExplicitNode : public VOKAnalysisExplicitParent {
 public:
  ~VOKAnalysisExplicitNode() override;
  /// Links to the node with mesh tag iMeshTag; a negative result or the empty
  /// datum when there is none.
  long LinkWithMeshTag(int iMeshTag, VOKAnalysisExplicitModel* iModel);
  /// Links to the node of iModel that is the same node as iPointer's.
  long LinkWithPointer(VOKSamModelDataRoot* iPointer, VOKAnalysisExplicitModel* iModel);
};

class VOKHOST_API VOKAnalysisExplicitSet : public VOKAnalysisExplicitParent {
 public:
  ~VOKAnalysisExplicitSet() override;
};

/// The empty datum.
extern VOKHOST_API const VOKAnalysisExplicitChild NULL_exp;

/// Gives a collector of a characteristic of a set.
class VOKICharacCollector : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKICharacCollector)
  /// A collector the caller releases (VOKAnalysisCollectorRoot::Release).
  virtual long ObtainCharacCollector(int iPhysicalType, const VOKSamCharacVersion& iVersion,
                                     const char* iName, int iPosition,
                                     VOKAnalysisCharacCollector*& oCollector, int iFlag,
                                     VOKSamPhysicalType iSupportType) = 0;
};
typedef VOKVar<VOKICharacCollector> VOKICharacCollector_var;

/// The solver's numbering of its degrees of freedom.
class VOKITarvoMultipleDofVector : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKITarvoMultipleDofVector)
  /// Appends, per solver degree of freedom, its component (0..5) and its node.
  virtual long GetDofComponentsAndNodes(VOKRawCollint& oComponents, VOKRawCollint& oNodes) = 0;
};

/// The solver's stored records: named arrays of doubles attached to objects.
class VOKHOST_API VOKTarvoAccessDataServices {
 public:
  /// (iObject, iRecord, int* oSize): the number of values of the record, 0
  /// when the object has no such record.
  static long ReadDescSizes(VOKBaseUnknown* iObject, const char* iRecord, ...);
  /// (iObject, iRecord, double* oBuffer): copies the whole record into oBuffer.
  static long ReadDescData(VOKBaseUnknown* iObject, const char* iRecord, ...);
};

#endif
