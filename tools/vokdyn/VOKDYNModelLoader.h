#ifndef VOKDYNModelLoader_h
#define VOKDYNModelLoader_h
// Reading and checking model files ("format": "vokdyn-model/1").
//
// A model file is JSON that may carry // and /* */ comments outside strings.
// Every refusal is a ModelError whose text names the file, the JSON path and
// what was expected ("model.json: modal_base.modes[3].frequency: expected a
// number > 0, got -1"); malformed JSON names the line and column instead.
#include <stdexcept>
#include <string>

#include "VOKDYNModel.h"

namespace vokdyn {

/// A model refused by the loader or by the run's checks: a user error.
class ModelError : public std::runtime_error {
 public:
  explicit ModelError(const std::string& iMessage) : std::runtime_error(iMessage) {}
};

/// Parses and checks the text of a model file; iDisplayName is the file name
/// shown in messages. Modulations that a model omits are filled with an
/// implicit constant-1 modulation. Throws ModelError.
Model LoadModelText(const std::string& iText, const std::string& iDisplayName);

/// Reads the file and loads it as LoadModelText does. Throws ModelError
/// (also when the file cannot be read).
Model LoadModelFile(const std::string& iPath);

/// The known key nearest to iKey by edit distance, empty when none is close
/// enough to be a plausible misspelling.
std::string NearestKey(const std::string& iKey, const std::vector<std::string>& iKnown);

}  // namespace vokdyn

#endif
