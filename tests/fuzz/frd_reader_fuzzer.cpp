// libFuzzer target of the .frd reader: any bytes are either results or a
// ResultFileError naming the file and a line, never a crash, a leak or
// undefined behaviour; and results that are read hold together.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

#include "VOKDYNFrdReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* iData, std::size_t iSize) {
  const std::string bytes(reinterpret_cast<const char*>(iData), iSize);
  vokdyn::FrdResults r;
  try {
    r = vokdyn::ParseFrd(bytes, "fuzz.frd");
  } catch (const vokdyn::ResultFileError& e) {
    if (std::string(e.what()).rfind("fuzz.frd: line ", 0) != 0) std::abort();
    return 0;
  }
  if (r.modes.empty() || r.coordinates.size() != r.nodeIds.size()) std::abort();
  std::set<int> ids(r.nodeIds.begin(), r.nodeIds.end());
  if (ids.size() != r.nodeIds.size()) std::abort();
  for (const auto& xyz : r.coordinates)
    for (double v : xyz)
      if (!std::isfinite(v)) std::abort();
  for (const vokdyn::FrdElement& e : r.elements) {
    if (static_cast<int>(e.nodes.size()) != vokdyn::FrdNodesPerElement(e.type)) std::abort();
    for (int n : e.nodes)
      if (!ids.count(n)) std::abort();
  }
  for (const vokdyn::FrdMode& m : r.modes) {
    if (m.displacement.size() != r.nodeIds.size() || !std::isfinite(m.frequency)) std::abort();
    for (const auto& row : m.displacement)
      for (double v : row)
        if (!std::isfinite(v)) std::abort();
  }
  return 0;
}
