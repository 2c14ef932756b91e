// SuperEQ's reader of preset files on arbitrary text: a file gives 18
// whole numbers of decibels or is refused with the line that is wrong.
#include "tools/engine/functions/equalizer_preset.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string problem;
  const auto gains = avs::ParseEqualizerPreset(std::string(reinterpret_cast<const char*>(data), size), problem);
  if (!gains) {
    if (problem.rfind("line ", 0) != 0) std::abort();  // every refusal names its line
    return 0;
  }
  for (double gain : *gains)
    if (!std::isfinite(gain) || gain != std::trunc(gain)) std::abort();
  return 0;
}
