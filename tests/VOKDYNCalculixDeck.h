#ifndef VOKDYNCalculixDeck_h
#define VOKDYNCalculixDeck_h
// Solver decks of a steel cantilever (mm, t, s) of nx x ny x nz unit cubes along z, clamped at
// z = 0, with an eigenvalue step; its nodes, elements and sets are what the import must find.
#include <array>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace vokdyn_test {

struct CantileverDeck {
  std::vector<std::pair<int, std::array<double, 3>>> nodes;  ///< in number order
  std::vector<std::vector<int>> elements;                    ///< node numbers, in the deck's order
  std::vector<int> fixed, tip;                               ///< nodes at z = 0, at the free end
  int modes = 0;
  bool quadratic = false;
  bool binary = false;  ///< results as binary (*NODE OUTPUT) rather than text (*NODE FILE)

  /// Eight-node bricks.
  static CantileverDeck Hexahedra(int iNx, int iNy, int iNz, int iModes) { return Make(iNx, iNy, iNz, iModes, false); }
  /// Twenty-node bricks with reduced integration.
  static CantileverDeck Quadratic(int iNx, int iNy, int iNz, int iModes) { return Make(iNx, iNy, iNz, iModes, true); }

  CantileverDeck Binary() const {
    CantileverDeck copy = *this;
    copy.binary = true;
    return copy;
  }

  /// The deck; the eigenvectors are also printed (*NODE PRINT) to 7 digits.
  std::string Text() const {
    std::string t = "*HEADING\ncantilever\n*NODE, NSET=NALL\n";
    char line[160];
    for (const auto& n : nodes) {
      std::snprintf(line, sizeof line, "%d, %.17g, %.17g, %.17g\n", n.first, n.second[0], n.second[1], n.second[2]);
      t += line;
    }
    t += std::string("*ELEMENT, TYPE=") + (quadratic ? "C3D20R" : "C3D8") + ", ELSET=EALL\n";
    for (std::size_t e = 0; e < elements.size(); ++e) {
      t += std::to_string(e + 1);
      for (std::size_t k = 0; k < elements[e].size(); ++k)
        // Data lines hold at most 16 entries: the rest continues below.
        t += (k == 15 ? ",\n" : ", ") + std::to_string(elements[e][k]);
      t += "\n";
    }
    t += "*NSET, NSET=FIX\n" + List(fixed) + "*NSET, NSET=TIP\n" + List(tip);
    t += "*BOUNDARY\nFIX, 1, 3\n*MATERIAL, NAME=STEEL\n*ELASTIC\n210000., 0.3\n*DENSITY\n7.8e-9\n"
         "*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL\n*STEP\n*FREQUENCY\n" +
         std::to_string(modes) + "\n*NODE PRINT, NSET=NALL\nU\n" + (binary ? "*NODE OUTPUT\nU\n" : "*NODE FILE\nU\n") +
         "*END STEP\n";
    return t;
  }

 private:
  static std::string List(const std::vector<int>& iNodes) {
    std::string t;
    for (std::size_t k = 0; k < iNodes.size(); ++k) t += std::to_string(iNodes[k]) + ((k % 8 == 7 || k + 1 == iNodes.size()) ? "\n" : ", ");
    return t;
  }

  static CantileverDeck Make(int iNx, int iNy, int iNz, int iModes, bool iQuadratic) {
    CantileverDeck d;
    d.modes = iModes;
    d.quadratic = iQuadratic;
    // Quadratic bricks: half steps, without face or body centres (more than one odd index).
    const int s = iQuadratic ? 2 : 1;
    std::map<std::tuple<int, int, int>, int> number;
    for (int k = 0; k <= s * iNz; ++k)
      for (int j = 0; j <= s * iNy; ++j)
        for (int i = 0; i <= s * iNx; ++i) {
          if ((i % 2) + (j % 2) + (k % 2) > 1 && iQuadratic) continue;
          int id = static_cast<int>(d.nodes.size()) + 1;
          number[{i, j, k}] = id;
          d.nodes.push_back({id, {double(i) / s, double(j) / s, double(k) / s}});
          if (k == 0) d.fixed.push_back(id);
          if (k == s * iNz) d.tip.push_back(id);
        }
    // Corners, then (quadratic) bottom edges, top edges, vertical edges.
    static const int kLocal[20][3] = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {0, 0, 2}, {2, 0, 2}, {2, 2, 2},
                                      {0, 2, 2}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}, {1, 0, 2}, {2, 1, 2},
                                      {1, 2, 2}, {0, 1, 2}, {0, 0, 1}, {2, 0, 1}, {2, 2, 1}, {0, 2, 1}};
    for (int k = 0; k < iNz; ++k)
      for (int j = 0; j < iNy; ++j)
        for (int i = 0; i < iNx; ++i) {
          std::vector<int> e;
          for (int n = 0; n < (iQuadratic ? 20 : 8); ++n)
            e.push_back(number.at({s * i + kLocal[n][0] * s / 2, s * j + kLocal[n][1] * s / 2,
                                   s * k + kLocal[n][2] * s / 2}));
          d.elements.push_back(e);
        }
    return d;
  }
};

}  // namespace vokdyn_test

#endif
