#ifndef VOKDYNModelLoader_h
#define VOKDYNModelLoader_h
// Reading and checking model files ("format": "vokdyn-model/1").
//
// A model file is JSON that may carry // and /* */ comments outside strings.
// Every refusal is a ModelError whose text names the file, the JSON path and
// what was expected ("model.json: modal_base.modes[3].frequency: expected a
// number > 0, got -1"); malformed JSON names the line and column instead.
//
// A model may keep its mode shapes in a .npy array file beside it
// ("modal_base": {"shapes": "tower.npy", ...}); the path is relative to the
// directory of the model file (to the working directory for a model read
// from standard input) unless it is absolute. A file on disk is mapped, its
// header checked and no value read (MapNpyModeShapes); a run checks the
// values it reads.
#include <functional>
#include <stdexcept>
#include <string>

#include "VOKDYNJson.h"
#include "VOKDYNModel.h"

namespace vokdyn {

/// A model refused by the loader or by the run's checks: a user error.
using ModelError = InputError;

/// Reads a file that a model refers to, given its path already resolved
/// against the model's directory: returns the whole file, or throws
/// std::runtime_error whose message says why it cannot be read.
using ReferencedFileReader = std::function<std::string(const std::string& iPath)>;

/// The whole content of the file at iPath; throws std::runtime_error with
/// the system's reason ("No such file or directory") when it cannot be read.
std::string ReadWholeFile(const std::string& iPath);

/// Parses and checks the text of a model file; iDisplayName is the file name
/// shown in messages, and its directory is where referenced files are
/// looked for. Modulations that a model omits are filled with an implicit
/// constant-1 modulation. Throws ModelError.
Model LoadModelText(const std::string& iText, const std::string& iDisplayName);

/// As above, with the files the model refers to read by iReader (for models
/// held in memory together with their arrays): the shapes are then copied
/// from the bytes it returns, their values not read either.
Model LoadModelText(const std::string& iText, const std::string& iDisplayName,
                    const ReferencedFileReader& iReader);

/// Reads the file and loads it as LoadModelText does. Throws ModelError
/// (also when the file cannot be read).
Model LoadModelFile(const std::string& iPath);

}  // namespace vokdyn

#endif
