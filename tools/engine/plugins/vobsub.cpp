// VSFilter's VobSub: the DVD picture subtitles of an .idx/.sub pair drawn on
// the clip. libavformat reads the pair and libavcodec decodes the paletted
// pictures; each one is blended with its palette's alpha at its own time and
// place, as ffmpeg overlays a subtitle stream on a video.
#include "tools/engine/plugins/plugins.h"

#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/input.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

namespace avs {

namespace {

// One picture of a subtitle: palette indices and their ARGB colours.
struct SubtitlePicture {
  int x = 0, y = 0, width = 0, height = 0;
  std::vector<uint8_t> indices;  // width * height
  std::vector<uint32_t> palette;
};

// What shows from `start` until the next subtitle starts or `end` comes,
// whichever is first (a DVD subtitle replaces the one before it); times in
// microseconds. An empty subtitle clears the screen.
struct Subtitle {
  int64_t start = 0;
  int64_t end = INT64_MAX;
  std::vector<SubtitlePicture> pictures;
  std::shared_ptr<FrameMemoryCharge> memory;
};

struct VobSubTrack {
  int canvasWidth = 0, canvasHeight = 0;
  std::vector<Subtitle> subtitles;  // by start time
};

// The .idx and .sub of the pair `file` names, with either extension or none
// ("movie", "movie.idx", "MOVIE.SUB"); both must be regular files, so that
// a FIFO or a device cannot keep the reading waiting.
std::pair<std::string, std::string> PairFiles(const Call& call, const std::string& file) {
  if (file.empty()) call.Fail("needs the name of a VobSub file");
  std::string base = call.Path(file);
  bool upper = false;
  for (const char* ext : {".idx", ".sub"})
    if (EndsWithNoCase(base, ext)) {
      upper = base.back() == 'X' || base.back() == 'B';
      base.erase(base.size() - 4);
      break;
    }
  const std::string idx = base + (upper ? ".IDX" : ".idx"), sub = base + (upper ? ".SUB" : ".sub");
  for (const std::string& path : {idx, sub}) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) call.Fail("cannot open " + path + ": " + std::strerror(errno));
    if (!S_ISREG(status.st_mode)) call.Fail(path + " is not a file");
  }
  return {idx, sub};
}

// A path as libavformat's URL: a colon in a file name is no protocol.
std::string Url(const std::string& path) { return "file:" + path; }

struct FormatCloser {
  void operator()(AVFormatContext* fmt) const { avformat_close_input(&fmt); }
};
Subtitle Decoded(const AVSubtitle& decoded, int64_t packetTime) {
  Subtitle subtitle;
  subtitle.start = packetTime + int64_t{decoded.start_display_time} * 1000;
  if (decoded.end_display_time != UINT32_MAX) subtitle.end = packetTime + int64_t{decoded.end_display_time} * 1000;
  std::size_t bytes = 0;
  for (unsigned i = 0; i < decoded.num_rects; ++i) {
    const AVSubtitleRect& rect = *decoded.rects[i];
    if (rect.type != SUBTITLE_BITMAP || rect.w <= 0 || rect.h <= 0 || rect.nb_colors <= 0) continue;
    SubtitlePicture picture{rect.x, rect.y, rect.w, rect.h, {}, {}};
    picture.indices.resize(static_cast<std::size_t>(rect.w) * static_cast<std::size_t>(rect.h));
    for (int y = 0; y < rect.h; ++y)
      std::memcpy(picture.indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(rect.w),
                  rect.data[0] + static_cast<std::ptrdiff_t>(y) * rect.linesize[0], static_cast<std::size_t>(rect.w));
    const auto* colours = reinterpret_cast<const uint32_t*>(rect.data[1]);
    picture.palette.assign(colours, colours + std::min(rect.nb_colors, 256));
    picture.palette.resize(256, 0);  // indices past the palette are transparent
    bytes += picture.indices.size();
    subtitle.pictures.push_back(std::move(picture));
  }
  // Decoded pictures count against the engine's picture memory, so that a
  // hostile file cannot exhaust the machine.
  if (bytes > 0) subtitle.memory = std::make_shared<FrameMemoryCharge>(bytes);
  return subtitle;
}

// Every subtitle of the pair's first stream, read once: DVD subtitles are
// small.
VobSubTrack ReadTrack(const Call& call, const std::string& idx, const std::string& sub) {
  AVFormatContext* opened = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "sub_name", Url(sub).c_str(), 0);
  const int rc = avformat_open_input(&opened, Url(idx).c_str(), av_find_input_format("vobsub"), &options);
  av_dict_free(&options);
  if (rc < 0) call.Fail(idx + " is not a VobSub index: " + ErrorText(rc));
  std::unique_ptr<AVFormatContext, FormatCloser> fmt(opened);
  const AVStream* stream = nullptr;
  for (unsigned i = 0; i < fmt->nb_streams && !stream; ++i)
    if (fmt->streams[i]->codecpar->codec_id == AV_CODEC_ID_DVD_SUBTITLE) stream = fmt->streams[i];
  if (!stream) call.Fail(idx + " lists no subtitles");

  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_DVD_SUBTITLE);
  CodecPtr decoder(codec ? avcodec_alloc_context3(codec) : nullptr);
  if (!decoder || avcodec_parameters_to_context(decoder.get(), stream->codecpar) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0)
    call.Fail("cannot decode the subtitles of " + idx);
  VobSubTrack track;
  // The decoder takes the canvas size from the index's header.
  track.canvasWidth = decoder->width;
  track.canvasHeight = decoder->height;

  PacketPtr packet = AllocPacket();
  for (;;) {
    const int read = av_read_frame(fmt.get(), packet.get());
    if (read == AVERROR_EOF) break;
    if (read < 0) call.Fail("cannot read " + sub + ": " + ErrorText(read));
    if (packet->stream_index != stream->index || packet->pts == AV_NOPTS_VALUE) {
      av_packet_unref(packet.get());
      continue;
    }
    const int64_t time = av_rescale_q(packet->pts, stream->time_base, AVRational{1, 1000000});
    AVSubtitle decoded{};
    int got = 0;
    const int used = avcodec_decode_subtitle2(decoder.get(), &decoded, &got, packet.get());
    av_packet_unref(packet.get());
    if (used < 0 || !got) continue;  // a damaged packet loses its subtitle only
    try {
      track.subtitles.push_back(Decoded(decoded, time));
    } catch (...) {
      avsubtitle_free(&decoded);
      throw;
    }
    avsubtitle_free(&decoded);
  }
  // A pair without a single subtitle is one whose .sub does not match its
  // index (or no VobSub at all): showing the clip bare would hide that.
  if (track.subtitles.empty()) call.Fail("no subtitles could be read from " + sub);
  std::stable_sort(track.subtitles.begin(), track.subtitles.end(),
                   [](const Subtitle& a, const Subtitle& b) { return a.start < b.start; });
  return track;
}

// A subtitle picture ready to blend: its colours in the clip's format and
// its alpha, over a part of the picture aligned to the chroma subsampling.
struct Overlay {
  int x = 0, y = 0;
  FrameRef colours;            // in the clip's format, the part's size
  std::vector<uint8_t> alpha;  // one byte a pixel, the part's width a row
};

class VobSubClip : public VideoFilter {
 public:
  VobSubClip(const Call& call, VobSubTrack track)
      : VideoFilter(call.Clip(0)->info(), call.origin, {call.Clip(0)}), track_(std::move(track)) {
    if (track_.canvasWidth <= 0 || track_.canvasHeight <= 0) {
      track_.canvasWidth = info().width;
      track_.canvasHeight = info().height;
    }
  }

  const Clip& PictureOf() const override { return *this; }

  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override {
    // The overlays of the subtitle last shown: consecutive frames show the
    // same subtitle, which is converted once.
    return FramesFrom(
        [this, in = Inputs(reading, *this), shown = std::optional<std::size_t>(),
         overlays = std::vector<Overlay>()](int64_t n) mutable -> FrameRef {
          const std::optional<std::size_t> showing = SubtitleAt(n);
          if (!showing) return in.Frame(0, n);
          if (showing != shown) {
            overlays.clear();
            shown.reset();
            for (const SubtitlePicture& picture : track_.subtitles[*showing].pictures)
              if (std::optional<Overlay> overlay = MakeOverlay(picture)) overlays.push_back(std::move(*overlay));
            shown = showing;
          }
          if (overlays.empty()) return in.Frame(0, n);
          FramePtr out = in.FrameToDrawOn(0, n);
          if (!av_frame_is_writable(out.get())) out = WritableCopy(*out);
          for (const Overlay& overlay : overlays) Blend(*out, overlay);
          return Share(std::move(out));
        },
        true);
  }

 private:
  // The subtitle showing at frame n's time: the last one started by then,
  // unless it has ended.
  std::optional<std::size_t> SubtitleAt(int64_t n) const {
    const Rational fps = info().fps;
    const int64_t time = av_rescale(n, fps.den * 1000000, fps.num);
    const auto after = std::upper_bound(track_.subtitles.begin(), track_.subtitles.end(), time,
                                        [](int64_t t, const Subtitle& s) { return t < s.start; });
    if (after == track_.subtitles.begin()) return std::nullopt;
    const auto current = std::prev(after);
    if (time >= current->end || current->pictures.empty()) return std::nullopt;
    return static_cast<std::size_t>(current - track_.subtitles.begin());
  }

  // `picture` placed on the clip: scaled from the subtitles' canvas to the
  // picture's size when they differ, cut to the picture, and widened to
  // whole chroma samples with transparent pixels. None when nothing of it
  // is on the picture.
  std::optional<Overlay> MakeOverlay(const SubtitlePicture& picture) const {
    const ClipInfo& clip = info();
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(clip.pixelFormat);
    const bool rgb = desc->flags & AV_PIX_FMT_FLAG_RGB;
    const int alignX = rgb ? 1 : 1 << desc->log2_chroma_w, alignY = rgb ? 1 : 1 << desc->log2_chroma_h;
    // The picture's place on the clip, in whole pixels.
    const auto scaleX = [&](int64_t x) { return x * clip.width / track_.canvasWidth; };
    const auto scaleY = [&](int64_t y) { return y * clip.height / track_.canvasHeight; };
    const int64_t left = scaleX(picture.x), top = scaleY(picture.y);
    const int64_t right = std::max(left + 1, scaleX(int64_t{picture.x} + picture.width));
    const int64_t bottom = std::max(top + 1, scaleY(int64_t{picture.y} + picture.height));
    // The part of the clip it covers, aligned to the chroma samples.
    const int64_t x0 = std::max<int64_t>(0, left) / alignX * alignX, y0 = std::max<int64_t>(0, top) / alignY * alignY;
    const int64_t x1 = std::min<int64_t>(clip.width, (right + alignX - 1) / alignX * alignX);
    const int64_t y1 = std::min<int64_t>(clip.height, (bottom + alignY - 1) / alignY * alignY);
    if (x1 <= x0 || y1 <= y0) return std::nullopt;

    // The picture in BGRA at its own size, then at its size on the clip.
    FramePtr bgra = NewPicture(picture.width, picture.height, AV_PIX_FMT_BGRA);
    for (int y = 0; y < picture.height; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(bgra->data[0] + static_cast<std::ptrdiff_t>(y) * bgra->linesize[0]);
      const uint8_t* indices = picture.indices.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width);
      for (int x = 0; x < picture.width; ++x) row[x] = picture.palette[indices[x]];  // ARGB words are BGRA bytes
    }
    if (right - left != picture.width || bottom - top != picture.height) {
      Scaler resize(static_cast<int>(right - left), static_cast<int>(bottom - top), AV_PIX_FMT_BGRA, SWS_BICUBIC,
                    Matrix::Rec601);
      bgra = resize.Convert(*bgra, origin());
    }
    // On a transparent part of the clip's aligned size.
    const int width = static_cast<int>(x1 - x0), height = static_cast<int>(y1 - y0);
    FramePtr part = NewPicture(width, height, AV_PIX_FMT_BGRA);
    Overlay overlay{static_cast<int>(x0), static_cast<int>(y0), nullptr,
                    std::vector<uint8_t>(static_cast<std::size_t>(width) * static_cast<std::size_t>(height))};
    for (int y = 0; y < height; ++y) {
      uint8_t* row = part->data[0] + static_cast<std::ptrdiff_t>(y) * part->linesize[0];
      std::memset(row, 0, static_cast<std::size_t>(width) * 4);
      const int64_t sourceY = y0 + y - top;
      if (sourceY < 0 || sourceY >= bgra->height) continue;
      for (int x = 0; x < width; ++x) {
        const int64_t sourceX = x0 + x - left;
        if (sourceX < 0 || sourceX >= bgra->width) continue;
        std::memcpy(row + 4 * x, bgra->data[0] + sourceY * bgra->linesize[0] + 4 * sourceX, 4);
        overlay.alpha[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
            row[4 * x + 3];
      }
    }
    // The colours as the clip's pictures hold them (Rec.601 for YUV, as
    // DVD pictures are).
    Scaler convert(width, height, clip.pixelFormat, SWS_BICUBIC, Matrix::Rec601);
    overlay.colours = Share(convert.Convert(*part, origin()));
    return overlay;
  }

  // Each sample of `out` under the overlay mixed with the overlay's colour
  // by its alpha; a chroma sample takes the mean alpha of the pixels it
  // covers. An alpha channel of the clip is left as it is.
  void Blend(AVFrame& out, const Overlay& overlay) const {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info().pixelFormat);
    const bool rgb = desc->flags & AV_PIX_FMT_FLAG_RGB;
    const int components = desc->nb_components - (HasAlpha(info().pixelFormat) ? 1 : 0);
    const AVFrame& colours = *overlay.colours;
    const int width = colours.width;
    for (int c = 0; c < components; ++c) {
      const AVComponentDescriptor& comp = desc->comp[c];
      const bool chroma = !rgb && (c == 1 || c == 2);
      const int shiftX = chroma ? desc->log2_chroma_w : 0, shiftY = chroma ? desc->log2_chroma_h : 0;
      const int samplesX = width >> shiftX, samplesY = colours.height >> shiftY;
      const int cover = 1 << (shiftX + shiftY);
      for (int sy = 0; sy < samplesY; ++sy) {
        uint8_t* dst = out.data[comp.plane] + static_cast<std::ptrdiff_t>((overlay.y >> shiftY) + sy) * out.linesize[comp.plane] +
                       static_cast<std::ptrdiff_t>(overlay.x >> shiftX) * comp.step + comp.offset;
        const uint8_t* src =
            colours.data[comp.plane] + static_cast<std::ptrdiff_t>(sy) * colours.linesize[comp.plane] + comp.offset;
        for (int sx = 0; sx < samplesX; ++sx, dst += comp.step, src += comp.step) {
          int alpha = 0;
          for (int ay = 0; ay < 1 << shiftY; ++ay)
            for (int ax = 0; ax < 1 << shiftX; ++ax)
              alpha += overlay.alpha[static_cast<std::size_t>((sy << shiftY) + ay) * static_cast<std::size_t>(width) +
                                     static_cast<std::size_t>((sx << shiftX) + ax)];
          alpha /= cover;
          if (alpha == 0) continue;
          const int mixed = *dst * (255 - alpha) + *src * alpha;
          *dst = static_cast<uint8_t>((mixed + 128) * 257 >> 16);  // mixed / 255, rounded
        }
      }
    }
  }

  VobSubTrack track_;
};

Value VobSub(Call& call) {
  RequireEightBit(call, VideoOf(call, 0));
  const auto [idx, sub] = PairFiles(call, call.String(1, ""));
  return std::make_shared<VobSubClip>(call, ReadTrack(call, idx, sub));
}

}  // namespace

void RegisterVobSubPlugin(FunctionTable& table) { table["vobsub"] = {"clip:c file:s", VobSub}; }

}  // namespace avs
