#include "tools/engine/functions/channels.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <thread>

namespace avs {

std::vector<Channel> ChannelsOf(AVPixelFormat format, int width, int height) {
  using K = ChannelKind;
  switch (format) {
    case AV_PIX_FMT_YUYV422:
      return {{K::Y, 0, 0, 2, width, height}, {K::U, 0, 1, 4, width / 2, height}, {K::V, 0, 3, 4, width / 2, height}};
    case AV_PIX_FMT_BGR24:
      return {{K::B, 0, 0, 3, width, height}, {K::G, 0, 1, 3, width, height}, {K::R, 0, 2, 3, width, height}};
    case AV_PIX_FMT_BGRA:
      return {{K::B, 0, 0, 4, width, height},
              {K::G, 0, 1, 4, width, height},
              {K::R, 0, 2, 4, width, height},
              {K::A, 0, 3, 4, width, height}};
    case AV_PIX_FMT_GRAY8: return {{K::Y, 0, 0, 1, width, height}};
    default: {
      const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
      const int chromaWidth = AV_CEIL_RSHIFT(width, desc->log2_chroma_w);
      const int chromaHeight = AV_CEIL_RSHIFT(height, desc->log2_chroma_h);
      return {{K::Y, 0, 0, 1, width, height},
              {K::U, 1, 0, 1, chromaWidth, chromaHeight},
              {K::V, 2, 0, 1, chromaWidth, chromaHeight}};
    }
  }
}

std::string ShortNumber(double value) {
  char buffer[64];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6).ptr;
  return std::string(buffer, end);
}

bool HasChannel(AVPixelFormat format, ChannelKind kind) {
  for (const Channel& channel : ChannelsOf(format, 2, 2))
    if (channel.kind == kind) return true;
  return false;
}

Table MakeTable(const std::function<double(int value)>& f) {
  Table table;
  for (int i = 0; i < 256; ++i) {
    const double value = f(i);
    // NaN (a gamma of an impossible value) counts as black.
    table[i] = std::isnan(value) ? 0 : static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L));
  }
  return table;
}

FramePtr PictureFilter::NewFrame(const AVFrame& like) const {
  FramePtr out = pool_.Get();
  if (av_frame_copy_props(out.get(), &like) < 0) throw ScriptError(origin() + ": out of memory");
  return out;
}

namespace {

class TableClip : public PictureFilter {
 public:
  TableClip(std::string origin, ClipPtr source, std::function<ChannelTables(const AVFrame&)> tablesFor)
      : PictureFilter(source->info(), std::move(origin), {source}), tablesFor_(std::move(tablesFor)),
        channels_(ChannelsOf(info().pixelFormat, info().width, info().height)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    const ChannelTables tables = tablesFor_(*source);
    FramePtr out = NewFrame(*source);
    // Packed formats share a plane between channels: copy it whole first.
    unsigned copied = 0;
    for (const Channel& channel : channels_)
      if ((channel.step > 1 || !tables[channel.kind]) && !(copied & (1u << channel.plane))) {
        CopyPlane(*source, *out, channel);
        copied |= 1u << channel.plane;
      }
    // Large pictures are mapped by two threads, each taking half the rows.
    auto map = [&](int part, int parts) {
      for (const Channel& channel : channels_) {
        if (!tables[channel.kind]) continue;
        const Table& table = *tables[channel.kind];
        const int first = channel.height * part / parts, end = channel.height * (part + 1) / parts;
        for (int y = first; y < end; ++y) {
          const uint8_t* from = channel.Row(*source, y);
          uint8_t* to = channel.Row(*out, y);
          if (channel.step == 1) {
            for (int x = 0; x < channel.width; ++x) to[x] = table[from[x]];
          } else {
            for (int x = 0, i = 0; x < channel.width; ++x, i += channel.step) to[i] = table[from[i]];
          }
        }
      }
    };
    if (static_cast<int64_t>(info().width) * info().height < kSplitSamples) {
      map(0, 1);
    } else {
      std::thread helper(map, 1, 2);
      map(0, 2);
      helper.join();
    }
    return Share(std::move(out));
  }

 private:
  static constexpr int64_t kSplitSamples = 640 * 360;

  // The plane that holds `channel`, whole.
  void CopyPlane(const AVFrame& from, AVFrame& to, const Channel& channel) const {
    const int plane = channel.plane;
    const int bytes = av_image_get_linesize(info().pixelFormat, info().width, plane);
    for (int y = 0; y < channel.height; ++y)
      std::memcpy(to.data[plane] + static_cast<std::ptrdiff_t>(y) * to.linesize[plane],
                  from.data[plane] + static_cast<std::ptrdiff_t>(y) * from.linesize[plane], bytes);
  }

  std::function<ChannelTables(const AVFrame&)> tablesFor_;
  std::vector<Channel> channels_;
};

}  // namespace

ClipPtr MakeTableClip(const std::string& origin, const ClipPtr& source,
                      std::function<ChannelTables(const AVFrame& source)> tablesFor) {
  return std::make_shared<TableClip>(origin, source, std::move(tablesFor));
}

ClipPtr MakeTableClip(const std::string& origin, const ClipPtr& source, const ChannelTables& tables) {
  return MakeTableClip(origin, source, [tables](const AVFrame&) { return tables; });
}

}  // namespace avs
