// Source functions, Import, clip properties and the number helpers.
#include "tools/engine/media.h"
#include "tools/engine/script.h"

#include <cmath>

namespace avs {

namespace {

Function Source(bool video, bool audio, bool needVideo, bool needAudio, std::string params = "path:s") {
  return {std::move(params),
          [=](Call& call) -> Value {
            MediaRequest request{call.Path(call.String(0, "")), video, audio, needVideo, needAudio};
            // A source's own "audio" or "video" switch turns that part off.
            if (call.args.size() > 1 && call.args[1].defined()) request.audio = audio && call.Bool(1, true);
            if (call.args.size() > 2 && call.args[2].defined()) request.video = video && call.Bool(2, true);
            request.needAudio = needAudio && request.audio;
            request.needVideo = needVideo && request.video;
            return OpenMedia(request, call.origin);
          },
          true};
}

Value ImageSource(Call& call) {
  Rational fps{24, 1};
  if (call.args[3].isInt()) fps = Rational{call.Int(3, 24), 1};
  else if (call.args[3].isFloat()) fps = FloatToRational(call.Float(3, 24));
  if (fps.num <= 0 || fps.den <= 0 || fps.num > INT32_MAX) call.Fail("the frame rate is out of range");
  return OpenImageSequence(call.Path(call.String(0, "")), call.Int(1, 0), call.Int(2, 1000), fps, call.origin);
}

Function Property(std::function<Value(const ClipInfo&)> read) {
  return {"clip:c", [read = std::move(read)](Call& call) -> Value { return read(call.Clip(0)->info()); }};
}

Function Number(std::function<Value(double)> convert) {
  return {"value:f", [convert = std::move(convert)](Call& call) -> Value { return convert(call.Float(0, 0)); }};
}

}  // namespace

void RegisterSourceFunctions(std::map<std::string, Function>& table) {
  table["avisource"] = Source(true, true, true, false, "path:s ?audio:b");
  table["wavsource"] = Source(false, true, false, true);
  table["directshowsource"] = Source(true, true, false, false, "path:s ?audio:b ?video:b");
  table["ffvideosource"] = Source(true, false, true, false);
  table["lwlibavvideosource"] = Source(true, false, true, false);
  table["ffaudiosource"] = Source(false, true, false, true);
  table["lwlibavaudiosource"] = Source(false, true, false, true);
  table["imagesource"] = {"file:s ?start:i ?end:i ?fps:f", ImageSource, true};
  table["import"] = {"path:s", [](Call& call) -> Value {
                       return call.interp.RunFile(call.Path(call.String(0, "")), call.origin);
                     }};
}

void RegisterInfoFunctions(std::map<std::string, Function>& table) {
  table["width"] = Property([](const ClipInfo& i) { return Value(i.width); });
  table["height"] = Property([](const ClipInfo& i) { return Value(i.height); });
  table["framecount"] = Property([](const ClipInfo& i) { return Value(i.frameCount); });
  table["framerate"] = Property([](const ClipInfo& i) {
    return Value(static_cast<double>(i.fps.num) / static_cast<double>(i.fps.den));
  });
  table["frameratenumerator"] = Property([](const ClipInfo& i) { return Value(i.fps.num); });
  table["frameratedenominator"] = Property([](const ClipInfo& i) { return Value(i.fps.den); });
  table["audiorate"] = Property([](const ClipInfo& i) { return Value(i.sampleRate); });
  table["audiochannels"] = Property([](const ClipInfo& i) { return Value(i.channels); });
  table["audiolength"] = Property([](const ClipInfo& i) { return Value(i.sampleCount); });
  table["hasaudio"] = Property([](const ClipInfo& i) { return Value(i.hasAudio); });
  table["hasvideo"] = Property([](const ClipInfo& i) { return Value(i.hasVideo); });
  table["isrgb"] = Property([](const ClipInfo& i) { return Value(i.hasVideo && IsRgbFormat(i.pixelFormat)); });
  table["isrgb24"] = Property([](const ClipInfo& i) { return Value(i.pixelFormat == AV_PIX_FMT_BGR24); });
  table["isrgb32"] = Property([](const ClipInfo& i) { return Value(i.pixelFormat == AV_PIX_FMT_BGRA); });
  table["isyv12"] = Property([](const ClipInfo& i) { return Value(i.pixelFormat == AV_PIX_FMT_YUV420P); });
  table["isyuy2"] = Property([](const ClipInfo& i) { return Value(i.pixelFormat == AV_PIX_FMT_YUYV422); });
  table["isyuv"] = Property([](const ClipInfo& i) { return Value(i.hasVideo && !IsRgbFormat(i.pixelFormat)); });
  table["pixeltype"] = Property([](const ClipInfo& i) { return Value(PixelTypeName(i.pixelFormat)); });

  table["string"] = {"value:.", [](Call& call) -> Value { return call.args[0].toText(); }};
  table["int"] = Number([](double x) { return Value(static_cast<int64_t>(std::trunc(x))); });
  table["float"] = Number([](double x) { return Value(x); });
  table["round"] = Number([](double x) { return Value(static_cast<int64_t>(std::llround(x))); });
  table["floor"] = Number([](double x) { return Value(static_cast<int64_t>(std::floor(x))); });
  table["ceil"] = Number([](double x) { return Value(static_cast<int64_t>(std::ceil(x))); });
}

}  // namespace avs
