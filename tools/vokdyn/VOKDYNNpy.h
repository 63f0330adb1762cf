#ifndef VOKDYNNpy_h
#define VOKDYNNpy_h
// Mode shapes held in a .npy array file, the binary array format that
// numerical Python writes with numpy.save.
//
// A file holds a 10- or 12-byte preamble (magic "\x93NUMPY", format version
// 1.0 or 2.0, header length as a little-endian 2- or 4-byte integer), a
// header that is a Python dictionary literal with exactly the keys 'descr',
// 'fortran_order' and 'shape', then the data. The mode shapes of a model are
// read from '<f8' (little-endian 64-bit floats) in C order, of shape
// (modes, nodes, 6) or (modes, nodes * 6), with nothing after the data.
// Everything else is refused with an NpyError that says what is wrong; the
// caller adds the file's name.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "VOKDYNModel.h"

namespace vokdyn {

/// A .npy file refused: the message says what is wrong, without the file.
class NpyError : public std::runtime_error {
 public:
  explicit NpyError(const std::string& iMessage) : std::runtime_error(iMessage) {}
};

/// The preamble and header of a .npy file, as written in it.
struct NpyHeader {
  int major = 0;
  int minor = 0;
  std::string descr;              ///< the dtype, e.g. "<f8"
  bool fortranOrder = false;
  std::vector<std::uint64_t> shape;
  std::uint64_t dataOffset = 0;   ///< bytes before the data: preamble and header
};

/// Parses the preamble and header dictionary at the start of iBytes (the
/// whole file, or at least its header). Checks the form only: magic,
/// version, header length within iBytes, dictionary syntax and keys, value
/// types. Throws NpyError.
NpyHeader ParseNpyHeader(const std::string& iBytes);

/// Fills the `shape` of each of ioModes (iNodes rows each) from the bytes of
/// a whole .npy file. Checks the dtype, order, shape against (modes, nodes),
/// the file length exactly, and that every value is finite. Throws NpyError;
/// ioModes' shapes are then left as they were.
void DecodeModeShapes(const std::string& iBytes, std::size_t iNodes, std::vector<Mode>& ioModes);

/// The bytes of a .npy file (version 1.0, '<f8', C order, shape
/// (modes, nodes, 6)) holding the shapes of iModes, each of iNodes rows.
/// Throws std::invalid_argument when a mode's shape has another row count.
std::string EncodeModeShapes(const std::vector<Mode>& iModes, std::size_t iNodes);

/// "(40, 25000, 6)": a shape as Python prints a tuple.
std::string NpyShapeText(const std::vector<std::uint64_t>& iShape);

}  // namespace vokdyn

#endif
