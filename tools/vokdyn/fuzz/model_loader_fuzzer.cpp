// libFuzzer target of the model loader: any text is either a model or a
// ModelError, never a crash, a leak or undefined behaviour; and a model that
// loads, written back as a model file, loads again to the same file.
//
// An input may carry a .npy file after a line "#npy": the model's shapes
// file, whatever name the model gives it.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* iData, std::size_t iSize) {
  std::string input(reinterpret_cast<const char*>(iData), iSize);
  std::string text = input, npy;
  bool hasNpy = false;
  const std::string separator = "\n#npy\n";
  std::size_t at = input.find(separator);
  if (at != std::string::npos) {
    text = input.substr(0, at);
    npy = input.substr(at + separator.size());
    hasNpy = true;
  }

  auto files = [&](const std::string&) -> std::string {
    if (!hasNpy) throw std::runtime_error("No such file or directory");
    return npy;
  };
  vokdyn::Model model;
  try {
    model = vokdyn::LoadModelText(text, "fuzz.json", files);
  } catch (const vokdyn::ModelError&) {
    return 0;
  }
  (void)vokdyn::SweepFrequencies(model.sweep);
  std::string written = vokdyn::WriteModelText(model, "written back");
  try {
    vokdyn::Model again = vokdyn::LoadModelText(written, "written.json", files);
    if (vokdyn::WriteModelText(again, "written back") != written) std::abort();
  } catch (const vokdyn::ModelError&) {
    std::abort();  // what the writer writes, the loader must read
  }
  return 0;
}
