#include "tools/engine/media.h"

#include "tools/engine/scale.h"
#include "tools/engine/script.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

extern char** environ;

namespace avs {

namespace {

constexpr int kMaxSampleRate = 1536000;
constexpr int kMaxDecodeFailures = 1000;
// A picture header claiming more is refused before its memory is taken.
constexpr int64_t kMaxDecodedPixels = int64_t{kMaxPictureSide} * kMaxPictureSide;
// Frame and sample counts beyond these come from broken headers.
constexpr int64_t kMaxFrames = int64_t{1} << 31;
constexpr int64_t kMaxSamples = int64_t{1} << 40;

std::string ErrorText(int code) {
  char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, buffer, sizeof buffer);
  return buffer;
}

bool EndsWithNoCase(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == tail;
}

std::string FindOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

// vspipe run with its standard output into a pipe that we read. When it only
// probes, its messages are kept (and given back if it fails) instead of
// reaching the console: the probe closes the pipe early, which vspipe would
// report as an error.
class Vspipe {
 public:
  Vspipe(std::vector<std::string> args, const std::string& origin, bool keepMessages) {
    std::string program = FindOnPath("vspipe");
    if (program.empty()) throw ScriptError(origin + ": VapourSynth (vspipe) not found");
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    auto closeAll = [&] {
      for (int fd : {out[0], out[1], err[0], err[1]})
        if (fd >= 0) close(fd);
    };
    if (pipe2(out, O_CLOEXEC) != 0 || (keepMessages && pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0)) {
      closeAll();
      throw ScriptError(origin + ": cannot create a pipe for vspipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (keepMessages) posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      closeAll();
      throw ScriptError(origin + ": cannot start vspipe: " + std::strerror(rc));
    }
    close(out[1]);
    if (keepMessages) close(err[1]);
    fd_ = out[0];
    messagesFd_ = err[0];
  }
  ~Vspipe() {
    if (fd_ >= 0) close(fd_);
    if (messagesFd_ >= 0) close(messagesFd_);
    if (pid_ > 0) {
      // Closing the pipe ends a vspipe that is writing; one still computing
      // is not waited for.
      if (waitpid(pid_, nullptr, WNOHANG) == 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
  }
  Vspipe(const Vspipe&) = delete;
  Vspipe& operator=(const Vspipe&) = delete;

  std::string Url() const { return "pipe:" + std::to_string(fd_); }

  // The end of what it reported so far, on one line.
  std::string Messages() const {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while (messagesFd_ >= 0 && (n = read(messagesFd_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    for (char& c : text)
      if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text.size() > 600 ? "..." + text.substr(text.size() - 600) : text;
  }

  // Everything it writes, up to `limit` bytes.
  std::string ReadAll(std::size_t limit) {
    std::string text;
    char buffer[4096];
    while (text.size() < limit) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  int messagesFd_ = -1;
};

// The frame count vspipe reports for a script ("Frames: 240"), 0 when it
// reports none; counting the rendered frames instead would render the
// script once more.
int64_t VspipeFrameCount(const std::string& script, const std::string& origin) {
  std::string text = Vspipe({"--info", script, "-"}, origin, true).ReadAll(65536);
  std::size_t at = text.find("Frames:");
  return at == std::string::npos ? 0 : std::strtoll(text.c_str() + at + 7, nullptr, 10);
}

// An opened container, with the vspipe behind it when there is one.
class Input {
 public:
  // `probing`: only the header is read, so a vspipe's messages are held back.
  Input(const std::string& path, const std::string& origin, bool probing) {
    auto fail = [&](const std::string& message) { throw ScriptError(origin + ": " + message); };
    std::string url = path[0] == '/' ? "file:" + path : path;
    const AVInputFormat* format = nullptr;
    if (EndsWithNoCase(path, ".vpy")) {
      vspipe_ = std::make_unique<Vspipe>(std::vector<std::string>{"-c", "y4m", path, "-"}, origin, probing);
      url = vspipe_->Url();
      format = av_find_input_format("yuv4mpegpipe");
    } else {
      struct stat st {};
      if (stat(path.c_str(), &st) != 0) fail("cannot open " + path + ": " + std::strerror(errno));
      if (!S_ISREG(st.st_mode)) fail(path + " is not a file");
      fileSize_ = st.st_size;
    }
    int rc = avformat_open_input(&fmt, url.c_str(), format, nullptr);
    if (rc < 0) {
      fmt = nullptr;
      if (!vspipe_) fail("cannot read " + path + ": " + ErrorText(rc));
      std::string messages = vspipe_->Messages();
      fail("vspipe gave no video for " + path + (messages.empty() ? "" : ": " + messages));
    }
    dataStart_ = fmt->pb ? avio_tell(fmt->pb) : 0;
  }
  ~Input() { avformat_close_input(&fmt); }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  int64_t fileSize() const { return fileSize_; }
  int64_t dataStart() const { return dataStart_; }

  AVFormatContext* fmt = nullptr;

 private:
  std::unique_ptr<Vspipe> vspipe_;
  int64_t fileSize_ = 0;
  int64_t dataStart_ = 0;
};

struct CodecDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

CodecPtr OpenDecoder(const AVStream* stream, const Clip& owner, const std::string& path) {
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  if (!codec) owner.Fail("no decoder for the " + std::string(avcodec_get_name(stream->codecpar->codec_id)) + " in " + path);
  CodecPtr ctx(avcodec_alloc_context3(codec));
  if (!ctx || avcodec_parameters_to_context(ctx.get(), stream->codecpar) < 0) owner.Fail("out of memory");
  ctx->thread_count = 0;  // as many as the machine has
  ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  ctx->pkt_timebase = stream->time_base;
  ctx->max_pixels = kMaxDecodedPixels;
  int rc = avcodec_open2(ctx.get(), codec, nullptr);
  if (rc < 0) owner.Fail("cannot decode " + path + ": " + ErrorText(rc));
  return ctx;
}

// Reads one stream's packets through its decoder.
class Decoder {
 public:
  Decoder(const std::string& path, int streamIndex, const Clip& owner)
      : input_(path, owner.origin(), false), index_(streamIndex), owner_(owner), packet_(av_packet_alloc()) {
    if (!packet_) owner.Fail("out of memory");
    if (streamIndex >= static_cast<int>(input_.fmt->nb_streams)) owner.Fail(path + " changed while it was read");
    for (unsigned i = 0; i < input_.fmt->nb_streams; ++i)
      if (static_cast<int>(i) != streamIndex) input_.fmt->streams[i]->discard = AVDISCARD_ALL;
    codec_ = OpenDecoder(input_.fmt->streams[streamIndex], owner, path);
  }

  // The next decoded frame into `frame`; false at the end of the stream.
  // Damaged packets are skipped, as players do.
  bool Receive(AVFrame* frame) {
    for (;;) {
      av_frame_unref(frame);
      int rc = avcodec_receive_frame(codec_.get(), frame);
      if (rc == 0) {
        failures_ = 0;
        return true;
      }
      if (rc == AVERROR_EOF) return false;
      // A decoder that only reports errors has nothing more to give.
      if (rc != AVERROR(EAGAIN)) {
        if (++failures_ > kMaxDecodeFailures) return false;
        continue;
      }
      if (draining_) return false;
      rc = av_read_frame(input_.fmt, packet_.get());
      if (rc < 0) {
        draining_ = true;
        avcodec_send_packet(codec_.get(), nullptr);
        continue;
      }
      if (packet_->stream_index == index_) {
        rc = avcodec_send_packet(codec_.get(), packet_.get());
        if (rc == AVERROR(ENOMEM)) owner_.Fail("out of memory");
      }
      av_packet_unref(packet_.get());
    }
  }

  AVCodecContext* codec() const { return codec_.get(); }

 private:
  Input input_;
  int index_;
  const Clip& owner_;
  PacketPtr packet_;
  CodecPtr codec_;
  bool draining_ = false;
  int failures_ = 0;
};

class DecodedVideo : public VideoStream {
 public:
  DecodedVideo(const std::string& path, int streamIndex, const Clip& owner)
      : decoder_(path, streamIndex, owner),
        owner_(owner),
        frame_(AllocFrame()),
        normalizer_(owner.info().width, owner.info().height, owner.info().pixelFormat, SWS_BICUBIC, Matrix::Rec601) {}

  const AVFrame* Next() override {
    if (!decoder_.Receive(frame_.get())) return nullptr;
    const ClipInfo& info = owner_.info();
    AVPixelFormat format = static_cast<AVPixelFormat>(frame_->format);
    if (frame_->width == info.width && frame_->height == info.height && PassesAs(format, info.pixelFormat)) {
      frame_->format = info.pixelFormat;
      return frame_.get();
    }
    // A stream that changes size or format midway keeps the clip's.
    return normalizer_.Convert(frame_.get(), owner_.origin());
  }

 private:
  Decoder decoder_;
  const Clip& owner_;
  FramePtr frame_;
  Scaler normalizer_;
};

struct SwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

class DecodedAudio : public AudioStream {
 public:
  DecodedAudio(const std::string& path, int streamIndex, const Clip& owner)
      : decoder_(path, streamIndex, owner), owner_(owner), frame_(AllocFrame()) {}

  std::size_t Read(int16_t* dst, std::size_t maxSamples) override {
    const std::size_t channels = static_cast<std::size_t>(owner_.info().channels);
    std::size_t got = 0;
    while (got < maxSamples) {
      if (pendingAt_ < pendingSamples_) {
        std::size_t n = std::min(maxSamples - got, pendingSamples_ - pendingAt_);
        std::memcpy(dst + got * channels, pending_.data() + pendingAt_ * channels, n * channels * sizeof(int16_t));
        pendingAt_ += n;
        got += n;
      } else if (!Refill()) {
        break;
      }
    }
    return got;
  }

 private:
  // Converts the next decoded frame (or the resampler's tail at the end).
  bool Refill() {
    pendingAt_ = pendingSamples_ = 0;
    if (finished_) return false;
    const AVFrame* in = nullptr;
    if (decoder_.Receive(frame_.get())) {
      in = frame_.get();
      Configure(*in);
    } else {
      finished_ = true;
      if (!swr_) return false;
    }
    int capacity = swr_get_out_samples(swr_.get(), in ? in->nb_samples : 0);
    if (capacity <= 0) return !finished_;
    pending_.resize(static_cast<std::size_t>(capacity) * owner_.info().channels);
    uint8_t* out = reinterpret_cast<uint8_t*>(pending_.data());
    int n = swr_convert(swr_.get(), &out, capacity, in ? const_cast<const uint8_t**>(in->extended_data) : nullptr,
                        in ? in->nb_samples : 0);
    if (n < 0) owner_.Fail("sound conversion failed");
    pendingSamples_ = static_cast<std::size_t>(n);
    return true;
  }

  void Configure(const AVFrame& in) {
    if (swr_ && in.format == inFormat_ && in.sample_rate == inRate_ && in.ch_layout.nb_channels == inChannels_) return;
    AVChannelLayout inLayout{}, outLayout{};
    if (in.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&in.ch_layout) == 0)
      av_channel_layout_default(&inLayout, in.ch_layout.nb_channels);
    else
      av_channel_layout_copy(&inLayout, &in.ch_layout);
    av_channel_layout_default(&outLayout, owner_.info().channels);
    SwrContext* swr = nullptr;
    int rc = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, owner_.info().sampleRate, &inLayout,
                                 static_cast<AVSampleFormat>(in.format), in.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(swr) < 0) {
      swr_free(&swr);
      owner_.Fail("cannot convert this sound to 16 bits");
    }
    swr_.reset(swr);
    inFormat_ = in.format;
    inRate_ = in.sample_rate;
    inChannels_ = in.ch_layout.nb_channels;
  }

  Decoder decoder_;
  const Clip& owner_;
  FramePtr frame_;
  std::unique_ptr<SwrContext, SwrDeleter> swr_;
  int inFormat_ = -1, inRate_ = 0, inChannels_ = 0;
  std::vector<int16_t> pending_;
  std::size_t pendingAt_ = 0, pendingSamples_ = 0;
  bool finished_ = false;
};

class MediaClip : public Clip {
 public:
  MediaClip(ClipInfo info, std::string origin, std::string path, int videoIndex, int audioIndex)
      : Clip(info, std::move(origin)), path_(std::move(path)), videoIndex_(videoIndex), audioIndex_(audioIndex) {}

  std::unique_ptr<VideoStream> OpenVideo() const override {
    return ExactFrameCount(std::make_unique<DecodedVideo>(path_, videoIndex_, *this), info().frameCount, *this);
  }
  std::unique_ptr<AudioStream> OpenAudio() const override {
    return ExactSampleCount(std::make_unique<DecodedAudio>(path_, audioIndex_, *this), info().sampleCount,
                            info().channels);
  }

 private:
  std::string path_;
  int videoIndex_, audioIndex_;
};

// What a container's header does not say is counted by reading its packets
// through once, without decoding: frames as packets, sound as the sum of
// the packets' durations.
struct Tally {
  int64_t packets = 0;
  int64_t duration = 0;  // in the stream's time base
};

void CountPackets(Input& input, int video, Tally& videoTally, int audio, Tally& audioTally) {
  PacketPtr packet(av_packet_alloc());
  while (packet && av_read_frame(input.fmt, packet.get()) >= 0) {
    Tally* tally = packet->stream_index == video ? &videoTally : packet->stream_index == audio ? &audioTally : nullptr;
    if (tally) {
      ++tally->packets;
      tally->duration += std::max<int64_t>(packet->duration, 0);
    }
    av_packet_unref(packet.get());
  }
}

int64_t CountSamples(const std::string& path, int index, const Clip& probe) {
  Decoder decoder(path, index, probe);
  FramePtr frame = AllocFrame();
  int64_t count = 0;
  while (decoder.Receive(frame.get())) count += frame->nb_samples;
  return count;
}

// The size a WAV file's "data" chunk declares; -1 when it declares none
// ("unknown length": 0 or 0xFFFFFFFF, as streamed WAVs carry) or the file
// is no plain RIFF WAVE.
int64_t WavDataBytes(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return -1;
  auto u32 = [](const unsigned char* b) { return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24; };
  unsigned char head[12];
  int64_t declared = -1;
  if (std::fread(head, 1, 12, file) == 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0) {
    unsigned char chunk[8];
    // Chunks before "data" are few; a bound keeps a hostile file short.
    for (int i = 0; i < 64 && std::fread(chunk, 1, 8, file) == 8; ++i) {
      uint32_t size = u32(chunk + 4);
      if (std::memcmp(chunk, "data", 4) == 0) {
        if (size != 0 && size != 0xFFFFFFFFu) declared = size;
        break;
      }
      if (std::fseek(file, static_cast<long>(size) + (size & 1), SEEK_CUR) != 0) break;
    }
  }
  std::fclose(file);
  return declared;
}

// A clip of the probe's info whose streams are never opened; it only gives
// the counting helpers an origin for their messages.
class ProbeClip : public Clip {
 public:
  using Clip::Clip;
  std::unique_ptr<VideoStream> OpenVideo() const override { return nullptr; }
  std::unique_ptr<AudioStream> OpenAudio() const override { return nullptr; }
};

}  // namespace

ClipPtr OpenMedia(const MediaRequest& request, const std::string& origin) {
  const std::string& path = request.path;
  Input input(path, origin, true);
  auto fail = [&](const std::string& message) -> void { throw ScriptError(origin + ": " + message); };
  std::vector<AVDictionary*> probeOptions(input.fmt->nb_streams, nullptr);
  for (AVDictionary*& options : probeOptions) av_dict_set_int(&options, "max_pixels", kMaxDecodedPixels, 0);
  int rc = avformat_find_stream_info(input.fmt, probeOptions.data());
  for (AVDictionary*& options : probeOptions) av_dict_free(&options);
  if (rc < 0) fail("cannot read " + path + ": " + ErrorText(rc));

  int video = request.video ? av_find_best_stream(input.fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0) : -1;
  int audio = request.audio ? av_find_best_stream(input.fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
  if (video >= 0 && (input.fmt->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC)) video = -1;
  if (request.needVideo && video < 0) fail(path + " has no video");
  if (request.needAudio && audio < 0) fail(path + " has no sound");
  if (video < 0 && audio < 0) fail(path + " has neither video nor sound");

  ClipInfo info;
  int64_t frames = 0, samples = 0;
  if (video >= 0) {
    const AVStream* st = input.fmt->streams[video];
    const AVCodecParameters* par = st->codecpar;
    if (par->width <= 0 || par->height <= 0 || par->width > kMaxPictureSide || par->height > kMaxPictureSide)
      fail(path + " has a picture size of " + std::to_string(par->width) + "x" + std::to_string(par->height));
    AVRational rate = st->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = st->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) rate = AVRational{25, 1};
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, INT32_MAX);
    info.hasVideo = true;
    info.width = par->width;
    info.height = par->height;
    info.pixelFormat = EngineFormat(static_cast<AVPixelFormat>(par->format));
    info.fps = Rational{rate.num, rate.den};
    frames = st->nb_frames;
    if (frames <= 0 && st->duration > 0 && st->duration != AV_NOPTS_VALUE)
      frames = av_rescale_q(st->duration, st->time_base, av_inv_q(rate));
    // A header that promises more frames than the file's index lists is
    // checked against the packets that are there.
    int indexed = avformat_index_get_entries_count(st);
    if (indexed > 0 && frames > indexed) frames = 0;
  }
  int bits = 0;
  if (audio >= 0) {
    const AVStream* st = input.fmt->streams[audio];
    const AVCodecParameters* par = st->codecpar;
    int channels = par->ch_layout.nb_channels;
    if (par->sample_rate <= 0 || par->sample_rate > kMaxSampleRate)
      fail(path + " has a sample rate of " + std::to_string(par->sample_rate));
    if (channels <= 0 || channels > kMaxChannels) fail(path + " has " + std::to_string(channels) + " channels");
    info.hasAudio = true;
    info.sampleRate = par->sample_rate;
    info.channels = channels;
    bits = av_get_bits_per_sample(par->codec_id);
    if (st->duration > 0 && st->duration != AV_NOPTS_VALUE)
      samples = av_rescale_q(st->duration, st->time_base, AVRational{1, par->sample_rate});
    // AVI counts PCM sound in sample frames.
    else if (bits > 0 && st->nb_frames > 0)
      samples = st->nb_frames;
    bool wav = std::strcmp(input.fmt->iformat->name, "wav") == 0;
    if (wav) {
      int64_t declared = WavDataBytes(path);
      int64_t present = input.fileSize() - input.dataStart();
      if (declared > present)
        fail("the header of " + path + " promises " + std::to_string(declared) + " bytes of sound, but the file holds " +
             std::to_string(std::max<int64_t>(present, 0)));
    }
    // An AVI header may promise more PCM sound than the file holds.
    if (bits > 0 && input.fileSize() > 0) {
      int64_t held = (input.fileSize() - (wav ? input.dataStart() : 0)) / (int64_t{bits} / 8 * channels);
      if ((wav && samples <= 0) || samples > held) samples = held;
    }
  }
  if (info.hasVideo && frames <= 0 && EndsWithNoCase(path, ".vpy")) frames = VspipeFrameCount(path, origin);
  if ((info.hasVideo && frames <= 0) || (info.hasAudio && samples <= 0)) {
    Tally videoTally, audioTally;
    CountPackets(input, info.hasVideo ? video : -1, videoTally, info.hasAudio ? audio : -1, audioTally);
    if (frames <= 0) frames = videoTally.packets;
    // A cut or doctored file: its header names more frames than it holds.
    int64_t promised = info.hasVideo ? input.fmt->streams[video]->nb_frames : 0;
    if (promised > frames)
      fail("the header of " + path + " promises " + std::to_string(promised) + " frames, but the file holds " +
           std::to_string(frames));
    if (samples <= 0 && info.hasAudio)
      samples = av_rescale_q(audioTally.duration, input.fmt->streams[audio]->time_base, AVRational{1, info.sampleRate});
  }
  if (info.hasAudio && (samples <= 0 || samples > kMaxSamples)) {
    ProbeClip probe(info, origin);
    samples = CountSamples(path, audio, probe);
  }
  if (info.hasVideo && (frames <= 0 || frames > kMaxFrames)) fail(path + " holds no readable frame count");
  if (info.hasAudio && (samples <= 0 || samples > kMaxSamples)) fail(path + " holds no sound");
  info.frameCount = frames;
  info.sampleCount = samples;
  if (!info.hasVideo) video = -1;
  return std::make_shared<MediaClip>(info, origin, path, video, audio);
}

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
bool DecodePicture(const std::string& path, AVFrame* frame, const Clip& owner) {
  // Only regular files: reading a pipe or a device could wait forever.
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(path.c_str(), R_OK) != 0) return false;
  AVFormatContext* fmt = nullptr;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "pattern_type", "none", 0);  // a "%" in a folder name is no pattern
  int rc = avformat_open_input(&fmt, ("file:" + path).c_str(), av_find_input_format("image2"), &options);
  av_dict_free(&options);
  if (rc < 0) owner.Fail("cannot read the image " + path + ": " + ErrorText(rc));
  struct Closer {
    AVFormatContext*& f;
    ~Closer() { avformat_close_input(&f); }
  } closer{fmt};
  if (fmt->nb_streams < 1) owner.Fail("cannot read the image " + path);
  CodecPtr codec = OpenDecoder(fmt->streams[0], owner, path);
  PacketPtr packet(av_packet_alloc());
  if (!packet) owner.Fail("out of memory");
  while (av_read_frame(fmt, packet.get()) >= 0) {
    bool sent = avcodec_send_packet(codec.get(), packet.get()) >= 0;
    av_packet_unref(packet.get());
    if (sent && avcodec_receive_frame(codec.get(), frame) == 0) return true;
  }
  avcodec_send_packet(codec.get(), nullptr);
  if (avcodec_receive_frame(codec.get(), frame) == 0) return true;
  owner.Fail("cannot decode the image " + path);
}

class ImageClip : public Clip {
 public:
  ImageClip(ClipInfo info, std::string origin, Pattern pattern, int64_t first)
      : Clip(info, std::move(origin)), pattern_(std::move(pattern)), first_(first) {}

  class Stream : public VideoStream {
   public:
    explicit Stream(const ImageClip& clip)
        : clip_(clip),
          picture_(AllocFrame()),
          toRgb_(clip.info().width, clip.info().height, clip.info().pixelFormat, SWS_BICUBIC, Matrix::Rec601) {}
    const AVFrame* Next() override {
      if (next_ >= clip_.info().frameCount) return nullptr;
      std::string name = clip_.pattern_.Name(clip_.first_ + next_++);
      if (!DecodePicture(name, picture_.get(), clip_)) clip_.Fail("cannot open the image " + name);
      return toRgb_.Convert(picture_.get(), clip_.origin());
    }

   private:
    const ImageClip& clip_;
    int64_t next_ = 0;
    FramePtr picture_;
    Scaler toRgb_;
  };

  std::unique_ptr<VideoStream> OpenVideo() const override { return std::make_unique<Stream>(*this); }
  std::unique_ptr<AudioStream> OpenAudio() const override { return nullptr; }

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
  if (last - first >= kMaxFrames) throw ScriptError(origin + ": ImageSource: too many frames");
  ClipInfo info;
  info.hasVideo = true;
  info.fps = fps;
  info.frameCount = last - first + 1;
  std::string firstName = pattern.Name(first);
  ProbeClip probe(info, origin);
  FramePtr picture = AllocFrame();
  if (!DecodePicture(firstName, picture.get(), probe))
    throw ScriptError(origin + ": ImageSource: cannot open the image " + firstName);
  if (picture->width > kMaxPictureSide || picture->height > kMaxPictureSide)
    throw ScriptError(origin + ": ImageSource: the image " + firstName + " is too large");
  info.width = picture->width;
  info.height = picture->height;
  bool alpha = EngineFormat(static_cast<AVPixelFormat>(picture->format)) == AV_PIX_FMT_BGRA;
  info.pixelFormat = alpha ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  return std::make_shared<ImageClip>(info, origin, std::move(pattern), first);
}

Rational FloatToRational(double fps) {
  // The first continued-fraction convergent within the precision a script's
  // decimal number carries.
  const double tolerance = fps * 1e-7;
  double x = fps;
  int64_t h0 = 1, h1 = 0, k0 = 0, k1 = 1;  // convergents h/k
  for (int i = 0; i < 40; ++i) {
    double a = std::floor(x);
    if (a > 1e12) break;
    int64_t ai = static_cast<int64_t>(a);
    int64_t h = ai * h0 + h1, k = ai * k0 + k1;
    if (k > 1000000000) break;
    h1 = h0;
    h0 = h;
    k1 = k0;
    k0 = k;
    if (std::fabs(fps - static_cast<double>(h) / static_cast<double>(k)) <= tolerance) break;
    double frac = x - a;
    if (frac < 1e-12) break;
    x = 1.0 / frac;
  }
  return Rational{h0, k0};
}

}  // namespace avs
