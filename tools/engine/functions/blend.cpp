#include "tools/engine/functions/blend.h"

#include "tools/engine/pixel_format.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace avs {

namespace {

template <class T>
const T* Row(const AVFrame& frame, int plane, int row) {
  return reinterpret_cast<const T*>(frame.data[plane] + static_cast<std::ptrdiff_t>(row) * frame.linesize[plane]);
}

}  // namespace

int64_t BlendWeight(int64_t k, int64_t n) { return av_rescale_rnd(k, kWholeWeight, n + 1, AV_ROUND_NEAR_INF); }

namespace {

// How samples of type T mix: integers in 1/65536 with rounding, floats as
// they are.
template <class T>
struct Mixing {
  using Sum = std::conditional_t<sizeof(T) == 1, uint32_t, uint64_t>;
  static T Mix(T a, T b, Sum wa, Sum wb) { return static_cast<T>((a * wa + b * wb + 32768) >> 16); }
  static T Mean(Sum sum, Sum whole) { return static_cast<T>((sum + whole / 2) / whole); }
};
template <>
struct Mixing<float> {
  using Sum = double;
  static float Mix(float a, float b, Sum wa, Sum wb) { return static_cast<float>((a * wa + b * wb) / kWholeWeight); }
  static float Mean(Sum sum, Sum whole) { return static_cast<float>(sum / whole); }
};

template <class T>
void MixPlanes(const std::vector<const AVFrame*>& frames, const std::vector<RowMix>& rows, const ClipInfo& info,
               AVFrame& out) {
  using M = Mixing<T>;
  using Sum = typename M::Sum;
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info.pixelFormat);
  std::vector<Sum> sum;
  for (int plane = 0; plane < av_pix_fmt_count_planes(info.pixelFormat); ++plane) {
    const int shift = plane == 1 || plane == 2 ? desc->log2_chroma_h : 0;
    const int planeRows = AV_CEIL_RSHIFT(info.height, shift);
    const int bytes = av_image_get_linesize(info.pixelFormat, info.width, plane);
    const int samples = bytes / static_cast<int>(sizeof(T));
    for (int r = 0; r < planeRows; ++r) {
      T* po = reinterpret_cast<T*>(out.data[plane] + static_cast<std::ptrdiff_t>(r) * out.linesize[plane]);
      const int first = r << shift, end = std::min(info.height, (r + 1) << shift);
      // Runs of picture rows with the same mix, one in the common case.
      const auto runEnd = [&](int y) {
        int e = y + 1;
        while (e < end && rows[static_cast<std::size_t>(e)] == rows[static_cast<std::size_t>(y)]) ++e;
        return e;
      };
      const RowMix& m = rows[static_cast<std::size_t>(first)];
      const T* pa = Row<T>(*frames[static_cast<std::size_t>(m.from)], plane, r);
      const T* pb = Row<T>(*frames[static_cast<std::size_t>(m.to)], plane, r);
      if (runEnd(first) == end) {
        if (m.weight <= 0 || m.weight >= kWholeWeight) {
          std::memcpy(po, m.weight <= 0 ? pa : pb, static_cast<std::size_t>(bytes));
          continue;
        }
        const auto wb = static_cast<Sum>(m.weight), wa = static_cast<Sum>(kWholeWeight) - wb;
        for (int x = 0; x < samples; ++x) po[x] = M::Mix(pa[x], pb[x], wa, wb);
        continue;
      }
      // Each row's mix weighted by its share of the covered rows: at most
      // four rows of 255 * 65536 in 8 bits, so the sums fit in 32 bits.
      sum.assign(static_cast<std::size_t>(samples), 0);
      for (int y = first; y < end;) {
        const int e = runEnd(y);
        const RowMix& k = rows[static_cast<std::size_t>(y)];
        const T* ka = Row<T>(*frames[static_cast<std::size_t>(k.from)], plane, r);
        const T* kb = Row<T>(*frames[static_cast<std::size_t>(k.to)], plane, r);
        const auto count = static_cast<Sum>(e - y), wb = static_cast<Sum>(k.weight) * count,
                   wa = static_cast<Sum>(kWholeWeight) * count - wb;
        for (int x = 0; x < samples; ++x) sum[static_cast<std::size_t>(x)] += ka[x] * wa + kb[x] * wb;
        y = e;
      }
      const auto whole = static_cast<Sum>(kWholeWeight) * static_cast<Sum>(end - first);
      for (int x = 0; x < samples; ++x) po[x] = M::Mean(sum[static_cast<std::size_t>(x)], whole);
    }
  }
}

}  // namespace

FrameRef MixRows(const std::vector<const AVFrame*>& frames, const std::vector<RowMix>& rows, const ClipInfo& info) {
  FramePtr out = NewPicture(info.width, info.height, info.pixelFormat);
  switch (BytesPerComponent(info.pixelFormat)) {
    case 1: MixPlanes<uint8_t>(frames, rows, info, *out); break;
    case 2: MixPlanes<uint16_t>(frames, rows, info, *out); break;
    default: MixPlanes<float>(frames, rows, info, *out); break;
  }
  out->colorspace = frames[0]->colorspace;
  out->color_range = frames[0]->color_range;
  return Share(std::move(out));
}

FrameRef Blend(const AVFrame& a, const AVFrame& b, int64_t w, const ClipInfo& info) {
  return MixRows({&a, &b}, std::vector<RowMix>(static_cast<std::size_t>(info.height), RowMix{0, 1, w}), info);
}

}  // namespace avs
