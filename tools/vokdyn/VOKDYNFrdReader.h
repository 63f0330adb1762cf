#ifndef VOKDYNFrdReader_h
#define VOKDYNFrdReader_h
// Reading the results file (.frd) of a finite-element eigenvalue step: the
// node coordinates, the elements and the displacement eigenvector of every
// mode with its frequency, generalised mass and stiffness.
//
// A .frd file is a sequence of blocks, each opened by a text line. The node
// block ("    2C") and the element block ("    3C") end with " -3" in their
// text forms; in the binary form (last field 2 or 3 of the opening line)
// their records follow the line as little-endian binary, without an end
// line: a node is an int32 number and three doubles, an element four int32
// (number, type, group, material) and its int32 node numbers. A result
// block opens with "  100C" (frequency in columns 13-24, node count in
// 25-36, step number in 59-63, analysis text in 64-73, form in 74-75), is
// preceded by "    1P" parameter lines (PMODE, PGM: generalised mass, PGK:
// generalised stiffness) and names its field ("-4  DISP") and components
// ("-5" lines, a component marked as derived, such as ALL, is not stored).
// Text records are fixed columns (" -1", the node number in 10 columns, 5
// in the short form, then numbers in 12 columns, which may touch); binary
// records are an int32 node number and one float per stored component.
// The file ends with " 9999".
//
// Only the displacement blocks of the modal analysis are read; every other
// block is skipped. A file without any is refused.
#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vokdyn {

/// A result file refused: the message names the file, the line (and for
/// binary records the byte offset) and what was expected.
class ResultFileError : public std::runtime_error {
 public:
  explicit ResultFileError(const std::string& iMessage) : std::runtime_error(iMessage) {}
};

/// An element as the .frd gives it, its nodes in the element's own order
/// (the node order of the input deck; see FrdElementNodeOrder).
struct FrdElement {
  int id = 0;
  int type = 0;             ///< 1 he8, 2 pe6, 3 te4, 4 he20, 5 pe15, 6 te10, 7 tr3, 8 tr6, 9 qu4, 10 qu8, 11 be2, 12 be3
  std::vector<int> nodes;   ///< node numbers, in the input deck's order
};

struct FrdMode {
  int number = 0;                 ///< mode number as written (1-based)
  double frequency = 0.0;         ///< cycles per unit time
  int frequencyDigits = 0;        ///< significant digits the file gives it with
  bool hasGeneralizedMass = false;
  double generalizedMass = 0.0;   ///< PGM
  bool hasGeneralizedStiffness = false;
  double generalizedStiffness = 0.0;  ///< PGK
  std::vector<std::array<double, 3>> displacement;  ///< one row per node, in FrdResults::nodeIds order
  int line = 0;                   ///< the line of the block's opening
};

struct FrdResults {
  bool binary = false;  ///< any block was in binary form
  std::vector<int> nodeIds;                       ///< in file order, unique
  std::vector<std::array<double, 3>> coordinates;  ///< aligned with nodeIds
  std::vector<FrdElement> elements;
  std::vector<FrdMode> modes;                     ///< in file order
  bool hasStatic = false;  ///< a DISP block of a static analysis (blank analysis text) was read
  std::vector<std::array<double, 3>> staticDisplacement;  ///< its last one, aligned with nodeIds
};

/// Number of nodes of an element of this .frd type, 0 for an unknown type.
/// The words of a line of a job's text files, separated by blanks, tabs
/// and carriage returns.
std::vector<std::string_view> Words(std::string_view iLine);

int FrdNodesPerElement(int iType);

/// The short name of an element type ("he20"), empty for an unknown type.
const char* FrdTypeName(int iType);

/// The type of a short name, 0 when unknown.
int FrdTypeOfName(const std::string& iName);

/// Parses the whole of a .frd file. iDisplayName names it in messages.
/// Refuses (ResultFileError) a truncated file, a block that does not parse,
/// duplicate node or element numbers, an element or result naming an
/// unknown node, and a file without displacement eigenvectors. A node that a
/// result block leaves out has zero displacement in that mode.
/// With iStatic, the file must hold the displacement of a static step
/// instead of eigenvectors.
FrdResults ParseFrd(const std::string& iBytes, const std::string& iDisplayName, bool iStatic = false);

}  // namespace vokdyn

#endif
