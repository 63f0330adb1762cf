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
// (modes, nodes, 6) or (modes, nodes * 6), with nothing after the data; a
// model's file is mapped (MapNpyModeShapes), not read. Everything else is
// refused with an NpyError that says what is wrong; the caller adds the
// file's name.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "VOKDYNShapes.h"

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
NpyHeader ParseNpyHeader(std::string_view iBytes);

/// Checks a parsed header against a model of iModes modes and iNodes nodes
/// whose file is iFileBytes long: the dtype, the order, the shape
/// ((modes, nodes, 6) or (modes, nodes * 6)) and the data length exactly.
/// Throws NpyError.
void CheckModeShapesHeader(const NpyHeader& iHeader, std::uint64_t iFileBytes, std::size_t iModes,
                           std::size_t iNodes);

/// The shapes of iModes modes of iNodes rows each, copied from the bytes of
/// a whole .npy file after CheckModeShapesHeader. The values are not read:
/// a run checks the rows it reads (ModeShapes::FirstNonFinite). Throws
/// NpyError.
ModeShapes DecodeModeShapes(std::string_view iBytes, std::size_t iModes, std::size_t iNodes);

/// iCount little-endian doubles at iData, in the host's order.
std::vector<double> LittleEndianDoubles(const char* iData, std::size_t iCount);

/// "element [1, 2, 3] is nan: expected a finite number", the element indexed
/// as the file does: [mode, node, component], or [mode, 6 node + component]
/// when iFlat.
std::string NonFiniteText(const ModeShapes::Element& iElement, bool iFlat);

/// The preamble and header of a .npy file (version 1.0, '<f8', C order,
/// shape (modes, nodes, 6)), padded so that the data starts on a multiple
/// of 64 bytes as numpy writes it.
std::string NpyShapesHeader(std::size_t iModes, std::size_t iNodes);

/// Appends iCount doubles as little-endian bytes.
void AppendLittleEndian(std::string& ioOut, const double* iValues, std::size_t iCount);

/// The bytes of a whole .npy file holding iShapes (NpyShapesHeader, then the
/// values).
std::string EncodeModeShapes(const ModeShapes& iShapes);

/// "(40, 25000, 6)": a shape as Python prints a tuple.
std::string NpyShapeText(const std::vector<std::uint64_t>& iShape);

}  // namespace vokdyn

#endif
