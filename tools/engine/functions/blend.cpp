#include "tools/engine/functions/blend.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>

namespace avs {

namespace {

const uint8_t* Row(const AVFrame& frame, int plane, int row) {
  return frame.data[plane] + static_cast<std::ptrdiff_t>(row) * frame.linesize[plane];
}

}  // namespace

int64_t BlendWeight(int64_t k, int64_t n) { return av_rescale_rnd(k, kWholeWeight, n + 1, AV_ROUND_NEAR_INF); }

FrameRef MixRows(const std::vector<const AVFrame*>& frames, const std::vector<RowMix>& rows, const ClipInfo& info) {
  FramePtr out = NewPicture(info.width, info.height, info.pixelFormat);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info.pixelFormat);
  std::vector<uint32_t> sum;
  for (int plane = 0; plane < av_pix_fmt_count_planes(info.pixelFormat); ++plane) {
    const int shift = plane == 1 || plane == 2 ? desc->log2_chroma_h : 0;
    const int planeRows = AV_CEIL_RSHIFT(info.height, shift);
    const int bytes = av_image_get_linesize(info.pixelFormat, info.width, plane);
    for (int r = 0; r < planeRows; ++r) {
      uint8_t* po = out->data[plane] + static_cast<std::ptrdiff_t>(r) * out->linesize[plane];
      const int first = r << shift, end = std::min(info.height, (r + 1) << shift);
      // Runs of picture rows with the same mix, one in the common case.
      const auto runEnd = [&](int y) {
        int e = y + 1;
        while (e < end && rows[static_cast<std::size_t>(e)] == rows[static_cast<std::size_t>(y)]) ++e;
        return e;
      };
      const RowMix& m = rows[static_cast<std::size_t>(first)];
      const uint8_t* pa = Row(*frames[static_cast<std::size_t>(m.from)], plane, r);
      const uint8_t* pb = Row(*frames[static_cast<std::size_t>(m.to)], plane, r);
      if (runEnd(first) == end) {
        if (m.weight <= 0 || m.weight >= kWholeWeight) {
          std::memcpy(po, m.weight <= 0 ? pa : pb, static_cast<std::size_t>(bytes));
          continue;
        }
        const uint32_t wb = static_cast<uint32_t>(m.weight), wa = static_cast<uint32_t>(kWholeWeight) - wb;
        for (int x = 0; x < bytes; ++x) po[x] = static_cast<uint8_t>((pa[x] * wa + pb[x] * wb + 32768) >> 16);
        continue;
      }
      // Each row's mix weighted by its share of the covered rows: at most
      // four rows of 255 * 65536, so the sums fit in 32 bits.
      sum.assign(static_cast<std::size_t>(bytes), 0);
      for (int y = first; y < end;) {
        const int e = runEnd(y);
        const RowMix& k = rows[static_cast<std::size_t>(y)];
        const uint8_t* ka = Row(*frames[static_cast<std::size_t>(k.from)], plane, r);
        const uint8_t* kb = Row(*frames[static_cast<std::size_t>(k.to)], plane, r);
        const uint32_t count = static_cast<uint32_t>(e - y), wb = static_cast<uint32_t>(k.weight) * count,
                       wa = static_cast<uint32_t>(kWholeWeight) * count - wb;
        for (int x = 0; x < bytes; ++x) sum[static_cast<std::size_t>(x)] += ka[x] * wa + kb[x] * wb;
        y = e;
      }
      const uint32_t whole = static_cast<uint32_t>(kWholeWeight) * static_cast<uint32_t>(end - first);
      for (int x = 0; x < bytes; ++x)
        po[x] = static_cast<uint8_t>((sum[static_cast<std::size_t>(x)] + whole / 2) / whole);
    }
  }
  out->colorspace = frames[0]->colorspace;
  out->color_range = frames[0]->color_range;
  return Share(std::move(out));
}

FrameRef Blend(const AVFrame& a, const AVFrame& b, int64_t w, const ClipInfo& info) {
  return MixRows({&a, &b}, std::vector<RowMix>(static_cast<std::size_t>(info.height), RowMix{0, 1, w}), info);
}

}  // namespace avs
