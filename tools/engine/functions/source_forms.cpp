// Other forms of the source filters: their other names (OpenDMLSource,
// AVIFileSource, ImageReader), files split into numbered segments
// (SegmentedAVISource, SegmentedDirectShowSource) and animations
// (ImageSourceAnim).
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/media.h"

#include <sys/stat.h>

#include <cstdio>

namespace avs {

namespace {

// "dir/name.ext" split for its segments "dir/name.00.ext" to ".99.ext".
std::string SegmentName(const std::string& base, int segment) {
  const std::size_t slash = base.rfind('/');
  const std::size_t dot = base.rfind('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  char number[8];
  std::snprintf(number, sizeof number, ".%02d", segment);
  return hasExtension ? base.substr(0, dot) + number + base.substr(dot) : base + number;
}

bool IsFile(const std::string& path) {
  struct stat status{};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// Segmented sources: for each name, the segments that exist, in order,
// each opened by `open`, all joined as AlignedSplice joins clips.
Value Segmented(Call& call, const std::function<ClipPtr(const std::string& path)>& open) {
  std::vector<std::string> bases{call.String(0, "")};
  for (const Value& v : call.rest) {
    if (!v.isString()) call.Fail("each base file name must be a string, not " + std::string(v.typeName()));
    bases.push_back(v.asString());
  }
  std::vector<ClipPtr> parts;
  for (const std::string& base : bases) {
    const std::size_t before = parts.size();
    for (int segment = 0; segment < 100; ++segment) {
      const std::string path = call.Path(SegmentName(base, segment));
      if (IsFile(path)) parts.push_back(open(path));
    }
    if (parts.size() == before)
      call.Fail("no segment of " + base + " (" + SegmentName(base, 0) + " to " + SegmentName(base, 99) + ") exists");
  }
  return parts.size() == 1 ? parts[0] : SpliceClips(call, std::move(parts), true);
}

// SegmentedAVISource(base..., audio, pixel_type, vtrack, atrack).
Value SegmentedAviSource(Call& call) {
  return Segmented(call, [&](const std::string& path) {
    ClipPtr clip = OpenMedia(MediaRequest{path, true, call.Bool(2, true), true, false}, call.origin);
    return WithPixelType(call, clip, call.String(3, "AUTO"));
  });
}

// SegmentedDirectShowSource(base..., fps, seek, audio, video, convertfps,
// seekzero, timeout, pixel_type).
Value SegmentedDirectShowSource(Call& call) {
  return Segmented(call, [&](const std::string& path) {
    ClipPtr clip = OpenMedia(MediaRequest{path, call.Bool(5, true), call.Bool(4, true), false, false}, call.origin);
    if (call.args[2].defined()) {
      const Rational fps = FloatRate(call, call.Float(2, 0));
      clip = call.Bool(6, false) ? WithChangedRate(call, clip, fps) : WithFrameRate(call, clip, fps);
    }
    return clip->info().hasVideo ? WithPixelType(call, clip, call.String(9, "AUTO")) : clip;
  });
}

// ImageSourceAnim(file, fps, info, pixel_type): an animation's pictures at
// the rate its first delay gives (or `fps`), RGB32 by default.
Value ImageSourceAnim(Call& call) {
  ClipPtr clip = OpenMedia(MediaRequest{call.Path(call.String(0, "")), true, false, true, false}, call.origin);
  if (call.args[1].defined()) clip = WithFrameRate(call, clip, FloatRate(call, call.Float(1, 24)));
  if (call.Bool(2, false)) call.Fail("info is not supported");
  return WithPixelType(call, clip, call.String(3, "RGB32"));
}

}  // namespace

void RegisterSourceForms(FunctionTable& table) {
  table["opendmlsource"] = table["avisource"];
  table["avifilesource"] = table["avisource"];
  table["imagereader"] = table["imagesource"];
  table["segmentedavisource"] = {"base_filename:s more_base_filenames:s* ?audio:b ?pixel_type:s ?vtrack:i ?atrack:i",
                                 SegmentedAviSource};
  table["segmenteddirectshowsource"] = {
      "base_filename:s more_base_filenames:s* ?fps:f ?seek:b ?audio:b ?video:b ?convertfps:b ?seekzero:b ?timeout:i "
      "?pixel_type:s",
      SegmentedDirectShowSource};
  table["imagesourceanim"] = {"file:s ?fps:f ?info:b ?pixel_type:s", ImageSourceAnim};
}

}  // namespace avs
