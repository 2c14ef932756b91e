// Numbered pictures as a clip: each frame is one image file.
#include "tools/engine/input.h"
#include "tools/engine/media.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

namespace avs {

namespace {

// "name%04d.png" split around its one integer conversion.
struct Pattern {
  std::string head, tail;
  bool numbered = false;
  bool zeroPad = false;
  int width = 0;

  std::string Name(int64_t n) const {
    if (!numbered) return head;
    std::string digits = std::to_string(n < 0 ? -n : n);
    std::size_t wanted = static_cast<std::size_t>(width) - (n < 0 ? 1 : 0);
    if (width > 0 && digits.size() < wanted) digits.insert(0, wanted - digits.size(), zeroPad ? '0' : ' ');
    return head + (n < 0 ? "-" : "") + digits + tail;
  }
};

Pattern ParsePattern(const std::string& text, const std::string& origin) {
  Pattern p;
  std::string* part = &p.head;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *part += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '%') {
      *part += '%';
      ++i;
      continue;
    }
    if (p.numbered) throw ScriptError(origin + ": ImageSource: the pattern " + text + " has more than one number");
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '0') {
      p.zeroPad = true;
      ++j;
    }
    while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j])) && p.width < 100)
      p.width = p.width * 10 + (text[j++] - '0');
    if (j >= text.size() || (text[j] != 'd' && text[j] != 'i'))
      throw ScriptError(origin + ": ImageSource: the pattern " + text + " may only hold %d conversions");
    p.numbered = true;
    part = &p.tail;
    i = j;
  }
  return p;
}

// Decodes the one picture of an image file.
bool DecodePicture(const std::string& path, AVFrame* frame, const std::string& origin) {
  auto fail = [&origin](const std::string& message) { throw ScriptError(origin + ": " + message); };
  // Only regular files: reading a pipe or a device could wait forever.
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(path.c_str(), R_OK) != 0) return false;
  AVFormatContext* fmt = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "pattern_type", "none", 0);  // a "%" in a folder name is no pattern
  int rc = avformat_open_input(&fmt, ("file:" + path).c_str(), av_find_input_format("image2"), &options);
  av_dict_free(&options);
  if (rc < 0) fail("cannot read the image " + path + ": " + ErrorText(rc));
  struct Closer {
    AVFormatContext*& f;
    ~Closer() { avformat_close_input(&f); }
  } closer{fmt};
  if (fmt->nb_streams < 1) fail("cannot read the image " + path);
  CodecPtr codec = OpenDecoder(fmt->streams[0], origin, path);
  PacketPtr packet = AllocPacket();
  while (av_read_frame(fmt, packet.get()) >= 0) {
    bool sent = avcodec_send_packet(codec.get(), packet.get()) >= 0;
    av_packet_unref(packet.get());
    if (sent && avcodec_receive_frame(codec.get(), frame) == 0) return true;
  }
  avcodec_send_packet(codec.get(), nullptr);
  if (avcodec_receive_frame(codec.get(), frame) == 0) return true;
  fail("cannot decode the image " + path);
  return false;
}

class ImageClip : public Clip {
 public:
  ImageClip(ClipInfo info, std::string origin, Pattern pattern, int64_t first)
      : Clip(info, std::move(origin)), pattern_(std::move(pattern)), first_(first) {}

  // Any frame is one file away.
  class Stream : public VideoStream {
   public:
    explicit Stream(const ImageClip& clip)
        : clip_(clip), toRgb_(clip.info().width, clip.info().height, clip.info().pixelFormat, SWS_BICUBIC, Matrix::Rec601) {}
    FrameRef Frame(int64_t n) override {
      std::string name = clip_.pattern_.Name(clip_.first_ + n);
      FramePtr picture = AllocFrame();
      if (!DecodePicture(name, picture.get(), clip_.origin())) clip_.Fail("cannot open the image " + name);
      return Share(toRgb_.Convert(*picture, clip_.origin()));
    }

   private:
    const ImageClip& clip_;
    Scaler toRgb_;
  };

  std::unique_ptr<VideoStream> OpenVideo(Reading&) const override { return std::make_unique<Stream>(*this); }

 private:
  Pattern pattern_;
  int64_t first_;
};

}  // namespace

ClipPtr OpenImageSequence(const std::string& patternText, int64_t first, int64_t last, Rational fps,
                          const std::string& origin) {
  Pattern pattern = ParsePattern(patternText, origin);
  if (last < first)
    throw ScriptError(origin + ": ImageSource: the last frame " + std::to_string(last) + " comes before the first " +
                      std::to_string(first));
  if (first < INT32_MIN || last > INT32_MAX || last - first >= kMaxFrames)
    throw ScriptError(origin + ": ImageSource: the frames " + std::to_string(first) + " to " + std::to_string(last) +
                      " are out of range");
  ClipInfo info;
  info.hasVideo = true;
  info.fps = fps;
  info.frameCount = last - first + 1;
  std::string firstName = pattern.Name(first);
  FramePtr picture = AllocFrame();
  if (!DecodePicture(firstName, picture.get(), origin))
    throw ScriptError(origin + ": ImageSource: cannot open the image " + firstName);
  if (picture->width > kMaxPictureSide || picture->height > kMaxPictureSide)
    throw ScriptError(origin + ": ImageSource: the image " + firstName + " is too large");
  info.width = picture->width;
  info.height = picture->height;
  bool alpha = HasAlpha(EngineFormat(static_cast<AVPixelFormat>(picture->format)));
  info.pixelFormat = alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  return std::make_shared<ImageClip>(info, origin, std::move(pattern), first);
}

}  // namespace avs
