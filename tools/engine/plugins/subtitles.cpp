#include "tools/engine/plugins/subtitles.h"

#include "tools/engine/functions/common.h"
#include "tools/engine/functions/text_layout.h"
#include "tools/engine/graph_clip.h"

#include <filesystem>

namespace avs {

ClipPtr WithSubtitles(const Call& call, const std::string& file, const std::string& characterSet,
                      const std::string& fontsDir) {
  const ClipInfo& in = VideoOf(call, 0);
  const std::string path = call.Path(file);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) call.Fail("cannot open the subtitles " + path);
  // The picture's own size, so that libass neither stretches nor letterboxes.
  std::string filter = "subtitles=filename=" + EscapeFilterOption(path) + ":original_size=" + std::to_string(in.width) +
                       "x" + std::to_string(in.height);
  if (!characterSet.empty()) filter += ":charenc=" + EscapeFilterOption(characterSet);
  if (!fontsDir.empty()) filter += ":fontsdir=" + EscapeFilterOption(call.Path(fontsDir));
  GraphOptions options;
  options.drawsOnInput = true;
  return MakeGraphClip(in, call.origin, {call.Clip(0)}, "[in0]" + EscapeGraphSegment(filter) + "[out]", options);
}

}  // namespace avs
