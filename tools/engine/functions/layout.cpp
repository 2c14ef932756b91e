// Layout: the picture's size and place. Crop, flips and turns (the resizers
// are in resize.cpp).
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"
#include "tools/engine/graph_clip.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace avs {

namespace {

// A part of the input's frames: references with moved plane pointers, no
// pixel copied.
class CropClip : public FrameFilter {
 public:
  CropClip(ClipInfo info, std::string origin, ClipPtr source, int left, int top)
      : FrameFilter(info, std::move(origin), {std::move(source)}) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info.pixelFormat);
    const int packedStep = av_get_bits_per_pixel(desc) / 8;
    for (int plane = 0; plane < av_pix_fmt_count_planes(info.pixelFormat); ++plane) {
      const bool chroma = plane == 1 || plane == 2;
      const int x = chroma ? left >> desc->log2_chroma_w : left;
      rows_[plane] = chroma ? top >> desc->log2_chroma_h : top;
      bytes_[plane] = x * ((desc->flags & AV_PIX_FMT_FLAG_PLANAR) ? 1 : packedStep);
    }
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FramePtr out = Reference(*in.Frame(0, n));
    for (int plane = 0; plane < 4 && out->data[plane]; ++plane)
      out->data[plane] += static_cast<std::ptrdiff_t>(rows_[plane]) * out->linesize[plane] + bytes_[plane];
    out->width = info().width;
    out->height = info().height;
    return Share(std::move(out));
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

}  // namespace

void RegisterLayoutFunctions(FunctionTable& table) {
  table["crop"] = {"clip:c left:i top:i ?width:i ?height:i ?align:b", [](Call& call) -> Value {
                     VideoOf(call, 0);
                     return MakeCrop(call, call.Clip(0), call.Int(1, 0), call.Int(2, 0), call.Int(3, 0), call.Int(4, 0));
                   }};
  table["fliphorizontal"] = Turn("hflip", false);
  table["flipvertical"] = Turn("vflip", false);
  table["turn180"] = Turn("hflip,vflip", false);
  table["turnleft"] = Turn("transpose=cclock", true);
  table["turnright"] = Turn("transpose=clock", true);
}

}  // namespace avs
