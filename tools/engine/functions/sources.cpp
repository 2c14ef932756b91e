// Sources and generators: media files (AviSource and its kin,
// DirectShowSource, WavSource), image sequences and BlankClip. The source
// plugins' functions (FFMS2, L-SMASH Works) are in plugins/.
#include "tools/engine/filter.h"
#include "tools/engine/functions/bit_depth.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/input.h"
#include "tools/engine/media.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/samples.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace avs {

namespace {

// The picture and sound of one file for AviSource and its kin: an .avs is
// evaluated apart, as AviSynth's AVI reader serves a script, other files
// are decoded; `video` and `audio` choose the file's streams by their
// number among those of their kind (-1: the first).
ClipPtr AviFile(Call& call, const std::string& name, bool withAudio, int videoTrack, int audioTrack) {
  const std::string path = call.Path(name);
  if (EndsWithNoCase(path, ".avs")) {
    const Value value = call.interp.RunFileApart(path, call.origin, call.functionName);
    if (!value.isClip() || !value.asClip()->info().hasVideo) call.Fail(name + " gives no video");
    const ClipPtr& clip = value.asClip();
    return withAudio || !clip->info().hasAudio ? clip : call.interp.CallFunction("KillAudio", {clip}, call.origin).asClip();
  }
  MediaRequest request{path, true, withAudio, true, false};
  if (videoTrack >= 0) request.videoStream = StreamOfKind(path, true, videoTrack, call.origin);
  if (withAudio && audioTrack >= 0) request.audioStream = StreamOfKind(path, false, audioTrack, call.origin);
  return OpenSourceFile(call, request);
}

// AviSource's parameters; the names given after the first come in `rest`,
// followed by the audio switch and the pixel type when given by position.
enum AviArg { kAviFile, kAviMore, kAviAudio, kAviPixelType, kAviFourCC, kAviVideoTrack, kAviAudioTrack, kAviUtf8 };

// The files AviSource names, and its audio and pixel_type arguments
// wherever they stand.
std::vector<std::string> AviFileNames(Call& call, Value& audio, Value& pixelType) {
  std::vector<std::string> names{call.String(kAviFile, "")};
  std::size_t i = 0;
  for (; i < call.rest.size() && call.rest[i].isString(); ++i) names.push_back(call.rest[i].asString());
  audio = call.args[kAviAudio];
  pixelType = call.args[kAviPixelType];
  if (i < call.rest.size() && call.rest[i].isBool() && !audio.defined()) audio = call.rest[i++];
  if (i < call.rest.size() && call.rest[i].isString() && !pixelType.defined()) pixelType = call.rest[i++];
  if (i < call.rest.size()) call.Fail("unexpected " + std::string(call.rest[i].typeName()) + " after the file names");
  return names;
}

// AviSource("a.avi", "b.avi", ..., audio, pixel_type, fourCC, vtrack,
// atrack): several files play one after the other, joined as AlignedSplice
// joins clips. A FourCC picks a codec on Windows; libavcodec picks its own.
ClipPtr AviFiles(Call& call, const std::vector<std::string>& names, const Value& audio, const Value& pixelType) {
  const int videoTrack = static_cast<int>(call.Int(kAviVideoTrack, -1));
  const int audioTrack = static_cast<int>(call.Int(kAviAudioTrack, -1));
  std::vector<ClipPtr> parts;
  for (const std::string& name : names)
    parts.push_back(WithPixelType(call, AviFile(call, name, !audio.defined() || audio.asBool(), videoTrack, audioTrack),
                                  pixelType.defined() ? pixelType.asString() : "AUTO"));
  return parts.size() == 1 ? parts[0] : SpliceClips(call, std::move(parts), true);
}

Value AviSource(Call& call) {
  Value audio, pixelType;
  const std::vector<std::string> names = AviFileNames(call, audio, pixelType);
  return AviFiles(call, names, audio, pixelType);
}

// SegmentedAviSource("clip.avi"): clip.00.avi, clip.01.avi ... clip.99.avi,
// those that exist, one after the other.
std::vector<std::string> Segments(const Call& call, const std::string& base) {
  const std::size_t dot = base.rfind('.');
  const std::size_t slash = base.rfind('/');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = hasExtension ? base.substr(0, dot) : base, extension = hasExtension ? base.substr(dot) : "";
  std::vector<std::string> segments;
  for (int i = 0; i < 100; ++i) {
    const std::string name = stem + "." + (i < 10 ? "0" : "") + std::to_string(i) + extension;
    std::error_code error;
    if (std::filesystem::is_regular_file(call.Path(name), error)) segments.push_back(name);
  }
  if (segments.empty())
    call.Fail("no segment of " + base + " (" + stem + ".00" + extension + " to " + stem + ".99" + extension + ") exists");
  return segments;
}

Value SegmentedAviSource(Call& call) {
  Value audio, pixelType;
  std::vector<std::string> segments;
  for (const std::string& base : AviFileNames(call, audio, pixelType)) {
    const std::vector<std::string> found = Segments(call, base);
    segments.insert(segments.end(), found.begin(), found.end());
  }
  return AviFiles(call, segments, audio, pixelType);
}

// DirectShowSource's parameters, in their documented order.
enum ShowArg { kShowFile, kShowFps, kShowSeek, kShowAudio, kShowVideo, kShowConvertFps, kShowSeekZero, kShowTimeout,
               kShowPixelType, kShowFrameCount, kShowLogFile, kShowLogMask };

// DirectShowSource: the file's picture and sound as libavformat finds them.
// fps relabels the frames (with convertfps, frames are dropped or repeated
// to reach it, in WithSourceTiming); seek, seekzero, timeout and the log
// have no effect here.
ClipPtr DirectShowFile(Call& call, const std::string& name) {
  const bool video = call.Bool(kShowVideo, true), audio = call.Bool(kShowAudio, true);
  if (!video && !audio) call.Fail("needs video or audio (or both)");
  MediaRequest request{call.Path(name), video, audio, false, false};
  request.needVideo = video && !audio;
  request.needAudio = audio && !video;
  ClipPtr clip = OpenSourceFile(call, request);
  if (call.args[kShowFps].defined() && clip->info().hasVideo)
    clip = WithFrameRate(call, clip, FloatRate(call, call.Float(kShowFps, 0)));
  return WithPixelType(call, clip, call.String(kShowPixelType, "AUTO"));
}

Value DirectShowSource(Call& call) { return DirectShowFile(call, call.String(kShowFile, "")); }

Value SegmentedDirectShowSource(Call& call) {
  std::vector<ClipPtr> parts;
  for (const std::string& segment : Segments(call, call.String(kShowFile, ""))) parts.push_back(DirectShowFile(call, segment));
  return parts.size() == 1 ? parts[0] : SpliceClips(call, std::move(parts), true);
}

// WavSource("a.wav", "b.wav", ...): the sound of each file (any media file's
// sound), one after the other.
Value WavSource(Call& call) {
  std::vector<std::string> names{call.String(0, "")};
  for (const Value& more : call.rest) names.push_back(more.asString());
  std::vector<ClipPtr> parts;
  for (const std::string& name : names) parts.push_back(OpenSourceFile(call, {call.Path(name), false, true, false, true}));
  return parts.size() == 1 ? parts[0] : SpliceClips(call, std::move(parts), true);
}

Value ImageSource(Call& call) {
  Rational fps{24, 1};
  if (call.args[3].isInt()) fps = CheckedRate(call, call.Int(3, 24), 1);
  else if (call.args[3].isFloat()) fps = FloatRate(call, call.Float(3, 24));
  ClipPtr images = OpenImageSequence(call.Path(call.String(0, "")), call.Int(1, 0), call.Int(2, 1000), fps, call.origin);
  return WithPixelType(call, images, call.String(6, "AUTO"));
}

// A picture of one colour, made on the first request and shared by every
// frame; made again only when the cache has dropped it meanwhile, so that
// clips that are never read take no memory. The sound is silence.
class BlankClip : public Clip {
 public:
  // The colour is $RRGGBB, or $YYUUVV when `yuv` is set.
  BlankClip(ClipInfo info, std::string origin, uint32_t color, bool yuv)
      : Clip(info, std::move(origin)), color_(color), yuv_(yuv) {}

  std::unique_ptr<VideoStream> OpenVideo(Reading&) const override {
    return FramesFrom(
        [this, made = std::weak_ptr<const AVFrame>()](int64_t) mutable {
          FrameRef frame = made.lock();
          if (!frame) made = frame = Paint();
          return frame;
        },
        true);
  }
  std::unique_ptr<AudioStream> OpenAudio(Reading&) const override {
    return SamplesFrom([this](void* dst, int64_t, int64_t count) {
      FillSilence(dst, info().sampleType, static_cast<std::size_t>(count) * info().channels);
    });
  }

 private:
  // A 2x2 picture of the colour (RGB, or YUV 4:4:4 for a YUV colour) is
  // converted like any picture, and its first row, which covers every
  // plane's repeating unit, is repeated over the whole frame.
  FrameRef Paint() const {
    const uint8_t a = (color_ >> 16) & 0xFF, b = (color_ >> 8) & 0xFF, c = color_ & 0xFF;
    FramePtr swatch = NewPicture(2, 2, yuv_ ? AV_PIX_FMT_YUV444P : AV_PIX_FMT_BGRA);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) {
        if (yuv_) {
          swatch->data[0][y * swatch->linesize[0] + x] = a;
          swatch->data[1][y * swatch->linesize[1] + x] = b;
          swatch->data[2][y * swatch->linesize[2] + x] = c;
          continue;
        }
        uint8_t* pixel = swatch->data[0] + y * swatch->linesize[0] + 4 * x;
        pixel[0] = c;
        pixel[1] = b;
        pixel[2] = a;
        pixel[3] = 0xFF;
      }
    const AVPixelFormat format = info().pixelFormat, eightBit = AtDepth(format, 8);
    FramePtr unit = Scaler(2, 2, eightBit, SWS_POINT, Matrix::Rec601).Convert(*swatch, origin());
    // Deeper pictures take the 8-bit colour carried to their depth.
    if (eightBit != format) unit = ChangeDepth(*unit, PlainDepthChange(eightBit, format), origin());
    FramePtr frame = NewPicture(info().width, info().height, format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    for (int plane = 0; plane < av_pix_fmt_count_planes(format); ++plane) {
      const bool chroma = plane == 1 || plane == 2;
      const int rows = chroma ? AV_CEIL_RSHIFT(info().height, desc->log2_chroma_h) : info().height;
      const int rowBytes = av_image_get_linesize(format, info().width, plane);
      const int unitBytes = av_image_get_linesize(format, 2, plane);
      uint8_t* first = frame->data[plane];
      for (int x = 0; x < rowBytes; x += unitBytes)
        std::memcpy(first + x, unit->data[plane], static_cast<std::size_t>(std::min(unitBytes, rowBytes - x)));
      for (int y = 1; y < rows; ++y)
        std::memcpy(first + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane], first, static_cast<std::size_t>(rowBytes));
    }
    frame->colorspace = unit->colorspace;
    frame->color_range = unit->color_range;
    return Share(std::move(frame));
  }

  uint32_t color_;
  bool yuv_;
};

// BlankClip's sample_type names.
SampleType ParseSampleType(const Call& call, const std::string& name) {
  static const std::pair<const char*, SampleType> kTypes[] = {{"8bit", SampleType::U8},
                                                              {"16bit", SampleType::S16},
                                                              {"24bit", SampleType::S24},
                                                              {"32bit", SampleType::S32},
                                                              {"float", SampleType::Float}};
  const std::string lower = Lower(name);
  for (const auto& [text, type] : kTypes)
    if (lower == text) return type;
  call.Fail("sample_type must be \"8bit\", \"16bit\", \"24bit\", \"32bit\" or \"float\", not \"" + name + "\"");
}

// The parameters in AviSynth's order; the ninth and tenth take either the
// number of channels and the sample type or the older stereo and
// sixteen_bit switches, which may also be named.
enum BlankArg {
  kTemplate, kLength, kWidth, kHeight, kPixelType, kFps, kFpsDenominator, kAudioRate, kChannels, kSampleType,
  kColor, kColorYuv, kStereo, kSixteenBit
};

Value MakeBlankClip(Call& call) {
  const bool hasTemplate = call.args[kTemplate].defined();
  const ClipInfo templ = hasTemplate ? call.Clip(kTemplate)->info() : ClipInfo{};
  const auto given = [&call](int arg) { return call.args[static_cast<std::size_t>(arg)].defined(); };

  Value channelsArg = call.args[kChannels], sampleTypeArg = call.args[kSampleType];
  Value stereo = call.args[kStereo], sixteenBit = call.args[kSixteenBit];
  if (channelsArg.isBool()) {
    if (stereo.defined()) call.Fail("stereo is given twice");
    stereo = channelsArg;
    channelsArg = Value();
  } else if (channelsArg.defined() && !channelsArg.isInt()) {
    call.Fail("channels must be an int, not " + std::string(channelsArg.typeName()));
  }
  if (sampleTypeArg.isBool()) {
    if (sixteenBit.defined()) call.Fail("sixteen_bit is given twice");
    sixteenBit = sampleTypeArg;
    sampleTypeArg = Value();
  } else if (sampleTypeArg.defined() && !sampleTypeArg.isString()) {
    call.Fail("sample_type must be a string, not " + std::string(sampleTypeArg.typeName()));
  }
  if (channelsArg.defined() && stereo.defined()) call.Fail("give channels or stereo, not both");

  // A template gives the defaults of what it has; where it has no picture
  // (or no sound) the clip has none either, unless an argument of that kind
  // asks for one, and the rest of that kind then takes the usual defaults.
  const bool videoAsked = given(kWidth) || given(kHeight) || given(kPixelType);
  const bool audioAsked = given(kAudioRate) || channelsArg.defined() || stereo.defined() ||
                          sampleTypeArg.defined() || sixteenBit.defined();
  const bool fromVideo = hasTemplate && templ.hasVideo;
  const bool fromAudio = hasTemplate && templ.hasAudio;

  ClipInfo info;
  info.hasVideo = !hasTemplate || templ.hasVideo || videoAsked;
  if (info.hasVideo) {
    info.pixelFormat = given(kPixelType) || !fromVideo ? ParsePixelType(call, call.String(kPixelType, "RGB32"))
                                                       : templ.pixelFormat;
    const int64_t width = call.Int(kWidth, fromVideo ? templ.width : 640);
    const int64_t height = call.Int(kHeight, fromVideo ? templ.height : 480);
    CheckSize(call, width, height, info.pixelFormat);
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);
    info.fieldBased = fromVideo && templ.fieldBased;
    info.topFieldFirst = fromVideo && templ.topFieldFirst;
  }
  const Value& fps = call.args[kFps];
  if (fps.isFloat()) info.fps = FloatRate(call, fps.asFloat());
  else if (fps.defined() || given(kFpsDenominator) || !fromVideo)
    info.fps = CheckedRate(call, call.Int(kFps, 24), call.Int(kFpsDenominator, 1));
  else info.fps = templ.fps;
  info.frameCount = call.Int(kLength, fromVideo ? templ.frameCount : 240);
  if (info.frameCount <= 0 || info.frameCount > kMaxFrames) call.Fail("the length is out of range");

  const int64_t rate = call.Int(kAudioRate, fromAudio ? templ.sampleRate : 44100);
  int64_t channels = fromAudio ? templ.channels : 1;
  if (channelsArg.defined()) channels = channelsArg.asInt();
  if (stereo.defined()) channels = stereo.asBool() ? 2 : 1;
  // sixteen_bit=false once meant 8-bit samples; both now give 16 bits, or
  // the template's type.
  info.sampleType = fromAudio ? templ.sampleType : SampleType::S16;
  if (sampleTypeArg.defined()) info.sampleType = ParseSampleType(call, sampleTypeArg.asString());
  const bool soundWanted = hasTemplate ? (templ.hasAudio || audioAsked) : true;
  if (soundWanted && rate > 0 && channels > 0) {
    if (rate > kMaxSampleRate || channels > kMaxChannels) call.Fail("the sound format is out of range");
    info.hasAudio = true;
    info.sampleRate = static_cast<int>(rate);
    info.channels = static_cast<int>(channels);
    info.sampleCount = !info.hasVideo && fromAudio && !given(kLength) ? templ.sampleCount
                                                                      : SamplesForFrames(info.frameCount, info);
    if (info.sampleCount > kMaxSamples) call.Fail("the sound would be too long");
  }
  if (!info.hasVideo) {
    info.frameCount = 0;
    info.fps = {};
  }
  if (!info.hasVideo && !info.hasAudio) call.Fail("the clip would have neither picture nor sound");

  // color_yuv is $YYUUVV; it takes the place of color.
  const bool yuv = given(kColorYuv);
  const int64_t color = yuv ? call.Int(kColorYuv, 0) : call.Int(kColor, 0);
  return std::make_shared<BlankClip>(info, call.origin, static_cast<uint32_t>(color & 0xFFFFFF), yuv);
}

}  // namespace

ClipPtr OpenSourceFile(Call& call, const MediaRequest& request, MediaFacts* facts) {
  call.interp.NoteInputFile(request.path);
  return OpenMedia(request, call.origin, facts);
}

void RegisterSourceFunctions(FunctionTable& table) {
  const std::string aviParams = "filename:s more:.* ?audio:b ?pixel_type:s ?fourcc:s ?vtrack:i ?atrack:i ?utf8:b";
  for (const char* name : {"avisource", "avifilesource", "opendmlsource"}) table[name] = {aviParams, AviSource};
  table["segmentedavisource"] = {"base_filename:s more:.* ?audio:b ?pixel_type:s ?fourcc:s ?vtrack:i ?atrack:i ?utf8:b",
                                 SegmentedAviSource};
  const std::string showParams = "filename:s ?fps:f ?seek:b ?audio:b ?video:b ?convertfps:b ?seekzero:b ?timeout:i "
                                 "?pixel_type:s ?framecount:i ?logfile:s ?logmask:i ?utf8:b";
  table["directshowsource"] =
      WithSourceTiming({showParams, DirectShowSource}, kShowFps, kShowConvertFps, kShowFrameCount);
  table["segmenteddirectshowsource"] =
      WithSourceTiming({showParams, SegmentedDirectShowSource}, kShowFps, kShowConvertFps, kShowFrameCount);
  table["wavsource"] = {"filename:s more:s* ?utf8:b", WavSource};
  // use_DevIL and info choose AviSynth's image library and a text on the
  // frames; libavcodec reads the pictures here.
  table["imagesource"] = {"file:s ?start:i ?end:i ?fps:f ?use_devil:b ?info:b ?pixel_type:s", ImageSource};
  table["blankclip"] = {"?clip:c ?length:i ?width:i ?height:i ?pixel_type:s ?fps:f ?fps_denominator:i "
                        "?audio_rate:i ?channels:. ?sample_type:. ?color:i ?color_yuv:i ?stereo:b ?sixteen_bit:b",
                        MakeBlankClip};
  table["blackness"] = table["blankclip"];
}

}  // namespace avs
