#ifndef VOKDYNShapes_h
#define VOKDYNShapes_h
// The mode shapes of a model: one read-only table of modes x nodes x 6
// doubles, mode-major then node-major (the C layout of a .npy array of shape
// (modes, nodes, 6)). It is held once: in memory for shapes given in the
// model file, imported or built in code, or as a read-only mapping of the
// .npy file. Copies of a ModeShapes, and the pointer Share() returns, are
// views of the same storage and keep it alive, so they may outlive the model.
//
// Values given in JSON or built in code are finite. Values of a mapped file
// are not read when it is mapped: a run checks the rows it reads when it
// first reads them (FirstNonFinite), so that a model of millions of nodes
// costs only the rows a run needs.
#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vokdyn {

using Vec6 = std::array<double, 6>;

class ModeShapes {
 public:
  /// No modes.
  ModeShapes() = default;
  /// Takes over iValues: iModes * iNodes * 6 values in the table's order,
  /// all finite. Throws std::invalid_argument when the count differs.
  ModeShapes(std::vector<double> iValues, std::size_t iModes, std::size_t iNodes);
  /// A view of iModes * iNodes * 6 values at iData, which keeps their
  /// storage alive; iChecked: every value is known to be finite.
  ModeShapes(std::shared_ptr<const double> iData, std::size_t iModes, std::size_t iNodes, bool iChecked);

  /// From one vector of rows per mode, each of the same length. Throws
  /// std::invalid_argument when they differ.
  static ModeShapes FromRows(const std::vector<std::vector<Vec6>>& iModes);

  std::size_t Modes() const { return _Modes; }
  std::size_t Nodes() const { return _Nodes; }
  /// The six values of node iNode (index in the model's order) in mode iMode.
  const double* Row(std::size_t iMode, std::size_t iNode) const { return _Data.get() + (iMode * _Nodes + iNode) * 6; }
  /// The 6 * Nodes() values of mode iMode.
  const double* Mode(std::size_t iMode) const { return Row(iMode, 0); }
  Vec6 RowValues(std::size_t iMode, std::size_t iNode) const;
  /// The rows of mode iMode, copied (for small models: text, tests).
  std::vector<Vec6> ModeRows(std::size_t iMode) const;
  /// The storage as one pointer to the first value; it keeps the storage
  /// alive (aliasing the owner of the values or of the mapping).
  const std::shared_ptr<const double>& Share() const { return _Data; }
  /// Every value is known to be finite (given in JSON, built in code, or
  /// already checked).
  bool Checked() const { return _Checked; }
  /// Shapes read from a .npy of shape (modes, nodes * 6): messages then
  /// index an element as [mode, 6 node + component], as the file does.
  bool FlatIndex() const { return _Flat; }
  void SetFlatIndex(bool iFlat) { _Flat = iFlat; }

  /// The first value that is not finite, in the order of the table, among
  /// the rows of the nodes iNodes (indices, any order) of every mode, or of
  /// every node when iNodes is null; false when there is none (always when
  /// Checked()).
  struct Element {
    std::size_t mode = 0, node = 0, component = 0;
    double value = 0.0;
  };
  bool FirstNonFinite(const std::vector<std::size_t>* iNodes, Element& oElement) const;

  /// Tells the kernel how a mapped table is about to be read: all of it
  /// front to back (true), or a few rows here and there. Nothing for a table
  /// in memory.
  void AdviseSequential(bool iSequential) const;

  /// For a run that reads the rows of the nodes iNodes (indices) only: a
  /// table of the same size that holds those rows, read from the file
  /// (pread) into memory that takes pages only where rows are; every other
  /// row reads as zeros. A mapped file's pages are mapped whole (the kernel
  /// maps large page-cache folios on a fault), so that a few rows of every
  /// mode would map most of the file. A table in memory is returned as it is.
  ModeShapes ReadRows(const std::vector<std::size_t>& iNodes) const;

  /// Rows [iFirst, iFirst + iCount) of mode iMode have been read: a mapped
  /// file's whole pages among them leave the process (the page cache keeps
  /// them), so a pass over every row, in place, holds a block at a time and
  /// not the file. Calls may run on several threads.
  void Passed(std::size_t iMode, std::size_t iFirst, std::size_t iCount) const;

  /// The same values, bit for bit, in the same layout.
  bool SameValues(const ModeShapes& iOther) const;

  struct Mapping;  // a mapped file, unmapped when the last view goes

 private:
  std::shared_ptr<const double> _Data;
  std::shared_ptr<const Mapping> _Mapping;
  std::size_t _Modes = 0, _Nodes = 0;
  bool _Checked = true;
  bool _Flat = false;

  friend ModeShapes MapNpyModeShapes(const std::string&, std::size_t, std::size_t);
};

/// Maps the .npy file at iPath read-only and returns its values as a view:
/// the header is parsed from the mapped bytes and the dtype, order, shape
/// ((modes, nodes, 6) or (modes, nodes * 6)) and length checked as
/// DecodeModeShapes does, with the same NpyError messages; the values are
/// not read. Throws std::runtime_error with the system's reason when the
/// file cannot be opened or mapped. On a big-endian host the values are
/// swapped into a table in memory instead.
ModeShapes MapNpyModeShapes(const std::string& iPath, std::size_t iModes, std::size_t iNodes);

}  // namespace vokdyn

#endif
