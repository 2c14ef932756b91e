// Layout: the picture's size and place. Crop, flips and turns, borders,
// stacking and the 2:1 reductions (the resizers are in resize.cpp, Overlay
// and Layer in compositing.cpp).
#include "tools/engine/filter.h"
#include "tools/engine/functions/bit_depth.h"
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace avs {

namespace {

// A part of the input's frames: references with moved plane pointers, no
// pixel copied, unless the part is a small one of a large picture.
class CropClip : public FrameFilter {
 public:
  CropClip(ClipInfo info, std::string origin, ClipPtr source, int left, int top)
      : FrameFilter(info, std::move(origin), {std::move(source)}) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info.pixelFormat);
    for (int plane = 0; plane < av_pix_fmt_count_planes(info.pixelFormat); ++plane) {
      const bool chroma = plane == 1 || plane == 2;
      rows_[plane] = chroma ? top >> desc->log2_chroma_h : top;
      bytes_[plane] = left ? av_image_get_linesize(info.pixelFormat, left, plane) : 0;
    }
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FramePtr out = Reference(*in.Frame(0, n));
    for (int plane = 0; plane < 4 && out->data[plane]; ++plane)
      out->data[plane] += static_cast<std::ptrdiff_t>(rows_[plane]) * out->linesize[plane] + bytes_[plane];
    out->width = info().width;
    out->height = info().height;
    return Share(WithoutLargeParent(std::move(out)));
  }
  bool Costly() const override { return false; }

 private:
  int rows_[4] = {}, bytes_[4] = {};
};

// Crop(left, top, width, height): a width or height of 0 or less counts from
// the right or bottom edge.
ClipPtr MakeCrop(const Call& call, const ClipPtr& source, int64_t left, int64_t top, int64_t width, int64_t height) {
  const ClipInfo& in = source->info();
  auto outside = [&] {
    call.Fail("the area " + std::to_string(left) + "," + std::to_string(top) + " " + std::to_string(width) + "x" +
              std::to_string(height) + " is not inside the " + std::to_string(in.width) + "x" +
              std::to_string(in.height) + " picture");
  };
  // Values no picture can hold are refused before any sum of them.
  for (int64_t value : {left, top, width, height})
    if (value < -kMaxPictureSide || value > kMaxPictureSide) outside();
  if (width <= 0) width = in.width - left + width;
  if (height <= 0) height = in.height - top + height;
  if (left < 0 || top < 0 || width <= 0 || height <= 0 || left + width > in.width || top + height > in.height)
    outside();
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(in.pixelFormat);
  if ((desc->log2_chroma_w > 0 && (left % 2 || width % 2)) || (desc->log2_chroma_h > 0 && (top % 2 || height % 2)))
    call.Fail(std::string(PixelTypeName(in.pixelFormat)) + " can only be cropped by even numbers");
  if (left == 0 && top == 0 && width == in.width && height == in.height) return source;
  ClipInfo info = in;
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  return std::make_shared<CropClip>(info, call.origin, source, static_cast<int>(left), static_cast<int>(top));
}

// A flip or a turn through libavfilter; `turns` swaps the picture's sides.
Function Turn(const char* filter, bool turns) {
  return {"clip:c", [filter, turns](Call& call) -> Value {
            ClipInfo info = VideoOf(call, 0);
            if (turns) {
              std::swap(info.width, info.height);
              CheckSize(call, info.width, info.height, info.pixelFormat);
            }
            return MakeGraphClip(info, call.origin, {call.Clip(0)}, filter);
          }};
}

// A sample of each channel kind, as the format stores it: its bits (a
// float's too) in the low 8, 16 or 32 bits.
using Samples = std::array<uint32_t, kChannelKinds>;

// A rectangle of the picture in luma samples, [x0, x1) x [y0, y1).
struct Area {
  int x0, y0, x1, y1;
};

// Paints `area` of every channel with its sample of `samples`; the area's
// edges are even where the format subsamples.
void Paint(AVFrame& frame, const std::vector<Channel>& channels, int width, int height, const Area& area,
           const Samples& samples) {
  if (area.x1 <= area.x0 || area.y1 <= area.y0) return;
  for (const Channel& channel : channels) {
    const int sx = channel.width < width ? 1 : 0, sy = channel.height < height ? 1 : 0;
    const uint32_t sample = samples[static_cast<int>(channel.kind)];
    for (int y = area.y0 >> sy; y < area.y1 >> sy; ++y) {
      uint8_t* row = channel.Row(frame, y);
      if (channel.step == 1) {
        std::memset(row + (area.x0 >> sx), static_cast<int>(sample),
                    static_cast<std::size_t>((area.x1 >> sx) - (area.x0 >> sx)));
      } else {
        for (int x = area.x0 >> sx; x < area.x1 >> sx; ++x)
          std::memcpy(row + static_cast<std::ptrdiff_t>(x) * channel.step, &sample, static_cast<std::size_t>(channel.size));
      }
    }
  }
}

// One colour as the samples of each channel of a pixel format: the RGB
// colour $AARRGGBB converted the way BlankClip converts it (Rec.601, limited
// range), or for YUV pictures the $YYUUVV of `yuv` taken as it is. RGB32's
// alpha is the colour's top byte. Deeper pictures take the 8-bit colour
// carried to their depth.
Samples ColourSamples(const Call& call, AVPixelFormat format, int64_t colour, const Value& yuv) {
  const AVPixelFormat eightBit = AtDepth(format, 8);
  const auto value = static_cast<uint32_t>(colour);
  auto byte = [](uint32_t v, int shift) { return static_cast<uint8_t>((v >> shift) & 0xFF); };
  FramePtr unit;
  if (IsRgbFormat(format) || yuv.defined()) {
    const auto v = IsRgbFormat(format) ? value : static_cast<uint32_t>(yuv.asInt());
    const std::pair<ChannelKind, int> shifts[] = {{ChannelKind::R, 16}, {ChannelKind::G, 8}, {ChannelKind::B, 0},
                                                  {ChannelKind::A, 24}, {ChannelKind::Y, 16}, {ChannelKind::U, 8},
                                                  {ChannelKind::V, 0}};
    Samples bytes{};
    for (auto [kind, shift] : shifts) bytes[static_cast<int>(kind)] = byte(v, shift);
    if (eightBit == format) return bytes;
    unit = NewPicture(2, 2, eightBit);
    Paint(*unit, ChannelsOf(eightBit, 2, 2), 2, 2, {0, 0, 2, 2}, bytes);
  } else {
    FramePtr swatch = NewPicture(2, 2, AV_PIX_FMT_BGRA);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) {
        uint8_t* pixel = swatch->data[0] + y * swatch->linesize[0] + 4 * x;
        pixel[0] = byte(value, 0);
        pixel[1] = byte(value, 8);
        pixel[2] = byte(value, 16);
        pixel[3] = 0xFF;
      }
    unit = Scaler(2, 2, eightBit, SWS_POINT, Matrix::Rec601).Convert(*swatch, call.origin);
  }
  if (eightBit != format) unit = ChangeDepth(*unit, PlainDepthChange(eightBit, format), call.origin);
  Samples samples{};
  for (const Channel& channel : ChannelsOf(format, 2, 2))
    std::memcpy(&samples[static_cast<int>(channel.kind)], channel.Row(*unit, 0), static_cast<std::size_t>(channel.size));
  return samples;
}

// Refuses a negative size and an odd one where the format subsamples that
// direction.
void CheckBorder(const Call& call, const ClipInfo& in, int64_t value, bool horizontal, const char* name) {
  if (value < 0 || value > kMaxPictureSide)
    call.Fail(std::string(name) + " must be between 0 and " + std::to_string(kMaxPictureSide));
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(in.pixelFormat);
  if (value % 2 && (horizontal ? desc->log2_chroma_w : desc->log2_chroma_h) > 0)
    call.Fail(std::string(PixelTypeName(in.pixelFormat)) + " needs an even " + name);
}

// AddBorders: the input's picture inside borders of one colour.
class BorderClip : public PictureFilter {
 public:
  BorderClip(ClipInfo info, std::string origin, ClipPtr source, int left, int top,
             Samples samples)
      : PictureFilter(info, std::move(origin), {std::move(source)}),
        left_(left),
        top_(top),
        samples_(samples),
        channels_(ChannelsOf(info.pixelFormat, info.width, info.height)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const ClipInfo& inner = in.Info(0);
    const int w = info().width, h = info().height, right = left_ + inner.width, bottom = top_ + inner.height;
    Paint(*out, channels_, w, h, {0, 0, w, top_}, samples_);
    Paint(*out, channels_, w, h, {0, bottom, w, h}, samples_);
    Paint(*out, channels_, w, h, {0, top_, left_, bottom}, samples_);
    Paint(*out, channels_, w, h, {right, top_, w, bottom}, samples_);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info().pixelFormat);
    for (int plane = 0; plane < av_pix_fmt_count_planes(info().pixelFormat); ++plane) {
      const bool chroma = plane == 1 || plane == 2;
      const int rows = chroma ? inner.height >> desc->log2_chroma_h : inner.height;
      const int firstRow = chroma ? top_ >> desc->log2_chroma_h : top_;
      const int skip = av_image_get_linesize(info().pixelFormat, left_, plane);
      av_image_copy_plane(out->data[plane] + static_cast<std::ptrdiff_t>(firstRow) * out->linesize[plane] + skip,
                          out->linesize[plane], source->data[plane], source->linesize[plane],
                          av_image_get_linesize(info().pixelFormat, inner.width, plane), rows);
    }
    return Share(std::move(out));
  }

 private:
  int left_, top_;
  Samples samples_;
  std::vector<Channel> channels_;
};

// Letterbox: areas at the edges of the input's picture painted over.
class LetterboxClip : public FrameFilter {
 public:
  LetterboxClip(std::string origin, ClipPtr source, std::vector<Area> areas, Samples samples)
      : FrameFilter(source->info(), std::move(origin), {source}),
        areas_(std::move(areas)),
        samples_(samples),
        channels_(ChannelsOf(info().pixelFormat, info().width, info().height)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FramePtr out = WritableCopy(*in.Frame(0, n));
    for (const Area& area : areas_) Paint(*out, channels_, info().width, info().height, area, samples_);
    return Share(std::move(out));
  }

 private:
  std::vector<Area> areas_;
  Samples samples_;
  std::vector<Channel> channels_;
};

Value AddBorders(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const char* names[] = {"left", "top", "right", "bottom"};
  int64_t sides[4];
  for (std::size_t i = 0; i < 4; ++i) {
    sides[i] = call.Int(1 + i, 0);
    CheckBorder(call, in, sides[i], i % 2 == 0, names[i]);
  }
  ClipInfo info = in;
  const int64_t width = in.width + sides[0] + sides[2], height = in.height + sides[1] + sides[3];
  CheckSize(call, width, height, in.pixelFormat);
  if (width == in.width && height == in.height) return call.Clip(0);
  info.width = static_cast<int>(width);
  info.height = static_cast<int>(height);
  return std::make_shared<BorderClip>(info, call.origin, call.Clip(0), static_cast<int>(sides[0]),
                                      static_cast<int>(sides[1]),
                                      ColourSamples(call, in.pixelFormat, call.Int(5, 0), call.args[6]));
}

// Letterbox(top, bottom, x1, x2): rows at the top and bottom and columns at
// the left (x1) and right (x2) painted in the colour, the size kept.
Value Letterbox(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  const char* names[] = {"top", "bottom", "x1", "x2"};
  int64_t sides[4];
  for (std::size_t i = 0; i < 4; ++i) {
    sides[i] = call.Int(1 + i, 0);
    CheckBorder(call, in, sides[i], i >= 2, names[i]);
  }
  if (sides[0] + sides[1] > in.height) call.Fail("top and bottom cover more than the picture's height");
  if (sides[2] + sides[3] > in.width) call.Fail("x1 and x2 cover more than the picture's width");
  const int top = static_cast<int>(sides[0]), bottom = static_cast<int>(sides[1]);
  const int left = static_cast<int>(sides[2]), right = static_cast<int>(sides[3]);
  const int w = in.width, h = in.height;
  std::vector<Area> areas{
      {0, 0, w, top}, {0, h - bottom, w, h}, {0, top, left, h - bottom}, {w - right, top, w, h - bottom}};
  if (top == 0 && bottom == 0 && left == 0 && right == 0) return call.Clip(0);
  return std::make_shared<LetterboxClip>(call.origin, call.Clip(0), std::move(areas),
                                         ColourSamples(call, in.pixelFormat, call.Int(5, 0), Value()));
}

// StackHorizontal / StackVertical through libavfilter's hstack and vstack.
// The clips must agree in pixel type and in height (width); the result is
// as long as the longest, shorter clips repeating their last frame, and has
// the first clip's rate and sound.
Function Stack(bool horizontal) {
  return {"clip1:c clips:c*", [horizontal](Call& call) -> Value {
            std::vector<ClipPtr> clips{call.Clip(0)};
            for (const Value& v : call.rest) {
              if (!v.isClip()) call.Fail("each value to stack must be a clip");
              clips.push_back(v.asClip());
            }
            ClipInfo info = VideoOf(call, 0);
            if (clips.size() == 1) return clips[0];
            int64_t along = 0;
            for (std::size_t i = 0; i < clips.size(); ++i) {
              const ClipInfo& other = clips[i]->info();
              const std::string which = "clip " + std::to_string(i + 1);
              if (!other.hasVideo) call.Fail(which + " has no video");
              if (other.pixelFormat != info.pixelFormat)
                call.Fail(which + " is " + PixelTypeName(other.pixelFormat) + " where clip 1 is " +
                          PixelTypeName(info.pixelFormat));
              const int across = horizontal ? other.height : other.width;
              const int first = horizontal ? info.height : info.width;
              if (across != first)
                call.Fail(std::string(horizontal ? "the heights" : "the widths") + " differ: " + which + " is " +
                          std::to_string(across) + " where clip 1 is " + std::to_string(first));
              along += horizontal ? other.width : other.height;
              info.frameCount = std::max(info.frameCount, other.frameCount);
            }
            if (horizontal)
              info.width = static_cast<int>(std::min<int64_t>(along, kMaxPictureSide + 1));
            else
              info.height = static_cast<int>(std::min<int64_t>(along, kMaxPictureSide + 1));
            CheckSize(call, info.width, info.height, info.pixelFormat);
            std::string graph;
            for (std::size_t i = 0; i < clips.size(); ++i) graph += "[in" + std::to_string(i) + "]";
            graph += std::string(horizontal ? "hstack" : "vstack") + "=inputs=" + std::to_string(clips.size());
            graph += "[out]";
            return MakeGraphClip(info, call.origin, std::move(clips), graph);
          }};
}

// HorizontalReduceBy2 / VerticalReduceBy2: every channel filtered with the
// kernel [1 2 1] / 4 and every second sample kept, rounded to the nearest.
// Output sample i is centred on input sample 2i + 1 (the picture moves by
// half a sample; a sample past the last repeats it). Packed RGB pictures
// are kept bottom row first in AviSynth's memory, so their output row j is
// centred on input row 2j counted from the top (row -1 repeating row 0):
// the picture BilinearResize(w/2, h/2, 0.5, -0.5) gives.
template <class T>
T Kernel121(T a, T b, T c) {
  if constexpr (std::is_floating_point_v<T>) return (a + 2 * b + c) / 4;
  else return static_cast<T>((a + 2 * b + c + 2) >> 2);
}

template <class T>
T SampleAt(const uint8_t* row, int index, int step) {
  T v;
  std::memcpy(&v, row + static_cast<std::ptrdiff_t>(index) * step, sizeof v);
  return v;
}

class ReduceClip : public PictureFilter {
 public:
  ReduceClip(ClipInfo info, std::string origin, ClipPtr source, bool horizontal)
      : PictureFilter(info, std::move(origin), {source}),
        horizontal_(horizontal),
        in_(ChannelsOf(source->info().pixelFormat, source->info().width, source->info().height)),
        out_(ChannelsOf(info.pixelFormat, info.width, info.height)),
        centreOffset_(horizontal || IsPlanar(info.pixelFormat) || !IsRgbFormat(info.pixelFormat) ? 1 : 0) {}

  FrameRef MakeFrame(int64_t n, const Inputs& inputs) const override {
    FrameRef source = inputs.Frame(0, n);
    FramePtr out = NewFrame(*source);
    for (std::size_t c = 0; c < in_.size(); ++c) {
      switch (in_[c].size) {
        case 1: ReduceChannel<uint8_t>(*source, *out, in_[c], out_[c]); break;
        case 2: ReduceChannel<uint16_t>(*source, *out, in_[c], out_[c]); break;
        default: ReduceChannel<float>(*source, *out, in_[c], out_[c]); break;
      }
    }
    return Share(std::move(out));
  }

 private:
  template <class T>
  void ReduceChannel(const AVFrame& source, AVFrame& out, const Channel& from, const Channel& to) const {
    const int last = (horizontal_ ? from.width : from.height) - 1;
    auto at = [last](int i) { return std::clamp(i, 0, last); };
    const int fs = from.step, ts = to.step;
    for (int y = 0; y < to.height; ++y) {
      uint8_t* dst = to.Row(out, y);
      if (horizontal_) {
        const uint8_t* src = from.Row(source, y);
        for (int x = 0; x < to.width; ++x) {
          const int centre = 2 * x + centreOffset_;
          const T v = Kernel121(SampleAt<T>(src, at(centre - 1), fs), SampleAt<T>(src, at(centre), fs),
                                SampleAt<T>(src, at(centre + 1), fs));
          std::memcpy(dst + static_cast<std::ptrdiff_t>(x) * ts, &v, sizeof v);
        }
        continue;
      }
      const int centre = 2 * y + centreOffset_;
      const uint8_t* above = from.Row(source, at(centre - 1));
      const uint8_t* mid = from.Row(source, at(centre));
      const uint8_t* below = from.Row(source, at(centre + 1));
      for (int x = 0; x < to.width; ++x) {
        const T v = Kernel121(SampleAt<T>(above, x, fs), SampleAt<T>(mid, x, fs), SampleAt<T>(below, x, fs));
        std::memcpy(dst + static_cast<std::ptrdiff_t>(x) * ts, &v, sizeof v);
      }
    }
  }

  bool horizontal_;
  std::vector<Channel> in_, out_;
  int centreOffset_;
};

ClipPtr Reduce(const Call& call, const ClipPtr& source, bool horizontal) {
  ClipInfo info = source->info();
  (horizontal ? info.width : info.height) /= 2;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info.pixelFormat);
  const int shift = horizontal ? desc->log2_chroma_w : desc->log2_chroma_h;
  const int half = horizontal ? info.width : info.height;
  if (shift > 0 && half % 2)
    call.Fail(std::string(PixelTypeName(info.pixelFormat)) + " needs a " + (horizontal ? "width" : "height") +
              " that is a multiple of 4");
  CheckSize(call, info.width, info.height, info.pixelFormat);
  return std::make_shared<ReduceClip>(info, call.origin, source, horizontal);
}

// SkewRows(skew): the rows joined into one long row and cut again into rows
// skew samples longer (shorter), the last one padded with grey; RGB's rows
// are joined from the bottom up, as they lie in an RGB bitmap. One-plane
// formats only.
class SkewedClip : public PictureFilter {
 public:
  SkewedClip(const Call& call, const ClipInfo& info)
      : PictureFilter(info, call.origin, {call.Clip(0)}),
        bytesPerPixel_(av_get_bits_per_pixel(av_pix_fmt_desc_get(info.pixelFormat)) / 8),
        bottomUp_(IsRgbFormat(info.pixelFormat)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    const ClipInfo& from = in.Info(0);
    const int64_t inRow = int64_t{from.width} * bytesPerPixel_, outRow = int64_t{info().width} * bytesPerPixel_;
    const int64_t total = inRow * from.height;
    const auto row = [](const AVFrame& f, int y, int height, bool bottomUp) {
      return f.data[0] + static_cast<std::ptrdiff_t>(bottomUp ? height - 1 - y : y) * f.linesize[0];
    };
    for (int y = 0; y < info().height; ++y) {
      uint8_t* to = row(*out, y, info().height, bottomUp_);
      for (int64_t i = 0; i < outRow;) {
        const int64_t at = int64_t{y} * outRow + i;
        if (at >= total) {
          std::memset(to + i, 128, static_cast<std::size_t>(outRow - i));
          break;
        }
        // As much of one source row as fits.
        const int64_t length = std::min(outRow - i, inRow - at % inRow);
        std::memcpy(to + i, row(*source, static_cast<int>(at / inRow), from.height, bottomUp_) + at % inRow,
                    static_cast<std::size_t>(length));
        i += length;
      }
    }
    return Share(std::move(out));
  }

 private:
  int bytesPerPixel_;
  bool bottomUp_;
};

Value SkewRows(Call& call) {
  const ClipInfo& in = VideoOf(call, 0);
  if (av_pix_fmt_count_planes(in.pixelFormat) != 1) call.Fail("needs a clip of one plane (RGB, YUY2 or Y8)");
  const int64_t skew = call.Int(1, 0);
  const int64_t width = in.width + skew;
  if (width <= 0 || width > kMaxPictureSide) call.Fail("the skew " + std::to_string(skew) + " leaves no usable width");
  if (in.pixelFormat == AV_PIX_FMT_YUYV422 && skew % 2) call.Fail("YUY2 needs an even skew");
  ClipInfo info = in;
  info.width = static_cast<int>(width);
  info.height = static_cast<int>((int64_t{in.height} * in.width + width - 1) / width);
  CheckSize(call, info.width, info.height, info.pixelFormat);
  return std::make_shared<SkewedClip>(call, info);
}

}  // namespace

void RegisterLayoutFunctions(FunctionTable& table) {
  table["crop"] = {"clip:c left:i top:i ?width:i ?height:i ?align:b", [](Call& call) -> Value {
                     VideoOf(call, 0);
                     return MakeCrop(call, call.Clip(0), call.Int(1, 0), call.Int(2, 0), call.Int(3, 0), call.Int(4, 0));
                   }};
  table["cropbottom"] = {"clip:c count:i", [](Call& call) -> Value {
                           VideoOf(call, 0);
                           return MakeCrop(call, call.Clip(0), 0, 0, 0, -call.Int(1, 0));
                         }};
  table["skewrows"] = {"clip:c skew:i", SkewRows};
  table["fliphorizontal"] = Turn("hflip", false);
  table["flipvertical"] = Turn("vflip", false);
  table["turn180"] = Turn("hflip,vflip", false);
  table["turnleft"] = Turn("transpose=cclock", true);
  table["turnright"] = Turn("transpose=clock", true);
  table["addborders"] = {"clip:c left:i top:i right:i bottom:i ?color:i ?color_yuv:i", AddBorders};
  table["letterbox"] = {"clip:c top:i bottom:i ?x1:i ?x2:i ?color:i", Letterbox};
  table["stackhorizontal"] = Stack(true);
  table["stackvertical"] = Stack(false);
  table["horizontalreduceby2"] = {"clip:c", [](Call& call) -> Value {
                                    VideoOf(call, 0);
                                    return Reduce(call, call.Clip(0), true);
                                  }};
  table["verticalreduceby2"] = {"clip:c", [](Call& call) -> Value {
                                  VideoOf(call, 0);
                                  return Reduce(call, call.Clip(0), false);
                                }};
  table["reduceby2"] = {"clip:c", [](Call& call) -> Value {
                          VideoOf(call, 0);
                          return Reduce(call, Reduce(call, call.Clip(0), true), false);
                        }};
}

}  // namespace avs
