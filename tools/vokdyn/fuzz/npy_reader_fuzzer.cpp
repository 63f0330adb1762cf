// libFuzzer target of the .npy reader: any bytes are either mode shapes or
// an NpyError, never a crash, a leak or undefined behaviour; and shapes that
// are read are the file's data, every value finite.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VOKDYNNpy.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* iData, std::size_t iSize) {
  std::string bytes(reinterpret_cast<const char*>(iData), iSize);
  // The model's sizes from the header when it parses (so that the data
  // checks are reached), else small ones.
  std::size_t modes = 2, nodes = 3;
  try {
    vokdyn::NpyHeader header = vokdyn::ParseNpyHeader(bytes);
    if (header.shape.size() >= 2 && header.shape[0] > 0 && header.shape[0] <= 64 &&
        header.shape[1] > 0 && header.shape[1] <= 4096) {
      modes = static_cast<std::size_t>(header.shape[0]);
      nodes = static_cast<std::size_t>(header.shape.size() == 2 ? header.shape[1] / 6 : header.shape[1]);
      if (nodes == 0) nodes = 1;
    }
  } catch (const vokdyn::NpyError&) {
  }
  vokdyn::ModeShapes shapes;
  try {
    shapes = vokdyn::DecodeModeShapes(bytes, modes, nodes);
  } catch (const vokdyn::NpyError&) {
    return 0;
  }
  const std::size_t size = modes * nodes * 6 * sizeof(double);
  if (bytes.size() < size || shapes.Modes() != modes || shapes.Nodes() != nodes) std::abort();
  const char* data = bytes.data() + (bytes.size() - size);
  if (std::memcmp(shapes.Mode(0), data, size) != 0) std::abort();
  // The first value that is not finite is the first in the file's order.
  vokdyn::ModeShapes::Element bad;
  const bool found = shapes.FirstNonFinite(nullptr, bad);
  std::size_t first = 0;
  const double* values = shapes.Mode(0);
  while (first < modes * nodes * 6 && std::isfinite(values[first])) ++first;
  if (found != (first < modes * nodes * 6)) std::abort();
  if (found && (bad.mode * nodes + bad.node) * 6 + bad.component != first) std::abort();
  return 0;
}
