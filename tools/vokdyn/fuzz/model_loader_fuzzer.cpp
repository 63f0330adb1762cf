// libFuzzer target of the model loader: any text is either a model or a
// ModelError, never a crash, a leak or undefined behaviour; and a model that
// loads, written back as a model file, loads again to the same file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* iData, std::size_t iSize) {
  std::string text(reinterpret_cast<const char*>(iData), iSize);
  vokdyn::Model model;
  try {
    model = vokdyn::LoadModelText(text, "fuzz.json");
  } catch (const vokdyn::ModelError&) {
    return 0;
  }
  (void)vokdyn::SweepFrequencies(model.sweep);
  std::string written = vokdyn::WriteModelText(model, "written back");
  try {
    vokdyn::Model again = vokdyn::LoadModelText(written, "written.json");
    if (vokdyn::WriteModelText(again, "written back") != written) std::abort();
  } catch (const vokdyn::ModelError&) {
    std::abort();  // what the writer writes, the loader must read
  }
  return 0;
}
