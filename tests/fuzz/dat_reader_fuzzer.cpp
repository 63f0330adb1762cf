// libFuzzer target of the .dat reader: any text is either the eigenvalue
// table (with its participation and mass tables, one row per mode) or a
// ResultFileError naming the file, never a crash, a leak or undefined
// behaviour.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "VOKDYNDatReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* iData, std::size_t iSize) {
  const std::string text(reinterpret_cast<const char*>(iData), iSize);
  vokdyn::DatModes d;
  try {
    d = vokdyn::ParseDat(text, "fuzz.dat");
  } catch (const vokdyn::ResultFileError& e) {
    if (std::string(e.what()).rfind("fuzz.dat: ", 0) != 0) std::abort();
    return 0;
  }
  const std::size_t n = d.numbers.size();
  if (n == 0 || d.eigenvalues.size() != n || d.frequencies.size() != n) std::abort();
  for (std::size_t i = 0; i < n; ++i)
    if (d.numbers[i] != static_cast<int>(i) + 1 || !std::isfinite(d.frequencies[i])) std::abort();
  if (d.hasParticipation && d.participation.size() != n) std::abort();
  if (d.hasEffectiveMass && d.effectiveMass.size() != n) std::abort();
  return 0;
}
