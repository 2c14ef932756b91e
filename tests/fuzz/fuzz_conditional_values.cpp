// ConditionalReader's reader of per-frame values on arbitrary text: a file
// is read whole or refused with a message, and every frame's value is of
// the file's type.
#include "tools/engine/functions/conditional_values.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  try {
    const avs::ConditionalValues values =
        avs::ConditionalValues::Parse(std::string(reinterpret_cast<const char*>(data), size));
    // Frames around the ones a file may name, and the extremes.
    for (int64_t n : {int64_t{-1}, int64_t{0}, int64_t{1}, int64_t{7}, int64_t{1000}, int64_t{INT32_MAX}}) {
      const avs::Value v = values.At(n);
      if (v.isArray() || v.isClip()) std::abort();
    }
  } catch (const avs::ConditionalFileError& error) {
    if (std::string(error.what()).empty()) std::abort();  // every refusal says why
  }
  return 0;
}
