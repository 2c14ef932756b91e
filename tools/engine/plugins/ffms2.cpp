// FFMS2 (FFmpegSource2): FFVideoSource, FFAudioSource, FFmpegSource2 and its
// alias FFMS2, FFImageSource and FFIndex, over the engine's own reading of
// media files, which is libavformat and libavcodec as FFMS2's is. The index
// FFMS2 keeps in a file is not needed here: cache, cachefile, overwrite and
// FFIndex's options are taken and change nothing, and the other options that
// change nothing here are listed in the help. The variables FFMS2 sets for a
// script (FFSAR, FFCOLOR_SPACE, FFCHANNEL_LAYOUT...) are set.
#include "tools/engine/plugins/plugins.h"
#include "tools/engine/plugins/source_plugins.h"

#include <cstdio>

namespace avs {

namespace {

// FFVideoSource's parameters, in their documented order; rffmode and utf8,
// which later releases dropped, are taken by name.
enum VideoArg { kVideoSource, kTrack, kVideoCache, kVideoCacheFile, kFpsNum, kFpsDen, kThreads, kTimecodes, kSeekMode,
                kWidth, kHeight, kResizer, kColorSpace, kVideoPrefix, kRffMode, kVideoUtf8 };
constexpr const char* kVideoParams =
    "source:s ?track:i ?cache:b ?cachefile:s ?fpsnum:i ?fpsden:i ?threads:i ?timecodes:s ?seekmode:i ?width:i "
    "?height:i ?resizer:s ?colorspace:s ?varprefix:s ?rffmode:i ?utf8:b";

enum AudioArg { kAudioSource, kAudioTrack, kAudioCache, kAudioCacheFile, kAdjustDelay, kFillGaps, kDrcScale, kAudioPrefix,
                kAudioUtf8 };
constexpr const char* kAudioParams =
    "source:s ?track:i ?cache:b ?cachefile:s ?adjustdelay:i ?fillgaps:i ?drc_scale:f ?varprefix:s ?utf8:b";

// The variables a source function sets, each under the call's prefix; the
// prefix itself goes to the global FFVAR_PREFIX.
class Variables {
 public:
  explicit Variables(Call& call, std::size_t prefixArg) : call_(call), prefix_(call.String(prefixArg, "")) {
    call.interp.SetVariable("FFVAR_PREFIX", Value(prefix_), true);
  }
  void Set(const std::string& name, Value value) { call_.interp.SetVariable(prefix_ + name, std::move(value)); }

 private:
  Call& call_;
  std::string prefix_;
};

void SetVideoVariables(Call& call, std::size_t prefixArg, const MediaFacts& facts) {
  Variables variables(call, prefixArg);
  if (facts.sampleAspect.num > 0 && facts.sampleAspect.den > 0) {
    variables.Set("FFSAR_NUM", Value(facts.sampleAspect.num));
    variables.Set("FFSAR_DEN", Value(facts.sampleAspect.den));
    variables.Set("FFSAR", Value(static_cast<double>(facts.sampleAspect.num) / facts.sampleAspect.den));
  }
  // Containers' cropping is not read here: the picture is shown whole.
  for (const char* side : {"FFCROP_LEFT", "FFCROP_RIGHT", "FFCROP_TOP", "FFCROP_BOTTOM"}) variables.Set(side, Value(0));
  // The numbers are the MPEG ones FFMS2 gives, as libavutil's are.
  variables.Set("FFCOLOR_SPACE", Value(static_cast<int>(facts.colorSpace)));
  variables.Set("FFCOLOR_RANGE", Value(static_cast<int>(facts.colorRange)));
}

void SetAudioVariables(Call& call, std::size_t prefixArg, const MediaFacts& facts) {
  Variables(call, prefixArg).Set("FFCHANNEL_LAYOUT", Value(static_cast<int64_t>(facts.channelMask)));
}

// Writes a Matroska v2 timecodes file of the clip's frames.
void WriteTimecodes(Call& call, const std::string& name, const std::string& path, int stream) {
  std::string text = "# timecode format v2\n";
  for (double milliseconds : FrameTimesInMilliseconds(path, stream, call.origin)) {
    char line[64];
    std::snprintf(line, sizeof line, "%.2f\n", milliseconds);
    text += line;
  }
  WriteToFile(call.Path(name), text, false, call.origin + ": " + call.functionName);
}

// The video track of a file as FFVideoSource opens it, with the arguments
// at the given places (FFmpegSource2 keeps them elsewhere).
struct VideoPlaces {
  std::size_t source, track, fpsNum, fpsDen, timecodes, width, height, resizer, colorSpace, prefix, rffMode;
};

ClipPtr OpenVideo(Call& call, const VideoPlaces& at) {
  if (call.Int(at.rffMode, 0) != 0)
    call.Fail("rffmode " + std::to_string(call.Int(at.rffMode, 0)) +
              " is not supported: the pictures come as they are coded, without their repeat flags");
  MediaRequest request{call.Path(call.String(at.source, "")), true, false, true, false};
  request.videoStream = static_cast<int>(call.Int(at.track, MediaRequest::kBestStream));
  MediaFacts facts;
  ClipPtr clip = OpenSourceFile(call, request, &facts);
  SetVideoVariables(call, at.prefix, facts);
  if (call.args[at.timecodes].defined() && !call.String(at.timecodes, "").empty())
    WriteTimecodes(call, call.String(at.timecodes, ""), request.path, facts.videoStream);
  clip = WithConstantRate(call, clip, call.Int(at.fpsNum, -1), call.Int(at.fpsDen, 1));
  clip = WithSizeNamed(call, clip, call.Int(at.width, -1), call.Int(at.height, -1), call.String(at.resizer, "BICUBIC"));
  return WithFormatNamed(call, clip, call.String(at.colorSpace, ""), "colorspace");
}

ClipPtr OpenAudio(Call& call, std::size_t source, int track, std::size_t prefix) {
  MediaRequest request{call.Path(call.String(source, "")), false, true, false, true};
  request.audioStream = track;
  MediaFacts facts;
  ClipPtr clip = OpenSourceFile(call, request, &facts);
  SetAudioVariables(call, prefix, facts);
  return clip;
}

Value FFVideoSource(Call& call) {
  return OpenVideo(call, {kVideoSource, kTrack, kFpsNum, kFpsDen, kTimecodes, kWidth, kHeight, kResizer, kColorSpace,
                          kVideoPrefix, kRffMode});
}

Value FFAudioSource(Call& call) {
  return OpenAudio(call, kAudioSource, static_cast<int>(call.Int(kAudioTrack, MediaRequest::kBestStream)), kAudioPrefix);
}

// FFmpegSource2's parameters, in their documented order, then those of
// earlier and later releases, by name.
enum BothArg { kBothSource, kVideoTrack, kAudioTrackOfBoth, kBothCache, kBothCacheFile, kBothFpsNum, kBothFpsDen,
               kBothThreads, kBothTimecodes, kBothSeekMode, kOverwrite, kBothWidth, kBothHeight, kBothResizer,
               kBothColorSpace, kBothAdjustDelay, kBothPrefix, kBothRffMode, kBothUtf8, kBothFillGaps, kBothDrcScale };

// atrack -1 takes the first sound track, -2 and less none.
Value FFmpegSource2(Call& call) {
  ClipPtr video = OpenVideo(call, {kBothSource, kVideoTrack, kBothFpsNum, kBothFpsDen, kBothTimecodes, kBothWidth,
                                   kBothHeight, kBothResizer, kBothColorSpace, kBothPrefix, kBothRffMode});
  const int64_t audioTrack = call.Int(kAudioTrackOfBoth, -2);
  if (audioTrack <= -2) return video;
  ClipPtr audio = OpenAudio(call, kBothSource, audioTrack < 0 ? MediaRequest::kBestStream : static_cast<int>(audioTrack),
                            kBothPrefix);
  return call.interp.CallFunction("AudioDubEx", {video, audio}, call.origin);
}

// FFImageSource: a picture file as a clip of one frame.
Value FFImageSource(Call& call) {
  ClipPtr clip = OpenSourceFile(call, {call.Path(call.String(0, "")), true, false, true, false});
  clip = WithSizeNamed(call, clip, call.Int(1, -1), call.Int(2, -1), call.String(3, "BICUBIC"));
  return WithFormatNamed(call, clip, call.String(4, ""), "colorspace");
}

// FFIndex: there is no index to make; the file must open as FFMS2 would
// index it. 0 says that a valid index is there, as FFMS2 does.
Value FFIndex(Call& call) {
  OpenSourceFile(call, {call.Path(call.String(0, "")), true, true, false, false});
  return Value(0);
}

}  // namespace

void RegisterFfms2Plugin(FunctionTable& table) {
  table["ffvideosource"] = {kVideoParams, FFVideoSource};
  table["ffaudiosource"] = {kAudioParams, FFAudioSource};
  table["ffmpegsource2"] = {
      "source:s ?vtrack:i ?atrack:i ?cache:b ?cachefile:s ?fpsnum:i ?fpsden:i ?threads:i ?timecodes:s ?seekmode:i "
      "?overwrite:b ?width:i ?height:i ?resizer:s ?colorspace:s ?adjustdelay:i ?varprefix:s ?rffmode:i ?utf8:b "
      "?fillgaps:i ?drc_scale:f",
      FFmpegSource2};
  table["ffms2"] = table["ffmpegsource2"];
  table["ffimagesource"] = {"source:s ?width:i ?height:i ?resizer:s ?colorspace:s ?utf8:b ?varprefix:s", FFImageSource};
  table["ffindex"] = {
      "source:s ?cachefile:s ?indexmask:i ?dumpmask:i ?audiofile:s ?errorhandling:i ?overwrite:b ?utf8:b ?demuxer:s",
      FFIndex};
}

}  // namespace avs
