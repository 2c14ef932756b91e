// Source functions: media files and image sequences.
#include "tools/engine/filters.h"
#include "tools/engine/media.h"
#include "tools/engine/functions/families.h"

#include <cstdint>

namespace avs {

namespace {

// A source filter: which parts of the file it takes, and where its own
// options sit among its parameters (-1: it has none of that name).
struct SourceSpec {
  std::string params;
  bool video, audio;
  bool needVideo, needAudio;
  int audioSwitch = -1, videoSwitch = -1, fps = -1, pixelType = -1;
};

Function Source(SourceSpec spec) {
  return {spec.params,
          [spec](Call& call) -> Value {
            auto on = [&call](int arg) { return arg < 0 || call.Bool(static_cast<std::size_t>(arg), true); };
            MediaRequest request{call.Path(call.String(0, "")), spec.video && on(spec.videoSwitch),
                                 spec.audio && on(spec.audioSwitch), false, false};
            request.needVideo = spec.needVideo && request.video;
            request.needAudio = spec.needAudio && request.audio;
            ClipPtr clip = OpenMedia(request, call.origin);
            if (spec.fps >= 0 && call.args[spec.fps].defined()) {
              double fps = call.Float(static_cast<std::size_t>(spec.fps), 0);
              if (!(fps > 0) || fps > 1e6) call.Fail("the frame rate is out of range");
              clip = WithFrameRate(call, clip, FloatToRational(fps));
            }
            if (spec.pixelType >= 0) clip = WithPixelType(call, clip, call.String(static_cast<std::size_t>(spec.pixelType), "AUTO"));
            return clip;
          },
          true};
}

// AviSource("a.avi", "b.avi", ..., audio, pixel_type): several files play
// one after the other, joined as AlignedSplice joins clips.
Value AviSource(Call& call) {
  std::vector<std::string> paths{call.String(0, "")};
  std::size_t i = 0;
  for (; i < call.rest.size() && call.rest[i].isString(); ++i) paths.push_back(call.rest[i].asString());
  Value audio = call.args[2], pixelType = call.args[3];
  if (i < call.rest.size() && call.rest[i].isBool() && !audio.defined()) audio = call.rest[i++];
  if (i < call.rest.size() && call.rest[i].isString() && !pixelType.defined()) pixelType = call.rest[i++];
  if (i < call.rest.size()) call.Fail("unexpected " + std::string(call.rest[i].typeName()) + " after the file names");
  std::vector<ClipPtr> parts;
  for (const std::string& path : paths) {
    MediaRequest request{call.Path(path), true, !audio.defined() || audio.asBool(), true, false};
    parts.push_back(
        WithPixelType(call, OpenMedia(request, call.origin), pixelType.defined() ? pixelType.asString() : "AUTO"));
  }
  return parts.size() == 1 ? parts[0] : SpliceClips(call, std::move(parts), true);
}

Value ImageSource(Call& call) {
  Rational fps{24, 1};
  if (call.args[3].isInt()) fps = Rational{call.Int(3, 24), 1};
  else if (call.args[3].isFloat()) fps = FloatToRational(call.Float(3, 24));
  if (fps.num <= 0 || fps.den <= 0 || fps.num > INT32_MAX) call.Fail("the frame rate is out of range");
  ClipPtr images = OpenImageSequence(call.Path(call.String(0, "")), call.Int(1, 0), call.Int(2, 1000), fps, call.origin);
  return WithPixelType(call, images, call.String(4, "AUTO"));
}

}  // namespace

void RegisterSourceFunctions(std::map<std::string, Function>& table) {
  table["avisource"] = {"path:s more_paths:.* ?audio:b ?pixel_type:s", AviSource, true};
  SourceSpec directShow{"path:s ?fps:f ?seek:b ?audio:b ?video:b ?pixel_type:s", true, true, false, false};
  directShow.fps = 1;
  directShow.audioSwitch = 3;
  directShow.videoSwitch = 4;
  directShow.pixelType = 5;
  table["directshowsource"] = Source(directShow);
  const SourceSpec videoOnly{"path:s", true, false, true, false}, soundOnly{"path:s", false, true, false, true};
  table["wavsource"] = Source(soundOnly);
  table["ffvideosource"] = Source(videoOnly);
  table["lwlibavvideosource"] = Source(videoOnly);
  table["ffaudiosource"] = Source(soundOnly);
  table["lwlibavaudiosource"] = Source(soundOnly);
  table["imagesource"] = {"file:s ?start:i ?end:i ?fps:f ?pixel_type:s", ImageSource, true};
}

}  // namespace avs
