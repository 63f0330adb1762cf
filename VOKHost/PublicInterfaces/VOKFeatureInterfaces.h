#ifndef VOKFeatureInterfaces_h
#define VOKFeatureInterfaces_h
// Feature model and analysis model interfaces of the host.
#include "VOKString.h"

class VOKDocument;  // a document of the application; opaque to its callers

VOK_DEFINE_IID(IID_VOKISpecObject, 1);
VOK_DEFINE_IID(IID_VOKILinkableObject, 2);
VOK_DEFINE_IID(IID_VOKIAlias, 3);
VOK_DEFINE_IID(IID_VOKISpecAttrAccess, 4);
VOK_DEFINE_IID(IID_VOKISpecAttrKey, 5);
VOK_DEFINE_IID(IID_VOKIDomain, 6);
VOK_DEFINE_IID(IID_VOKISamAnalysisSet, 7);
VOK_DEFINE_IID(IID_VOKISamBasicComponent, 8);
VOK_DEFINE_IID(IID_VOKISamEnumManager, 9);
VOK_DEFINE_IID(IID_VOKISamAnalysisScan, 10);
VOK_DEFINE_IID(IID_VOKISamExplicit, 11);
VOK_DEFINE_IID(IID_VOKISamAnalysisManager, 12);
VOK_DEFINE_IID(IID_VOKISamAnalysisAssembly, 13);

/// A domain of the feature model (only passed through, null allowed).
class VOKIDomain : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIDomain)
};
typedef VOKVar<VOKIDomain> VOKIDomain_var;

/// A feature.
class VOKISpecObject : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISpecObject)
  /// The object through which the feature's document is reached (may be null).
  virtual VOKVar<VOKISpecObject> GetOwner() = 0;
  /// Non-zero when the feature is up to date; iDomain may be null.
  virtual int TestUpToDate(const VOKIDomain_var& iDomain) = 0;
};
typedef VOKVar<VOKISpecObject> VOKISpecObject_var;
typedef VOKListVal<VOKISpecObject_var> VOKListValVOKISpecObject_var;

/// An object that belongs to a document.
class VOKILinkableObject : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKILinkableObject)
  /// The owning document, null when none.
  virtual VOKDocument* GetOwningDocument() = 0;
};
typedef VOKVar<VOKILinkableObject> VOKILinkableObject_var;

/// A feature's name as shown to the user.
class VOKIAlias : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKIAlias)
  virtual VOKUnicodeString GetDisplayName() = 0;
};
typedef VOKVar<VOKIAlias> VOKIAlias_var;

/// The key of one attribute of a feature (reference-counted).
class VOKISpecAttrKey : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISpecAttrKey)
  virtual const char* GetAttributeName() = 0;
};

/// Named attributes of a feature.
class VOKISpecAttrAccess : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISpecAttrAccess)
  /// The key of attribute iName, holding one reference the caller releases,
  /// or null when the feature has no such attribute.
  virtual VOKISpecAttrKey* LookupAttributeKey(const char* iName) = 0;
  /// Value iIndex of a boolean attribute; non-zero means true (0 for a bad key).
  virtual unsigned char ReadBoolean(VOKISpecAttrKey* iKey, int iIndex = 0) = 0;
  /// A new list with the attribute's values, owned by the caller, or null
  /// when the attribute holds no list.
  virtual VOKRawColldouble* ReadDoubleList(VOKISpecAttrKey* iKey) = 0;
};
typedef VOKVar<VOKISpecAttrAccess> VOKISpecAttrAccess_var;

class VOKISamBasicComponent;
typedef VOKVar<VOKISamBasicComponent> VOKISamBasicComponent_var;

/// An analysis set (a feature of the analysis model with linked objects and
/// basic components).
class VOKISamAnalysisSet : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISamAnalysisSet)
  /// Appends to oList the linked objects that offer interface iIID.
  virtual long ListObjectsByInterface(VOKListValVOKISpecObject_var& oList, const IID& iIID,
                                      int iMode) = 0;
  /// The basic component named iName into oComponent (null when none).
  virtual long GetBasicComponent(const VOKUnicodeString& iName,
                                 VOKISamBasicComponent_var& oComponent) = 0;
  /// A new list of the linked sets, owned by the caller; each element answers
  /// VOKISamAnalysisScan.
  virtual long GetLinkedSets(VOKListValVOKBaseUnknown_var*& oList) = 0;
};
typedef VOKVar<VOKISamAnalysisSet> VOKISamAnalysisSet_var;

/// A basic component: a value and named sub-components.
class VOKISamBasicComponent : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISamBasicComponent)
  /// Writes the component's real value to *oValue; iUnit empty means the
  /// model's units. The three integers are reserved (0).
  virtual long GetValue(double* oValue, const VOKUnicodeString& iUnit, int iReserved1,
                        int iReserved2, int iReserved3) = 0;
  /// The sub-component named iName into oComponent (null when none).
  virtual long GetSubComponent(const VOKUnicodeString& iName, VOKBaseUnknown_var& oComponent) = 0;
};

/// An enumeration component.
class VOKISamEnumManager : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISamEnumManager)
  /// The current value as text and 1-based index.
  virtual long GetEnumValue(VOKUnicodeString& oText, int& oIndex) = 0;
};
typedef VOKVar<VOKISamEnumManager> VOKISamEnumManager_var;

/// Search of the objects of an analysis set by type.
class VOKISamAnalysisScan : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISamAnalysisScan)
  /// Appends to ioFound the objects of type iTypeName; iMode is the search mode.
  virtual long ScanByType(const char* iTypeName, VOKListValVOKBaseUnknown_var& ioFound,
                          int iMode) = 0;
};
typedef VOKVar<VOKISamAnalysisScan> VOKISamAnalysisScan_var;

/// An object of the analysis model that has a datum in the explicit model.
class VOKISamExplicit : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISamExplicit)
  /// The object's tag in the explicit model, -1 when none.
  virtual int GetExplicitTag(int iFlag) = 0;
};
typedef VOKVar<VOKISamExplicit> VOKISamExplicit_var;

/// The analysis manager of a document.
class VOKISamAnalysisManager : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISamAnalysisManager)
  /// The document's analysis model (null when none).
  virtual long GetAnalysisModel(VOKBaseUnknown_var& oModel) = 0;
};
typedef VOKVar<VOKISamAnalysisManager> VOKISamAnalysisManager_var;

/// An analysis model made of assembled analyses.
class VOKISamAnalysisAssembly : public virtual VOKBaseUnknown {
  VOK_INTERFACE(VOKISamAnalysisAssembly)
  /// The document of the assembled analysis number iNumber (null when none).
  virtual long GetAssembledDocument(int iNumber, VOKDocument*& oDocument) = 0;
};

/// Services on documents.
class VOKHOST_API VOKSamModelServices {
 public:
  /// The analysis manager of iDocument into oManager (null when none).
  static long GetManager(VOKDocument* iDocument, VOKISamAnalysisManager_var& oManager);
};

#endif
