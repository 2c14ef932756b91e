// MPEG2Source's reader of DGIndex projects on arbitrary text: a project is
// read whole or refused with a message, and what it gives is in range.
#include "tools/engine/plugins/d2v_project.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  try {
    // The files it names are looked for, never opened.
    const avs::D2vProject project = avs::ReadD2vProject(in, "/nonexistent-d2v-folder");
    if (project.files.empty() || project.pictures.empty() || project.rate.num <= 0 || project.rate.den <= 0 ||
        project.fieldOperation < 0 || project.fieldOperation > 2)
      std::abort();
    for (unsigned flags : project.pictures)
      if (flags >= 0xff) std::abort();
  } catch (const avs::D2vError& error) {
    if (std::string(error.what()).empty()) std::abort();  // every refusal says why
  }
  return 0;
}
