#ifndef VOKDYNImport_h
#define VOKDYNImport_h
// `vokdyn import calculix JOB`: a model file made from the results of a
// finite-element eigenvalue step (JOB.frd, JOB.dat, and JOB.inp's node sets
// when it is beside them), with its mode shapes in a .npy file beside it.
//
// What the written model holds and why:
// - the nodes of the .frd, in its order; the eigenvectors as shapes, their
//   rotation components 0 (solid elements have none);
// - each mode's frequency from the .frd (more digits than the .dat prints),
//   its generalised mass (1: the eigenvectors are normalised to unit modal
//   mass, which is checked against the .frd's value) and its generalised
//   stiffness m (2 pi f)^2; the .dat's participation factors, so that base
//   motion needs no nodal masses;
// - 2 % modal damping; a logarithmic sweep from 0.8 times the first
//   frequency to 1.2 times the last, with a step ratio of 1.005 (eight
//   points across the half-power band 2 zeta f of each mode at 2 %);
// - one unit force and one output, at the node and component given with
//   --load and --response, or else at the largest translation of the first
//   mode, marked in the file as placeholders to edit.
// Both files are written through temporaries renamed at the end; nothing is
// written when any input is refused.
#include <string>
#include <vector>

#include "VOKDYNFrdReader.h"
#include "VOKDYNInpSets.h"
#include "VOKDYNModel.h"

namespace vokdyn {

/// A node and a component (1..3), as given with --load or --response.
struct NodeComponent {
  bool given = false;
  int node = 0;
  int component = 0;
};

/// Parses "NODE:COMPONENT" (component 1..6 or UX UY UZ RX RY RZ); throws
/// ResultFileError with a message naming iOption.
NodeComponent ParseNodeComponent(const std::string& iText, const std::string& iOption);

struct ImportOptions {
  std::string job;     ///< JOB, or JOB.frd
  std::string model;   ///< the model file to write
  std::string shapes;  ///< the .npy file; empty: the model's path with .npy for .json
  NodeComponent load, output;
  std::string staticFrd;  ///< the .frd of a static step under the same unit load; empty: none
};

/// The job read and checked, and the model made from it.
struct ImportedJob {
  std::string frdPath, datPath, inpPath;  ///< inpPath empty when there is no .inp
  bool binaryFrd = false;
  Model model;                        ///< shapes filled in
  std::vector<FrdElement> elements;
  InpNodeSets sets;
  NodeComponent load, output;         ///< where the unit force and the output are
  bool placeholder = true;            ///< load and output chosen by the import
  std::vector<std::string> notes;     ///< what the user should know (mass check, included files)
};

/// Reads and checks JOB's files and builds the model. Throws
/// ResultFileError naming the file and line: a missing or unreadable file,
/// a malformed one, no displacement eigenvectors, a mode count or a
/// frequency that differ between the .frd and the .dat, a --load or
/// --response on an unknown node or on a rotation.
ImportedJob ReadCalculixJob(const ImportOptions& iOptions);

/// The text of the model file, its shapes in the file named iShapesRef (as
/// the model names it: relative to the model's directory or absolute).
std::string ImportedModelText(const ImportedJob& iJob, const std::string& iShapesRef);

/// Reads the job and writes the model and its .npy, both or neither.
/// Throws ResultFileError (input refused) or OutputError (writing failed).
ImportedJob ImportCalculix(const ImportOptions& iOptions);

/// The files of job iJob (JOB or JOB with one of the extensions): JOB.frd,
/// JOB.dat, JOB.inp.
std::vector<std::string> JobFiles(const std::string& iJob);

/// The .npy path written for iOptions.
std::string ShapesPathOf(const ImportOptions& iOptions);

}  // namespace vokdyn

#endif
