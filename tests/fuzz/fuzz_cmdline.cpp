// The command-line splitter and the quoting helper: any value quoted comes
// back unchanged from the splitter, and no line makes either misbehave.
#include "platform/cmdline.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // A line as it comes: split, and split at the pipeline's bars.
  platform::SplitCommandLine(text);
  for (const std::string& stage : platform::SplitPipeline(text)) platform::SplitCommandLine(stage);

  // A value without a zero byte (no argument can hold one) survives quoting,
  // alone and between other quoted values.
  const std::string value(text.substr(0, text.find('\0')));
  const auto alone = platform::SplitCommandLine(platform::Quote(value));
  if (alone.size() != 1 || alone[0] != value) std::abort();
  const auto among = platform::SplitCommandLine("\"tool\" " + platform::Quote(value) + " -o " + platform::Quote(value));
  if (among.size() != 4 || among[1] != value || among[3] != value || among[2] != "-o") std::abort();
  return 0;
}
