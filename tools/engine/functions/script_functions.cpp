// Script functions: clip properties and the conversions between numbers.
#include "tools/engine/functions/families.h"

#include <cmath>

namespace avs {

namespace {

Function Property(std::function<Value(const ClipInfo&)> read) {
  return {"clip:c", [read = std::move(read)](Call& call) -> Value { return read(call.Clip(0)->info()); }};
}

Function Number(std::function<Value(double)> convert) {
  return {"value:f", [convert = std::move(convert)](Call& call) -> Value { return convert(call.Float(0, 0)); }};
}

}  // namespace

void RegisterScriptFunctions(std::map<std::string, Function>& table) {
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
