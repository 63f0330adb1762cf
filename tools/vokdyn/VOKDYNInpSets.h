#ifndef VOKDYNInpSets_h
#define VOKDYNInpSets_h
// The node sets of a finite-element input deck (.inp), kept by the import as
// named groups of the model.
//
// A deck is a sequence of keyword lines ("*NSET, NSET=TIP", "*NODE,
// NSET=NALL"), their data lines and comment lines ("**"). Keywords and
// parameter names are case-insensitive, and so are set names, which the
// deck's program keeps in capitals; so does this reader. A *NSET data line
// lists node numbers or names of sets defined before it; with GENERATE it
// gives first, last and increment. A *NODE data line starts with the node
// number. Keywords are followed when they repeat a set (the nodes are added
// to it). *INCLUDE is not followed: sets defined in included files are not
// read (the import says so).
#include <string>
#include <utility>
#include <vector>

#include "VOKDYNFrdReader.h"

namespace vokdyn {

struct InpNodeSets {
  /// The sets in the order they were first defined; node numbers in the
  /// order first given, each once.
  std::vector<std::pair<std::string, std::vector<int>>> sets;
  bool hasInclude = false;  ///< the deck has *INCLUDE lines, which were not followed
};

/// Parses the node sets of a deck. Refuses (ResultFileError, naming the file
/// and line) a data line that does not parse, a set name that is not
/// defined before its use, and a GENERATE line whose range is not
/// increasing or whose increment is below 1.
InpNodeSets ParseInpNodeSets(const std::string& iText, const std::string& iDisplayName);

}  // namespace vokdyn

#endif
