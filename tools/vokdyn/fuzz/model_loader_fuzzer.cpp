// libFuzzer target of the model loader: any text is either a model or a
// ModelError, never a crash, a leak or undefined behaviour; and a model that
// loads, written back as a model file, loads again to the same file.
//
// An input may carry a .npy file after a line "#npy": the model's shapes
// file, whatever name the model gives it. Whenever the quick reading of the
// plain form accepts a text, the general parser must build the same value,
// number for number to the bit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "VOKDYNModelJson.h"
#include "VOKDYNModelLoader.h"
#include "VOKDYNModelText.h"

namespace {

using vokdyn::ModelJson;

bool SameBits(double iA, double iB) { return std::memcmp(&iA, &iB, sizeof iA) == 0; }

// iPlain (rows unpacked) against the general parser's iGeneral: same
// structure, same keys in the same order, same kinds of number (inside rows
// the loader reads the double only), same doubles to the bit.
bool Same(const ModelJson& iPlain, const ModelJson& iGeneral, bool iInRows) {
  if (iPlain.is_number() && iGeneral.is_number()) {
    if (!iInRows && (iPlain.type() != iGeneral.type() || iPlain != iGeneral)) return false;
    return SameBits(iPlain.get<double>(), iGeneral.get<double>());
  }
  if (iPlain.type() != iGeneral.type() || iPlain.size() != iGeneral.size()) return false;
  if (iPlain.is_object()) {
    auto a = iPlain.begin();
    for (auto b = iGeneral.begin(); b != iGeneral.end(); ++a, ++b)
      if (a.key() != b.key() || !Same(a.value(), b.value(), false)) return false;
    return true;
  }
  if (iPlain.is_array()) {
    for (std::size_t i = 0; i < iPlain.size(); ++i)
      if (!Same(iPlain[i], iGeneral[i], iInRows)) return false;
    return true;
  }
  return iPlain == iGeneral;
}

// The node-row arrays of a plain value, unpacked and compared in rows.
bool SameModel(const ModelJson& iPlain, const ModelJson& iGeneral) {
  if (vokdyn::IsPackedRows(iPlain)) return Same(vokdyn::UnpackRows(iPlain), iGeneral, true);
  if (iPlain.type() != iGeneral.type() || iPlain.size() != iGeneral.size()) return false;
  if (iPlain.is_object()) {
    auto a = iPlain.begin();
    for (auto b = iGeneral.begin(); b != iGeneral.end(); ++a, ++b)
      if (a.key() != b.key() || !SameModel(a.value(), b.value())) return false;
    return true;
  }
  if (iPlain.is_array()) {
    for (std::size_t i = 0; i < iPlain.size(); ++i)
      if (!SameModel(iPlain[i], iGeneral[i])) return false;
    return true;
  }
  return Same(iPlain, iGeneral, false);
}

}  // namespace

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

  ModelJson plain;
  if (vokdyn::ParsePlainModelJson(text, plain)) {
    ModelJson general = ModelJson::parse(text, nullptr, /*allow_exceptions=*/false,
                                         /*ignore_comments=*/true);
    if (general.is_discarded() || !SameModel(plain, general)) std::abort();
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
