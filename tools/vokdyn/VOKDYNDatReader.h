#ifndef VOKDYNDatReader_h
#define VOKDYNDatReader_h
// Reading the printed results (.dat) of a finite-element eigenvalue step:
// the eigenvalue table, and the participation factors and effective modal
// masses when the step printed them.
//
// Each table opens with its spaced-out title ("E I G E N V A L U E   O U T P U T",
// "P A R T I C I P A T I O N   F A C T O R S", "E F F E C T I V E   M O D A L
// M A S S"), then column headings, then one row per mode: the mode number and
// numbers separated by blanks (eigenvalue, circular frequency, frequency in
// cycles per unit time, imaginary part; or the six components x, y, z and
// the rotations about x, y, z). A row of another form, or a blank line after
// the rows, ends the table. Everything else in the file is passed over.
#include <array>
#include <string>
#include <vector>

#include "VOKDYNFrdReader.h"

namespace vokdyn {

struct DatModes {
  int line = 0;                        ///< the eigenvalue table's title line
  std::vector<int> numbers;            ///< mode numbers, 1..n in order
  std::vector<double> eigenvalues;     ///< omega^2
  std::vector<double> frequencies;     ///< cycles per unit time
  bool hasParticipation = false;
  std::vector<std::array<double, 6>> participation;  ///< per mode
  bool hasEffectiveMass = false;
  std::vector<std::array<double, 6>> effectiveMass;  ///< per mode
};

/// Parses the tables of a .dat file. Refuses (ResultFileError, naming the
/// file and line) a file without an eigenvalue table, more than one
/// eigenvalue table (several eigenvalue steps), a row that does not parse,
/// mode numbers out of order, and a participation or mass table whose modes
/// are not those of the eigenvalue table.
DatModes ParseDat(const std::string& iText, const std::string& iDisplayName);

}  // namespace vokdyn

#endif
