// The script language on arbitrary text: it is parsed and evaluated with a
// small budget of work, and the first and last frames and some sound of a
// clip it makes are read. A fault in the script ends in a ScriptError with a
// message; anything else (a crash, a hang, another exception) is a finding.
#include "tools/engine/reading.h"
#include "tools/engine/script.h"
#include "tests/fuzz/scratch_folder.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Functions that reach the file system: a fuzzed script must neither write
// files nor read whatever a path names (a FIFO or a device would hang it).
const char* const kWithdrawn[] = {
    "avisource",          "directshowsource", "wavsource",        "ffvideosource",  "lwlibavvideosource",
    "ffaudiosource",      "lwlibavaudiosource", "imagesource",    "imagereader",    "segmentedavisource",
    "opendmlsource",      "avifilesource",    "ffmpegsource2",    "import",         "setworkingdir",
    "ffms2",              "ffimagesource",    "ffindex",          "lsmashvideosource", "lsmashaudiosource",
    "dss2",               "segmenteddirectshowsource",
    "writefile",          "writefileif",      "writefileend",     "writefilestart", "exist",
    "imagewriter",        "conditionalreader", "imagesourceanim", "segmenteddirectshowsource",
    "mpeg2source",        "dgdecode_mpeg2source", "textsub",      "textsubmod",     "assrender",
    "compare",            "supereq",
};

void ReadSome(const avs::Clip& clip) {
  const avs::ClipInfo& info = clip.info();
  avs::Reading reading(std::size_t{16} << 20);
  // Pictures stay small so that a run measures the engine, not memory.
  if (info.hasVideo && int64_t{info.width} * info.height <= 640 * 480) {
    reading.Frame(clip, 0);
    reading.Frame(clip, info.frameCount - 1);
  }
  if (info.hasAudio && info.channels <= 8) {
    std::vector<uint8_t> samples(std::size_t{256} * info.channels * 8);
    reading.Samples(clip, samples.data(), 0, 256);
    reading.Samples(clip, samples.data(), info.sampleCount - 128, 256);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // What a script names relative to itself lies in a folder of the run's own.
  static const ScratchFolder scratch("fuzz-script");
  const std::string text(reinterpret_cast<const char*>(data), size);
  avs::Interpreter interpreter;
  interpreter.SetStepBudget(200'000);
  for (const char* name : kWithdrawn) interpreter.Forget(name);
  try {
    const avs::Value result = interpreter.RunText(text, "fuzz.avs", scratch.path.string() + "/");
    if (result.isClip()) ReadSome(*result.asClip());
  } catch (const avs::ScriptError& error) {
    if (std::string(error.what()).empty()) std::abort();  // every refusal says why
  }
  return 0;
}
