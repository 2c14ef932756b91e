#include "tools/engine/functions/channels.h"

#include "tools/engine/pixel_format.h"

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
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  const bool rgb = desc->flags & AV_PIX_FMT_FLAG_RGB;
  const bool colour = desc->nb_components >= 3;
  std::vector<Channel> channels;
  for (int c = 0; c < desc->nb_components; ++c) {
    const AVComponentDescriptor& comp = desc->comp[c];
    K kind = K::A;
    if (rgb && c < 3) kind = c == 0 ? K::R : c == 1 ? K::G : K::B;
    else if (!rgb && c == 0) kind = K::Y;
    else if (colour && c < 3) kind = c == 1 ? K::U : K::V;
    const bool chroma = kind == K::U || kind == K::V;
    channels.push_back({kind, comp.plane, comp.offset, comp.step,
                        chroma ? AV_CEIL_RSHIFT(width, desc->log2_chroma_w) : width,
                        chroma ? AV_CEIL_RSHIFT(height, desc->log2_chroma_h) : height,
                        comp.depth > 16 ? 4 : comp.depth > 8 ? 2 : 1});
  }
  return channels;
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

double MeanDifference(const Channel& channel, const AVFrame& a, const AVFrame& b) {
  int64_t total = 0;
  for (int y = 0; y < channel.height; ++y) {
    const uint8_t* pa = channel.Row(a, y);
    const uint8_t* pb = channel.Row(b, y);
    for (int x = 0, i = 0; x < channel.width; ++x, i += channel.step) total += std::abs(pa[i] - pb[i]);
  }
  return static_cast<double>(total) / (static_cast<double>(channel.width) * channel.height);
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
        channels_(ChannelsOf(info().pixelFormat, info().width, info().height)) {
    // Tables hold 256 values: a deeper picture is its function's to refuse;
    // this keeps one that does not from reading half-samples.
    if (IsHighDepth(info().pixelFormat)) Fail(DepthName(info().pixelFormat) + " pictures are not supported");
  }

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

// Samples deeper than 8 bits through their channel's map.
class DeepMapClip : public PictureFilter {
 public:
  DeepMapClip(std::string origin, ClipPtr source, const SampleMaps& maps)
      : PictureFilter(source->info(), std::move(origin), {source}),
        channels_(ChannelsOf(info().pixelFormat, info().width, info().height)),
        maps_(maps) {
    const int bits = BitsPerComponent(info().pixelFormat);
    if (bits > 16) return;
    const int highest = (1 << bits) - 1;
    for (const Channel& channel : channels_) {
      std::vector<uint16_t>& table = tables_[static_cast<int>(channel.kind)];
      const auto& map = maps_[static_cast<int>(channel.kind)];
      if (!map) continue;
      table.resize(std::size_t{1} << bits);
      for (int v = 0; v <= highest; ++v) {
        const double mapped = map(v);
        table[v] = std::isnan(mapped) ? 0 : static_cast<uint16_t>(std::clamp(std::lround(mapped), 0L, long{highest}));
      }
    }
  }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const FrameRef source = in.Frame(0, n);
    FramePtr out = NewFrame(*source);
    if (av_frame_copy(out.get(), source.get()) < 0) Fail("out of memory");
    for (const Channel& channel : channels_) {
      const auto& map = maps_[static_cast<int>(channel.kind)];
      if (!map) continue;
      const std::vector<uint16_t>& table = tables_[static_cast<int>(channel.kind)];
      for (int y = 0; y < channel.height; ++y) {
        uint8_t* row = channel.Row(*out, y);
        for (int x = 0; x < channel.width; ++x) {
          uint8_t* at = row + static_cast<std::ptrdiff_t>(x) * channel.step;
          if (channel.size == 2) {
            uint16_t v;
            std::memcpy(&v, at, 2);
            v = table[v & (table.size() - 1)];
            std::memcpy(at, &v, 2);
          } else {
            float v;
            std::memcpy(&v, at, 4);
            v = static_cast<float>(map(v));
            std::memcpy(at, &v, 4);
          }
        }
      }
    }
    return Share(std::move(out));
  }

 private:
  std::vector<Channel> channels_;
  SampleMaps maps_;
  std::array<std::vector<uint16_t>, kChannelKinds> tables_;
};

}  // namespace

ClipPtr MakeSampleMapClip(const std::string& origin, const ClipPtr& source, const SampleMaps& maps) {
  if (IsHighDepth(source->info().pixelFormat)) return std::make_shared<DeepMapClip>(origin, source, maps);
  ChannelTables tables;
  for (int kind = 0; kind < kChannelKinds; ++kind)
    if (maps[static_cast<std::size_t>(kind)]) tables.byKind[static_cast<std::size_t>(kind)] = MakeTable(maps[static_cast<std::size_t>(kind)]);
  return MakeTableClip(origin, source, tables);
}

ClipPtr MakeTableClip(const std::string& origin, const ClipPtr& source,
                      std::function<ChannelTables(const AVFrame& source)> tablesFor) {
  return std::make_shared<TableClip>(origin, source, std::move(tablesFor));
}

ClipPtr MakeTableClip(const std::string& origin, const ClipPtr& source, const ChannelTables& tables) {
  return MakeTableClip(origin, source, [tables](const AVFrame&) { return tables; });
}

}  // namespace avs
