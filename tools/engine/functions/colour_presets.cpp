// The named colours scripts find as globals (color_aliceblue, color_brown,
// ...): the SVG colour keywords, read from FFmpeg's table of them, as
// $RRGGBB ints.
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavutil/parseutils.h>
}

namespace avs {

void RegisterColourPresets(std::map<std::string, Value>& globals) {
  const uint8_t* rgb = nullptr;
  for (int i = 0; const char* name = av_get_known_color_name(i, &rgb); ++i)
    globals["color_" + Lower(name)] = Value((int64_t{rgb[0]} << 16) | (int64_t{rgb[1]} << 8) | rgb[2]);
}

}  // namespace avs
