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
  std::vector<vokdyn::Mode> shapes(modes);
  try {
    vokdyn::DecodeModeShapes(bytes, nodes, shapes);
  } catch (const vokdyn::NpyError&) {
    for (const vokdyn::Mode& m : shapes)
      if (!m.shape.empty()) std::abort();  // a refusal leaves the modes as they were
    return 0;
  }
  const std::size_t size = modes * nodes * 6 * sizeof(double);
  if (bytes.size() < size) std::abort();
  const char* data = bytes.data() + (bytes.size() - size);
  for (std::size_t j = 0; j < modes; ++j) {
    if (shapes[j].shape.size() != nodes) std::abort();
    if (std::memcmp(shapes[j].shape.data(), data + j * nodes * 6 * sizeof(double),
                    nodes * 6 * sizeof(double)) != 0)
      std::abort();
    for (const vokdyn::Vec6& row : shapes[j].shape)
      for (double v : row)
        if (!std::isfinite(v)) std::abort();
  }
  return 0;
}
