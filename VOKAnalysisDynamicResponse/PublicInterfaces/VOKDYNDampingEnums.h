#ifndef VOKDYNDampingEnums_h
#define VOKDYNDampingEnums_h
// Enumerations of the damping tools.

/// Result of VOKDYNDampingTools::CheckDefinition.
enum VOKDYNDampingValidity {
  VOKDYNDampingValid = 0,            ///< the definition fits the base
  VOKDYNDampingBaseCheckFailed = 1,  ///< per-mode definition on a base that failed its state check
  VOKDYNDampingInvalid = 2           ///< no modes, or a per-mode list of the wrong length
};

/// Type of a damping definition.
enum VOKDYNDampingType {
  VOKDYNDampingTypeUnknown = 0,
  VOKDYNDampingTypeModal = 1,
  VOKDYNDampingTypeRayleigh = 2
};

/// Error messages of the damping tools (catalogue "VOKDYNDampingDlgNls").
enum VOKDYNDampingErrorMessage {
  VOKDYNDampingErrNotDefined = 1,
  VOKDYNDampingErrIncoherenceWithBase = 2,
  VOKDYNDampingErrInvalidIntervalPercentage = 3,
  VOKDYNDampingErrInternalError = 4,
  VOKDYNDampingErrNotYetAvailable = 5
};

/// Warning messages of the damping tools.
enum VOKDYNDampingWarningMessage {
  VOKDYNDampingWarnDefaultDamping = 1,  ///< shows nothing
  VOKDYNDampingWarnBaseNotUpToDate = 2, ///< one parameter: the base's alias
  VOKDYNDampingWarnFreqValuesChanged = 3
};

#endif
