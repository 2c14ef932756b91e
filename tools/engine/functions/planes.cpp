// Planes: one channel of a picture shown alone or moved into another
// (ShowRed... ShowY..., ExtractY..., PlaneToY, UToY, VToY, AToY8, YToUV,
// SwapUV), pictures assembled from channels of several (MergeRGB, MergeARGB,
// CombinePlanes), and an alpha channel added or taken away.
// Samples move unchanged, at any integer depth (float pictures are not
// taken): luma and RGB are taken as full-range values, and
// a picture made of one channel has grey (128) chroma.
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/pixel_format.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace avs {

namespace {

using K = ChannelKind;

constexpr int kGrey = 128;  // in 8-bit units, as Level takes them
constexpr int kOpaque = 255;

// A level given in 8-bit units at the depth of `format`: 255 is the top.
int Level(AVPixelFormat format, int eightBit) {
  const int bits = BitsPerComponent(format);
  return eightBit == kOpaque ? (1 << bits) - 1 : eightBit << (bits - 8);
}

// Samples are copied whole: any integer depth, but not floats.
void RequireIntegers(const Call& call, AVPixelFormat format) {
  if (IsFloatFormat(format)) call.Fail(DepthName(format) + " pictures are not supported");
}

// The form of `format` at a clip's depth.
AVPixelFormat AtDepthOf(const Call& call, AVPixelFormat format, const ClipInfo& clip) {
  RequireIntegers(call, clip.pixelFormat);
  const int bits = BitsPerComponent(clip.pixelFormat);
  const AVPixelFormat deeper = AtDepth(format, bits);
  if (deeper == AV_PIX_FMT_NONE)
    call.Fail(std::string(PixelTypeName(format)) + " pictures cannot take " + std::to_string(bits) + " bits");
  return deeper;
}

// Where the samples of one channel of the result come from: channel `from`
// of input `input`, or the value `constant` when `input` is negative.
struct ChannelSource {
  K kind;
  int input = -1;
  K from = K::Y;
  int constant = 0;
};

const char* KindName(K kind) {
  static const char* const kNames[] = {"Y", "U", "V", "R", "G", "B", "alpha"};
  return kNames[static_cast<int>(kind)];
}

const Channel* Find(const std::vector<Channel>& channels, K kind) {
  for (const Channel& channel : channels)
    if (channel.kind == kind) return &channel;
  return nullptr;
}

// The channel `kind` of a clip's pictures; fails when the clip has none.
Channel ChannelOf(const Call& call, const ClipInfo& info, K kind) {
  RequireIntegers(call, info.pixelFormat);
  const std::vector<Channel> channels = ChannelsOf(info.pixelFormat, info.width, info.height);
  const Channel* channel = Find(channels, kind);
  if (!channel)
    call.Fail(std::string("a ") + PixelTypeName(info.pixelFormat) + " clip has no " + KindName(kind) + " channel");
  return *channel;
}

// Frames whose channels are copied from channels of the inputs' frames (of
// the same size) or set to constants; the properties are the first input's.
class ChannelMapClip : public PictureFilter {
 public:
  ChannelMapClip(const Call& call, const ClipInfo& info, std::vector<ClipPtr> inputs,
                 const std::vector<ChannelSource>& sources)
      : PictureFilter(info, call.origin, std::move(inputs)) {
    for (const Channel& out : ChannelsOf(info.pixelFormat, info.width, info.height)) {
      auto source = std::find_if(sources.begin(), sources.end(), [&](const ChannelSource& s) { return s.kind == out.kind; });
      // An alpha channel no source names is the first input's (YUVA through
      // SwapUV), or opaque.
      const ClipInfo& first = input(0).info();
      const ChannelSource alpha = HasChannel(first.pixelFormat, K::A) && first.width == info.width &&
                                          first.height == info.height
                                      ? ChannelSource{K::A, 0, K::A}
                                      : ChannelSource{K::A, -1, K::A, Level(info.pixelFormat, kOpaque)};
      const ChannelSource* chosen = source != sources.end() ? &*source : out.kind == K::A ? &alpha : nullptr;
      if (!chosen) call.Fail(std::string("nothing fills the ") + KindName(out.kind) + " channel");
      Copy copy{out, std::nullopt, chosen->constant};
      if (chosen->input >= 0) {
        const ClipInfo& from = input(static_cast<std::size_t>(chosen->input)).info();
        const Channel channel = ChannelOf(call, from, chosen->from);
        if (BitsPerComponent(from.pixelFormat) != BitsPerComponent(info.pixelFormat))
          call.Fail("a " + DepthName(info.pixelFormat) + " " + PixelTypeName(info.pixelFormat) + " result cannot take the " +
                    DepthName(from.pixelFormat) + " samples of a " + PixelTypeName(from.pixelFormat) + " clip");
        if (channel.width != out.width || channel.height != out.height)
          call.Fail(std::string("the ") + KindName(chosen->from) + " channel of the " +
                    std::to_string(from.width) + "x" + std::to_string(from.height) + " " +
                    PixelTypeName(from.pixelFormat) + " clip is " + std::to_string(channel.width) + "x" +
                    std::to_string(channel.height) + ", but the result's " + KindName(out.kind) + " channel is " +
                    std::to_string(out.width) + "x" + std::to_string(out.height));
        copy.from = channel;
        copy.input = chosen->input;
      }
      copies_.push_back(copy);
    }
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    std::vector<FrameRef> frames;
    for (std::size_t i = 0; i < inputs().size(); ++i) frames.push_back(in.Frame(i, n));
    FramePtr out = NewFrame(*frames[0]);
    for (const Copy& copy : copies_) {
      const Channel& to = copy.to;
      for (int y = 0; y < to.height; ++y) {
        uint8_t* row = to.Row(*out, y);
        const auto size = static_cast<std::size_t>(to.size);
        if (!copy.from) {
          const auto value8 = static_cast<uint8_t>(copy.constant);
          const auto value16 = static_cast<uint16_t>(copy.constant);  // little-endian, as the engine's formats
          const void* value = size == 1 ? static_cast<const void*>(&value8) : &value16;
          if (to.step == 1) std::memset(row, value8, static_cast<std::size_t>(to.width));
          else for (int x = 0; x < to.width; ++x) std::memcpy(row + x * to.step, value, size);
          continue;
        }
        const uint8_t* from = copy.from->Row(*frames[static_cast<std::size_t>(copy.input)], y);
        if (to.step == to.size && copy.from->step == to.size) std::memcpy(row, from, size * static_cast<std::size_t>(to.width));
        else for (int x = 0; x < to.width; ++x) std::memcpy(row + x * to.step, from + x * copy.from->step, size);
      }
    }
    return Share(std::move(out));
  }

 private:
  struct Copy {
    Channel to;
    std::optional<Channel> from;
    int constant;
    int input = 0;
  };
  std::vector<Copy> copies_;
};

ClipPtr MapChannels(const Call& call, ClipInfo info, std::vector<ClipPtr> inputs,
                    const std::vector<ChannelSource>& sources) {
  RequireIntegers(call, info.pixelFormat);
  CheckSize(call, info.width, info.height, info.pixelFormat);
  return std::make_shared<ChannelMapClip>(call, info, std::move(inputs), sources);
}

// The info of a picture in `format` of the given size, otherwise `like`'s.
ClipInfo Picture(const ClipInfo& like, AVPixelFormat format, int width, int height) {
  ClipInfo info = like;
  info.pixelFormat = format;
  info.width = width;
  info.height = height;
  return info;
}

// A picture in `format` showing one channel of `source` (channel `kind`):
// as luma with grey chroma, or as grey RGB keeping the source's alpha when
// both have one.
ClipPtr ShowChannel(const Call& call, const ClipPtr& source, K kind, AVPixelFormat format) {
  const ClipInfo& in = VideoOf(call, 0);
  const Channel channel = ChannelOf(call, in, kind);
  const ClipInfo info = Picture(in, format, channel.width, channel.height);
  std::vector<ChannelSource> sources;
  if (IsRgbFormat(format)) {
    for (K to : {K::R, K::G, K::B}) sources.push_back({to, 0, kind});
    const bool keepAlpha = HasChannel(in.pixelFormat, K::A) && channel.width == in.width && channel.height == in.height;
    sources.push_back(keepAlpha ? ChannelSource{K::A, 0, K::A} : ChannelSource{K::A, -1, K::A, Level(format, kOpaque)});
  } else {
    const int grey = Level(format, kGrey);
    sources = {{K::Y, 0, kind}, {K::U, -1, K::U, grey}, {K::V, -1, K::V, grey}};
  }
  return MapChannels(call, info, {source}, sources);
}

// RGB32 at a clip's depth: RGB64 at 16 bits, planar RGBA at the depths RGB
// has no packed form of.
AVPixelFormat Rgb32AtDepthOf(const Call& call, const ClipInfo& clip) {
  RequireIntegers(call, clip.pixelFormat);
  const AVPixelFormat packed = AtDepth(AV_PIX_FMT_BGRA, BitsPerComponent(clip.pixelFormat));
  return packed != AV_PIX_FMT_NONE ? packed : AtDepthOf(call, AV_PIX_FMT_GBRAP, clip);
}

// pixel_type of the Show functions: a type, or "rgb", "yuv" and "y" for
// RGB32, YV24 and Y8 at the clip's depth (planar RGB where RGB has no
// packed form); by default "rgb" for RGB sources and "yuv" for YUV.
AVPixelFormat ShowFormat(const Call& call, const ClipInfo& in, std::size_t at) {
  const std::string name = Lower(call.String(at, IsRgbFormat(in.pixelFormat) ? "rgb" : "yuv"));
  if (name == "rgb") return Rgb32AtDepthOf(call, in);
  if (name == "yuv") return AtDepthOf(call, AV_PIX_FMT_YUV444P, in);
  if (name == "y") return AtDepthOf(call, AV_PIX_FMT_GRAY8, in);
  return ParsePixelType(call, name);
}

Function Show(K kind) {
  return {"clip:c ?pixel_type:s", [kind](Call& call) -> Value {
            return ShowChannel(call, call.Clip(0), kind, ShowFormat(call, VideoOf(call, 0), 1));
          }};
}

Function Extract(K kind) {
  return {"clip:c", [kind](Call& call) -> Value {
            return ShowChannel(call, call.Clip(0), kind, AtDepthOf(call, AV_PIX_FMT_GRAY8, VideoOf(call, 0)));
          }};
}

K ParsePlane(const Call& call, const std::string& name) {
  static const std::pair<const char*, K> kPlanes[] = {{"y", K::Y}, {"u", K::U}, {"v", K::V}, {"r", K::R},
                                                      {"g", K::G}, {"b", K::B}, {"a", K::A}};
  for (auto [text, kind] : kPlanes)
    if (Lower(name) == text) return kind;
  call.Fail("unknown plane \"" + name + "\" (Y, U, V, R, G, B or A)");
}

Value PlaneToY(Call& call) {
  const AVPixelFormat grey = AtDepthOf(call, AV_PIX_FMT_GRAY8, VideoOf(call, 0));
  return ShowChannel(call, call.Clip(0), ParsePlane(call, call.String(1, "Y")), grey);
}

// UToY, VToY: the chroma channel as the luma of a picture of its size in the
// clip's own type; UToY8, VToY8 give Y8.
Function ChromaToLuma(K kind, bool y8) {
  return {"clip:c", [kind, y8](Call& call) -> Value {
            const ClipInfo& in = VideoOf(call, 0);
            if (IsRgbFormat(in.pixelFormat)) call.Fail("needs a YUV clip");
            return ShowChannel(call, call.Clip(0), kind, y8 ? AtDepthOf(call, AV_PIX_FMT_GRAY8, in) : in.pixelFormat);
          }};
}

// The planar YUV type whose chroma is 1/xDivisor and 1/yDivisor of its luma.
AVPixelFormat PlanarYuv(const Call& call, int xDivisor, int yDivisor) {
  if (xDivisor == 1 && yDivisor == 1) return AV_PIX_FMT_YUV444P;
  if (xDivisor == 2 && yDivisor == 1) return AV_PIX_FMT_YUV422P;
  if (xDivisor == 2 && yDivisor == 2) return AV_PIX_FMT_YUV420P;
  call.Fail("clipY's size must be 1 or 2 times the chroma clips' size across and 1 or 2 times down (not 1 across and 2 down)");
}

// YToUV(clipU, clipV [, clipY]): the luma of clipU and clipV as the chroma of
// a picture whose luma is clipY's, or grey in a size that the clips' type
// subsamples as they are subsampled.
Value YToUV(Call& call) {
  const ClipInfo& u = VideoOf(call, 0);
  const ClipInfo& v = VideoOf(call, 1);
  if (IsRgbFormat(u.pixelFormat) || IsRgbFormat(v.pixelFormat)) call.Fail("needs YUV clips");
  if (u.width != v.width || u.height != v.height) call.Fail("clipU and clipV must have the same size");
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(u.pixelFormat);
  const bool grey = desc->nb_components == 1;
  AVPixelFormat format = grey ? AtDepthOf(call, AV_PIX_FMT_YUV444P, u) : u.pixelFormat;
  int width = u.width << (grey ? 0 : desc->log2_chroma_w);
  int height = u.height << (grey ? 0 : desc->log2_chroma_h);
  std::vector<ClipPtr> inputs = {call.Clip(0), call.Clip(1)};
  ChannelSource luma{K::Y, -1, K::Y, Level(format, kGrey)};
  if (call.args[2].defined()) {
    const ClipInfo& y = VideoOf(call, 2);
    if (y.width % u.width || y.height % u.height) call.Fail("clipY's size must be a multiple of the chroma clips' size");
    width = y.width;
    height = y.height;
    if (format != AV_PIX_FMT_YUYV422) format = AtDepthOf(call, PlanarYuv(call, y.width / u.width, y.height / u.height), u);
    inputs.push_back(call.Clip(2));
    luma = {K::Y, 2, K::Y};
  }
  return MapChannels(call, Picture(u, format, width, height), inputs, {luma, {K::U, 0, K::Y}, {K::V, 1, K::Y}});
}

Value SwapUV(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  if (IsRgbFormat(in.pixelFormat) || !HasChannel(in.pixelFormat, K::U)) call.Fail("needs a YUV clip with chroma");
  return MapChannels(call, in, {call.Clip(0)}, {{K::Y, 0, K::Y}, {K::U, 0, K::V}, {K::V, 0, K::U}});
}

// The channel a MergeRGB input lends to `kind`: its own of that colour when
// it is RGB, else its luma.
ChannelSource LentChannel(const ClipInfo& from, int input, K kind) {
  return {kind, input, IsRgbFormat(from.pixelFormat) ? kind : K::Y};
}

// MergeRGB(clipR, clipG, clipB [, pixel_type]), MergeARGB(clipA, clipR,
// clipG, clipB): RGB32 at the clips' depth by default; another RGB type when
// asked. MergeRGB's alpha is 0.
Function MergeRgb(bool alpha) {
  const std::string clips = alpha ? "clipa:c clipr:c clipg:c clipb:c" : "clipr:c clipg:c clipb:c";
  return {clips + " ?pixel_type:s", [alpha](Call& call) -> Value {
            const std::size_t first = alpha ? 1 : 0;
            const ClipInfo& r = VideoOf(call, first);
            std::vector<ClipPtr> inputs;
            for (std::size_t i = 0; i < first + 3; ++i) {
              const ClipInfo& info = VideoOf(call, i);
              if (info.width != r.width || info.height != r.height) call.Fail("the clips must have the same size");
              inputs.push_back(call.Clip(i));
            }
            const AVPixelFormat format = call.args[first + 3].defined()
                                             ? ParsePixelType(call, call.String(first + 3, ""))
                                             : Rgb32AtDepthOf(call, r);
            if (!IsRgbFormat(format)) call.Fail("pixel_type must be an RGB type such as RGB24 or RGB32");
            std::vector<ChannelSource> sources;
            const K colours[] = {K::R, K::G, K::B};
            for (std::size_t i = 0; i < 3; ++i)
              sources.push_back(LentChannel(VideoOf(call, first + i), static_cast<int>(first + i), colours[i]));
            if (!alpha) {
              sources.push_back({K::A, -1, K::A, 0});
            } else {
              const ClipInfo& a = VideoOf(call, 0);
              if (IsRgbFormat(a.pixelFormat) && !HasChannel(a.pixelFormat, K::A)) call.Fail("clipA must have an alpha channel");
              sources.push_back(LentChannel(a, 0, K::A));
            }
            // The result takes its frame count, rate and sound from the first clip.
            ClipInfo info = Picture(VideoOf(call, 0), format, r.width, r.height);
            return MapChannels(call, info, inputs, sources);
          }};
}

// The pixel types with and without an alpha channel that AddAlphaPlane and
// RemoveAlphaPlane move between.
constexpr std::pair<AVPixelFormat, AVPixelFormat> kAlphaForms[] = {
    {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVA420P}, {AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUVA422P},
    {AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUVA444P}, {AV_PIX_FMT_BGR24, AV_PIX_FMT_BGRA},
    {AV_PIX_FMT_GBRP, AV_PIX_FMT_GBRAP}};

// The channels of `format` other than alpha, each taken from the same
// channel of input 0.
std::vector<ChannelSource> OwnChannels(AVPixelFormat format) {
  std::vector<ChannelSource> sources;
  for (const Channel& channel : ChannelsOf(format, 16, 16))
    if (channel.kind != K::A) sources.push_back({channel.kind, 0, channel.kind});
  return sources;
}

// AddAlphaPlane(clip [, mask]): the clip with an alpha channel (RGB24
// becomes RGB32), filled with the value `mask` (255, opaque, by default), or
// copied from a clip of the same size: a greyscale one's luma, else its alpha.
Value AddAlphaPlane(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  RequireIntegers(call, in.pixelFormat);
  const AVPixelFormat eightBit = AtDepth(in.pixelFormat, 8);
  const auto form = std::find_if(std::begin(kAlphaForms), std::end(kAlphaForms), [&](const auto& pair) {
    return pair.first == eightBit || pair.second == eightBit;
  });
  if (form == std::end(kAlphaForms))
    call.Fail(std::string("a ") + PixelTypeName(in.pixelFormat) + " clip cannot take an alpha channel");
  const AVPixelFormat format = AtDepthOf(call, form->second, in);
  std::vector<ChannelSource> sources = OwnChannels(format);
  std::vector<ClipPtr> inputs = {call.Clip(0)};
  const Value& mask = call.args[1];
  if (!mask.defined() || mask.isNumber()) {
    // A value in the clip's own levels: 0..255 at 8 bits, 0..1023 at 10.
    const int top = Level(format, kOpaque);
    const double value = mask.defined() ? mask.asFloat() : top;
    if (!(value >= 0 && value <= top))
      call.Fail("mask must be from 0 to " + std::to_string(top) + ", not " + mask.toText());
    sources.push_back({K::A, -1, K::A, static_cast<int>(std::lround(value))});
  } else if (mask.isClip()) {
    const ClipInfo& from = VideoOf(call, 1);
    if (from.width != in.width || from.height != in.height) call.Fail("the mask clip must have the clip's size");
    const K channel = av_pix_fmt_desc_get(from.pixelFormat)->nb_components == 1 ? K::Y : K::A;
    if (channel == K::A && !HasChannel(from.pixelFormat, K::A))
      call.Fail("the mask clip must be greyscale (Y8) or have an alpha channel");
    inputs.push_back(call.Clip(1));
    sources.push_back({K::A, 1, channel});
  } else {
    call.Fail(std::string("mask must be a number or a clip, not ") + mask.typeName());
  }
  return MapChannels(call, Picture(in, format, in.width, in.height), inputs, sources);
}

// RemoveAlphaPlane(clip): the clip without its alpha channel (RGB32 becomes
// RGB24); a clip without one is returned as it is.
Value RemoveAlphaPlane(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  if (!HasChannel(in.pixelFormat, K::A)) return call.Clip(0);
  RequireIntegers(call, in.pixelFormat);
  const AVPixelFormat eightBit = AtDepth(in.pixelFormat, 8);
  const auto form = std::find_if(std::begin(kAlphaForms), std::end(kAlphaForms),
                                 [&](const auto& pair) { return pair.second == eightBit; });
  if (form == std::end(kAlphaForms))
    call.Fail(std::string("a ") + PixelTypeName(in.pixelFormat) + " clip cannot take away its alpha channel");
  const AVPixelFormat format = AtDepthOf(call, form->first, in);
  return MapChannels(call, Picture(in, format, in.width, in.height), {call.Clip(0)}, OwnChannels(format));
}

// The channel letters of a CombinePlanes argument, at most four.
std::vector<K> PlaneLetters(const Call& call, const std::string& letters, const char* what) {
  if (letters.size() > 4) call.Fail(std::string(what) + " names at most four planes, not \"" + letters + "\"");
  std::vector<K> kinds;
  for (char letter : letters) kinds.push_back(ParsePlane(call, std::string(1, letter)));
  return kinds;
}

// The type CombinePlanes makes when neither pixel_type nor sample_clip says:
// greyscale for luma alone, else YUV or planar RGB (with alpha when a plane
// names it), subsampled as the first clip when that is YUV of the same kind.
AVPixelFormat CombinedFormat(const Call& call, const std::vector<K>& planes, const ClipInfo& first) {
  const bool alpha = std::find(planes.begin(), planes.end(), K::A) != planes.end();
  const bool rgb = std::any_of(planes.begin(), planes.end(), [](K k) { return k == K::R || k == K::G || k == K::B; });
  const bool chroma = std::any_of(planes.begin(), planes.end(), [](K k) { return k == K::U || k == K::V; });
  if (rgb && chroma) call.Fail("planes cannot mix YUV and RGB planes without a pixel_type");
  if (rgb) return AtDepthOf(call, alpha ? AV_PIX_FMT_GBRAP : AV_PIX_FMT_GBRP, first);
  if (!chroma && !alpha) return AtDepthOf(call, AV_PIX_FMT_GRAY8, first);
  const AVPixelFormat eightBit = AtDepth(first.pixelFormat, 8);
  for (const auto& [plain, withAlpha] : kAlphaForms)
    if (!IsRgbFormat(plain) && (eightBit == plain || eightBit == withAlpha))
      return AtDepthOf(call, alpha ? withAlpha : plain, first);
  return AtDepthOf(call, alpha ? AV_PIX_FMT_YUVA444P : AV_PIX_FMT_YUV444P, first);
}

// CombinePlanes(clip [, clip, clip, clip], planes, source_planes, pixel_type,
// sample_clip): plane i of the result, named by the i-th letter of planes,
// is the plane named by the i-th letter of source_planes of the i-th clip
// (the last clip for the planes beyond the clips). A clip's default source
// plane is the i-th of "YUVA" (greyscale and YUV) or "RGBA" (RGB). Planes
// no letter names are filled: chroma grey, alpha opaque, the others black.
Value CombinePlanes(Call& call) {
  const std::vector<Value>& clips = call.args[0].asArray().items;
  if (clips.size() > 4) call.Fail("takes at most four clips");
  for (const Value& clip : clips)
    if (!clip.asClip()->info().hasVideo) call.Fail("needs clips with video");
  const ClipInfo& first = clips[0].asClip()->info();
  const std::string planeText = call.String(1, "");
  if (planeText.empty()) call.Fail("planes must name the planes of the result, such as \"YUV\"");
  const std::vector<K> planes = PlaneLetters(call, planeText, "planes");
  const std::vector<K> named = PlaneLetters(call, call.String(2, ""), "source_planes");
  if (!named.empty() && named.size() != planes.size())
    call.Fail("source_planes must name as many planes as planes (" + std::to_string(planes.size()) + ")");

  AVPixelFormat format = AV_PIX_FMT_NONE;
  if (call.args[3].defined()) format = ParsePixelType(call, call.String(3, ""));
  else if (call.args[4].defined()) format = VideoOf(call, 4).pixelFormat;
  else format = CombinedFormat(call, planes, first);

  std::vector<ClipPtr> inputs;
  for (const Value& clip : clips) inputs.push_back(clip.asClip());
  std::vector<ChannelSource> sources;
  for (std::size_t i = 0; i < planes.size(); ++i) {
    if (!HasChannel(format, planes[i]))
      call.Fail(std::string("a ") + PixelTypeName(format) + " result has no " + KindName(planes[i]) + " plane");
    for (std::size_t j = 0; j < i; ++j)
      if (planes[j] == planes[i]) call.Fail(std::string("planes names ") + KindName(planes[i]) + " twice");
    const std::size_t input = std::min(i, clips.size() - 1);
    const ClipInfo& from = inputs[input]->info();
    static constexpr K kYuvOrder[] = {K::Y, K::U, K::V, K::A};
    static constexpr K kRgbOrder[] = {K::R, K::G, K::B, K::A};
    const K source = !named.empty() ? named[i] : IsRgbFormat(from.pixelFormat) ? kRgbOrder[i] : kYuvOrder[i];
    sources.push_back({planes[i], static_cast<int>(input), source});
  }
  for (const Channel& channel : ChannelsOf(format, 16, 16)) {
    const bool chosen = std::any_of(sources.begin(), sources.end(), [&](const ChannelSource& s) { return s.kind == channel.kind; });
    const int fill = channel.kind == K::U || channel.kind == K::V ? kGrey : channel.kind == K::A ? kOpaque : 0;
    if (!chosen) sources.push_back({channel.kind, -1, channel.kind, Level(format, fill)});
  }
  // The size is the first target plane's source's, scaled back up when that
  // plane is subsampled in the result.
  const ClipInfo& sizer = inputs[0]->info();
  const Channel sourcePlane = ChannelOf(call, sizer, sources[0].from);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  const bool chromaPlane = planes[0] == K::U || planes[0] == K::V;
  const int width = sourcePlane.width << (chromaPlane ? desc->log2_chroma_w : 0);
  const int height = sourcePlane.height << (chromaPlane ? desc->log2_chroma_h : 0);
  return MapChannels(call, Picture(first, format, width, height), inputs, sources);
}

}  // namespace

void RegisterPlaneFunctions(FunctionTable& table) {
  table["showred"] = Show(K::R);
  table["showgreen"] = Show(K::G);
  table["showblue"] = Show(K::B);
  table["showalpha"] = Show(K::A);
  table["showy"] = Show(K::Y);
  table["showu"] = Show(K::U);
  table["showv"] = Show(K::V);
  table["extracty"] = Extract(K::Y);
  table["extractu"] = Extract(K::U);
  table["extractv"] = Extract(K::V);
  table["extractr"] = Extract(K::R);
  table["extractg"] = Extract(K::G);
  table["extractb"] = Extract(K::B);
  table["extracta"] = Extract(K::A);
  table["planetoy"] = {"clip:c ?plane:s", PlaneToY};
  table["utoy"] = ChromaToLuma(K::U, false);
  table["vtoy"] = ChromaToLuma(K::V, false);
  table["utoy8"] = ChromaToLuma(K::U, true);
  table["vtoy8"] = ChromaToLuma(K::V, true);
  table["atoy8"] = Extract(K::A);
  table["ytouv"] = {"clipu:c clipv:c ?clipy:c", YToUV};
  table["swapuv"] = {"clip:c", SwapUV};
  table["mergergb"] = MergeRgb(false);
  table["mergeargb"] = MergeRgb(true);
  table["addalphaplane"] = {"clip:c ?mask:.", AddAlphaPlane};
  table["removealphaplane"] = {"clip:c", RemoveAlphaPlane};
  table["combineplanes"] = {"clips:c+ ?planes:s ?source_planes:s ?pixel_type:s ?sample_clip:c", CombinePlanes};
}

}  // namespace avs
