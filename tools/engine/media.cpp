// Clips read from media files: frames and samples in any order, decoded
// forward and found by seeking when asked for something behind or far ahead.
#include "tools/engine/media.h"

#include "tools/engine/input.h"
#include "tools/engine/samples.h"
#include "tools/engine/scale.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/cpu.h>
#include <libavutil/imgutils.h>
#include <libavutil/intreadwrite.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

namespace avs {

namespace {

// Frames or samples this far ahead are decoded to rather than sought.
constexpr int64_t kVideoDecodeAhead = 64;
constexpr int64_t kAudioDecodeAheadSeconds = 10;

// How the frames of a file's video are numbered: in decoding order, or (in
// a stream whose time base is one frame, as AVI's) by their times from
// `first`, so that a frame the file leaves out (a capture's dropped frame,
// an empty index entry) keeps its number and shows the frame before it.
struct FrameNumbering {
  bool byTime = false;
  int64_t first = 0;
};

class MediaClip : public Clip {
 public:
  // `fullRange`: the stream's YUV is full range, and its pictures keep
  // that range (flagged) for the conversion put after the clip.
  MediaClip(ClipInfo info, std::string origin, std::string path, int videoIndex, int audioIndex,
            FrameNumbering numbering, bool fullRange, bool refuseRepeatedFields)
      : Clip(info, std::move(origin)),
        path_(std::move(path)),
        videoIndex_(videoIndex),
        audioIndex_(audioIndex),
        numbering_(numbering),
        fullRange_(fullRange),
        refuseRepeatedFields_(refuseRepeatedFields) {}

  std::unique_ptr<VideoStream> OpenVideo(Reading& reading) const override;
  std::unique_ptr<AudioStream> OpenAudio(Reading& reading) const override;

  const std::string& path() const { return path_; }
  int videoIndex() const { return videoIndex_; }
  int audioIndex() const { return audioIndex_; }
  const FrameNumbering& numbering() const { return numbering_; }
  bool rangeLeftToConvert() const { return fullRange_; }
  bool refusesRepeatedFields() const { return refuseRepeatedFields_; }

 private:
  std::string path_;
  int videoIndex_, audioIndex_;
  FrameNumbering numbering_;
  bool fullRange_;
  bool refuseRepeatedFields_;
};

// The picture of a file. Frames are numbered by their times where the
// stream's time base is one frame; elsewhere by their place in decoding
// order from the start, and after a seek by their presentation time's place
// among the times of all the stream's packets, which are read (once) for
// the first seek. Frames the file or the decoder leaves out show the frame
// before them, and frames beyond the last decodable one repeat it.
class DecodedVideo : public VideoStream {
 public:
  explicit DecodedVideo(const MediaClip& clip)
      : clip_(clip),
        decoderFrames_(DecoderFrameBytes(clip.info())),
        decoder_(std::make_unique<Decoder>(clip.path(), clip.videoIndex(), clip.origin())),
        normalizer_(clip.info().width, clip.info().height, clip.info().pixelFormat, SWS_BICUBIC, Matrix::Rec601),
        rewindable_(decoder_->seekable() && std::filesystem::is_regular_file(clip.path())) {}

  FrameRef Frame(int64_t n) override {
    if (!Holds(n) && (n < next_ || (n - next_ > kVideoDecodeAhead && !ended_))) Reposition(n);
    DecodeTo(n);
    if (const Numbered* shown = Shown(n); shown && !shown->frame) {
      // Released to a reader that drew on it: decoded again.
      Reposition(shown->index);
      DecodeTo(n);
    }
    if (Holds(n)) return Shown(n)->frame;
    // Past the last decodable frame, or the decoder dropped frames ahead.
    if (!last_.frame) clip_.Fail("no frame could be decoded");
    return last_.frame;
  }

  // Only a file can be gone back in to decode a released frame again. At
  // the end the last frame stays: it shows for the frames past it.
  void Release(const FrameRef& frame) override {
    if (!rewindable_ || ended_) return;
    for (Numbered* kept : {&previous_, &last_})
      if (kept->frame == frame) kept->frame.reset();
  }

 private:
  struct Numbered {
    FrameRef frame;  // none once released
    int64_t index = -1;
  };

  // The decoded frame that frame n shows: the last one decoded, or the one
  // before it for the frames the decoder dropped between them; none when n
  // lies ahead.
  const Numbered* Shown(int64_t n) const {
    if (last_.index < 0) return nullptr;
    if (n == last_.index || (ended_ && n > last_.index)) return &last_;
    if (previous_.index >= 0 && n >= previous_.index && n < last_.index) return &previous_;
    return nullptr;
  }
  bool Holds(int64_t n) const {
    const Numbered* shown = Shown(n);
    return shown && shown->frame;
  }
  void DecodeTo(int64_t n) {
    while (!Shown(n) && next_ <= n && !ended_) DecodeOne();
  }

  // Decodes the next frame; false at the end of the stream.
  bool DecodeOne() {
    FramePtr frame = AllocFrame();
    if (!decoder_->Receive(frame.get())) {
      ended_ = true;
      return false;
    }
    if (frame->repeat_pict > 0 && clip_.refusesRepeatedFields())
      clip_.Fail(clip_.path() + " repeats fields of its pictures (soft pulldown), which are not applied here");
    int64_t index = IndexOf(*frame);
    if (index < next_) return true;  // a frame from before the one sought
    previous_ = std::move(last_);
    last_ = Numbered{Normalize(std::move(frame)), index};
    next_ = index + 1;
    return true;
  }

  int64_t IndexOf(const AVFrame& frame) const {
    const int64_t time = frame.best_effort_timestamp;
    if (time == AV_NOPTS_VALUE) return next_;
    if (clip_.numbering().byTime) return std::max<int64_t>(0, time - clip_.numbering().first);
    if (times_.empty()) return next_;
    auto at = std::upper_bound(times_.begin(), times_.end(), time);
    return std::max<int64_t>(0, at - times_.begin() - 1);
  }

  // The time of frame `index`, which the times know of.
  int64_t TimeOf(int64_t index) const {
    return clip_.numbering().byTime ? clip_.numbering().first + index : times_[static_cast<std::size_t>(index)];
  }

  FrameRef Normalize(FramePtr frame) {
    const ClipInfo& info = clip_.info();
    const bool sized = frame->width == info.width && frame->height == info.height;
    if (sized && PassesAs(*frame, info.pixelFormat)) return Share(std::move(frame));
    // A full-range stream's pictures keep their range for the conversion
    // after the source to take care of; elsewhere full-range pictures
    // become limited range here. A stream that changes size or format
    // midway keeps the clip's.
    if (sized && clip_.rangeLeftToConvert() && LabelFullRange(*frame, info.pixelFormat)) return Share(std::move(frame));
    return Share(normalizer_.Convert(*frame, clip_.origin()));
  }

  void Restart() {
    decoder_.reset();
    decoder_ = std::make_unique<Decoder>(clip_.path(), clip_.videoIndex(), clip_.origin());
    Forget(0);
  }

  void Forget(int64_t next) {
    previous_ = {};
    last_ = {};
    next_ = next;
    ended_ = false;
  }

  // Goes to a key frame at or before frame n; a pipe can only start over.
  void Reposition(int64_t n) {
    if (!decoder_->seekable()) {
      if (n < next_) Restart();
      return;
    }
    const bool byTime = clip_.numbering().byTime;
    if (!byTime && !timesRead_) {
      times_ = PacketTimes(clip_.path(), clip_.videoIndex(), clip_.origin());
      timesRead_ = true;
    }
    if (!byTime && times_.empty()) return Restart();
    const int64_t last = byTime ? clip_.info().frameCount - 1 : static_cast<int64_t>(times_.size()) - 1;
    // A key frame may lie after the time sought (an index that is off):
    // step back further until the first frame decoded is not after n.
    for (int64_t back = 0;; back = back ? back * 2 : 16) {
      const int64_t target = std::clamp<int64_t>(n - back, 0, last);
      if (!decoder_->SeekBefore(TimeOf(target))) return Restart();
      Forget(0);
      if (!DecodeOne()) break;
      if (last_.index <= n) {
        previous_ = {};
        return;
      }
      if (target == 0) break;
    }
    Restart();
  }

  // The pictures a decoder keeps for itself: one for each of its threads
  // and the ones it refers to.
  static std::size_t DecoderFrameBytes(const ClipInfo& info) {
    const int pictureBytes = av_image_get_buffer_size(info.pixelFormat, info.width, info.height, 1);
    return static_cast<std::size_t>(std::max(pictureBytes, 0)) * static_cast<std::size_t>(av_cpu_count() + 4);
  }

  const MediaClip& clip_;
  FrameMemoryCharge decoderFrames_;
  std::unique_ptr<Decoder> decoder_;
  Scaler normalizer_;
  std::vector<int64_t> times_;
  bool timesRead_ = false;
  Numbered previous_, last_;
  int64_t next_ = 0;
  bool ended_ = false;
  bool rewindable_;
};

struct SwrDeleter {
  void operator()(SwrContext* s) const { swr_free(&s); }
};

// The sound of a file, converted to the clip's sample type, rate and
// channels. Recently decoded samples stay in a window, so that reads that
// overlap or go back a little decode nothing twice. Samples are numbered by
// counting from the start. A seek finds its place by the first frame's time
// where the stream's time base tells single samples apart (WAV, AVI);
// elsewhere (Matroska counts milliseconds) only by the times of frames
// already decoded and counted, and reads far ahead decode forward.
class DecodedAudio : public AudioStream {
 public:
  explicit DecodedAudio(const MediaClip& clip)
      : clip_(clip),
        decoder_(std::make_unique<Decoder>(clip.path(), clip.audioIndex(), clip.origin())),
        frame_(AllocFrame()),
        frameBytes_(static_cast<std::size_t>(BytesPerSample(clip.info().sampleType)) * clip.info().channels),
        startTime_(StartTime(decoder_->stream())),
        exactTimes_(int64_t{decoder_->stream().time_base.num} * clip.info().sampleRate <=
                    decoder_->stream().time_base.den) {}

  void Read(void* dst, int64_t start, int64_t count) override {
    auto* out = static_cast<uint8_t*>(dst);
    const int64_t aheadLimit = kAudioDecodeAheadSeconds * clip_.info().sampleRate;
    // One seek per request: after it the samples lie ahead (or the stream
    // started over), and decoding on reaches them even where the file's
    // times mislead every further seek.
    bool repositioned = false;
    while (count > 0) {
      if (start >= windowStart_ && start < WindowEnd()) {
        const int64_t n = std::min(count, WindowEnd() - start);
        std::memcpy(out, window_.data() + static_cast<std::size_t>(start - windowStart_) * frameBytes_,
                    static_cast<std::size_t>(n) * frameBytes_);
        out += static_cast<std::size_t>(n) * frameBytes_;
        start += n;
        count -= n;
      } else if (start >= WindowEnd() && ended_) {
        // The file holds less sound than its header said.
        FillSilence(out, clip_.info().sampleType, static_cast<std::size_t>(count) * clip_.info().channels);
        return;
      } else if (start >= WindowEnd() &&
                 (repositioned || start - WindowEnd() <= aheadLimit || !exactTimes_ || !decoder_->seekable())) {
        DecodeMore();
      } else {
        Reposition(start);
        repositioned = true;
      }
    }
  }

 private:
  // Samples kept behind the newest decoded ones.
  static constexpr int64_t kWindow = 65536;

  static int64_t StartTime(const AVStream& stream) {
    return stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
  }

  int64_t WindowEnd() const { return windowStart_ + static_cast<int64_t>(window_.size() / frameBytes_); }

  // Appends the next decoded frame's samples (or the resampler's tail at
  // the end of the stream) to the window.
  void DecodeMore() {
    if (decoder_->Receive(frame_.get())) return Append(frame_.get());
    if (swr_) Append(nullptr);
    ended_ = true;
    swr_.reset();
  }

  void Append(const AVFrame* in) {
    if (in) {
      Configure(*in);
      Remember(in->best_effort_timestamp, WindowEnd());
    }
    int capacity = swr_get_out_samples(swr_.get(), in ? in->nb_samples : 0);
    if (capacity < 0) clip_.Fail("sound conversion failed");
    if (window_.size() / frameBytes_ > static_cast<std::size_t>(2 * kWindow)) {
      const std::size_t drop = window_.size() - static_cast<std::size_t>(kWindow) * frameBytes_;
      window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(drop));
      windowStart_ += static_cast<int64_t>(drop / frameBytes_);
    }
    const std::size_t at = window_.size();
    window_.resize(at + static_cast<std::size_t>(capacity) * frameBytes_);
    uint8_t* outPtr = window_.data() + at;
    int n = swr_convert(swr_.get(), &outPtr, capacity, in ? const_cast<const uint8_t**>(in->extended_data) : nullptr,
                        in ? in->nb_samples : 0);
    if (n < 0) clip_.Fail("sound conversion failed");
    window_.resize(at + static_cast<std::size_t>(n) * frameBytes_);
    if (clip_.info().sampleType == SampleType::S24)
      ConvertSamples(outPtr, SampleType::S32, outPtr, SampleType::S24, static_cast<std::size_t>(n) * clip_.info().channels);
  }

  void Configure(const AVFrame& in) {
    if (swr_ && in.format == inFormat_ && in.sample_rate == inRate_ && in.ch_layout.nb_channels == inChannels_) return;
    AVChannelLayout inLayout{}, outLayout{};
    if (in.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&in.ch_layout) == 0)
      av_channel_layout_default(&inLayout, in.ch_layout.nb_channels);
    else
      av_channel_layout_copy(&inLayout, &in.ch_layout);
    const ClipInfo& info = clip_.info();
    av_channel_layout_default(&outLayout, info.channels);
    SwrContext* swr = nullptr;
    int rc = swr_alloc_set_opts2(&swr, &outLayout, PackedFormat(info.sampleType), info.sampleRate, &inLayout,
                                 static_cast<AVSampleFormat>(in.format), in.sample_rate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(swr) < 0) {
      swr_free(&swr);
      clip_.Fail("cannot convert this sound");
    }
    swr_.reset(swr);
    inFormat_ = in.format;
    inRate_ = in.sample_rate;
    inChannels_ = in.ch_layout.nb_channels;
  }

  void Forget(int64_t position) {
    window_.clear();
    windowStart_ = position;
    swr_.reset();
    ended_ = false;
  }

  void Restart() {
    decoder_.reset();
    decoder_ = std::make_unique<Decoder>(clip_.path(), clip_.audioIndex(), clip_.origin());
    Forget(0);
  }

  // Notes where a decoded frame starts, for seeks back to it.
  void Remember(int64_t time, int64_t position) {
    if (time == AV_NOPTS_VALUE || (!known_.empty() && (time <= known_.back().time || position <= known_.back().position)))
      return;
    known_.push_back(Known{time, position});
  }

  // The position of the first sample of a frame of time `time`; -1 when it
  // cannot be known.
  int64_t PositionAt(int64_t time) const {
    if (time == AV_NOPTS_VALUE) return -1;
    if (exactTimes_)
      return av_rescale_q(time - startTime_, decoder_->stream().time_base, AVRational{1, clip_.info().sampleRate});
    auto at = std::lower_bound(known_.begin(), known_.end(), time, [](const Known& k, int64_t t) { return k.time < t; });
    return at != known_.end() && at->time == time ? at->position : -1;
  }

  // Seeks to a little before `start` (decoders of compressed sound need a
  // few frames to settle) and numbers the samples from there.
  void Reposition(int64_t start) {
    if (!decoder_->seekable()) return Restart();
    for (int64_t preroll = clip_.info().sampleRate / 10;; preroll *= 4) {
      const int64_t from = std::max<int64_t>(0, start - preroll);
      int64_t time = 0;
      if (exactTimes_) {
        time = startTime_ + av_rescale_q(from, AVRational{1, clip_.info().sampleRate}, decoder_->stream().time_base);
      } else {
        auto after = std::upper_bound(known_.begin(), known_.end(), from,
                                      [](int64_t p, const Known& k) { return p < k.position; });
        if (after == known_.begin()) break;
        time = std::prev(after)->time;
      }
      if (!decoder_->SeekBefore(time) || !decoder_->Receive(frame_.get())) break;
      const int64_t position = PositionAt(frame_->best_effort_timestamp);
      if (position >= 0 && position <= start) {
        Forget(position);
        return Append(frame_.get());
      }
      if (from == 0) break;
    }
    Restart();
  }

  const MediaClip& clip_;
  std::unique_ptr<Decoder> decoder_;
  FramePtr frame_;
  std::size_t frameBytes_;
  int64_t startTime_;
  std::unique_ptr<SwrContext, SwrDeleter> swr_;
  int inFormat_ = -1, inRate_ = 0, inChannels_ = 0;
  std::vector<uint8_t> window_;
  int64_t windowStart_ = 0;
  bool ended_ = false;
  struct Known {
    int64_t time, position;
  };
  const bool exactTimes_;
  std::vector<Known> known_;  // in order of both
};

std::unique_ptr<VideoStream> MediaClip::OpenVideo(Reading&) const { return std::make_unique<DecodedVideo>(*this); }
std::unique_ptr<AudioStream> MediaClip::OpenAudio(Reading&) const { return std::make_unique<DecodedAudio>(*this); }

// What a container's header does not say is counted by reading its packets
// through once, without decoding: frames as packets, sound as the sum of
// the packets' durations.
struct Tally {
  int64_t packets = 0;
  int64_t lastTime = AV_NOPTS_VALUE;
  int64_t duration = 0;  // in the stream's time base
  // Samples the decoder leaves out: an encoder's delay at the start and its
  // padding at the end, which the container marks (gapless MP3).
  int64_t skipped = 0;
};

void CountPackets(Input& input, int video, Tally& videoTally, int audio, Tally& audioTally) {
  PacketPtr packet = AllocPacket();
  while (av_read_frame(input.fmt, packet.get()) >= 0) {
    Tally* tally = packet->stream_index == video ? &videoTally : packet->stream_index == audio ? &audioTally : nullptr;
    if (tally) {
      ++tally->packets;
      tally->duration += std::max<int64_t>(packet->duration, 0);
      if (const int64_t time = PacketTime(*packet); time != AV_NOPTS_VALUE)
        tally->lastTime = tally->lastTime == AV_NOPTS_VALUE ? time : std::max(tally->lastTime, time);
      std::size_t size = 0;
      if (const uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size); skip && size >= 8)
        tally->skipped += int64_t{AV_RL32(skip)} + AV_RL32(skip + 4);
    }
    av_packet_unref(packet.get());
  }
}

int64_t CountSamples(const std::string& path, int index, const std::string& origin) {
  Decoder decoder(path, index, origin);
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

}  // namespace

int StreamOfKind(const std::string& path, bool video, int n, const std::string& origin) {
  Input input(path, origin, true);
  const AVMediaType type = video ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
  if (input.FindStreams() >= 0)
    for (unsigned i = 0, seen = 0; i < input.fmt->nb_streams; ++i)
      if (input.fmt->streams[i]->codecpar->codec_type == type && static_cast<int>(seen++) == n) return static_cast<int>(i);
  throw ScriptError(origin + ": " + path + " has no " + (video ? "video" : "sound") + " track " + std::to_string(n));
}

std::vector<double> FrameTimesInMilliseconds(const std::string& path, int videoStream, const std::string& origin) {
  const std::vector<int64_t> times = PacketTimes(path, videoStream, origin);
  if (times.empty()) return {};
  const AVRational timeBase = Input(path, origin, false).fmt->streams[videoStream]->time_base;
  std::vector<double> milliseconds;
  milliseconds.reserve(times.size());
  for (int64_t time : times) milliseconds.push_back(static_cast<double>(time - times.front()) * 1000 * av_q2d(timeBase));
  return milliseconds;
}

ClipPtr OpenMedia(const MediaRequest& request, const std::string& origin, MediaFacts* facts) {
  const std::string& path = request.path;
  Input input(path, origin, true);
  auto fail = [&](const std::string& message) -> void { throw ScriptError(origin + ": " + message); };
  if (const int rc = input.FindStreams(); rc < 0) fail("cannot read " + path + ": " + ErrorText(rc));

  // A stream asked for by its index must be of its kind.
  auto choose = [&](bool wanted, int asked, AVMediaType type, const char* kind) {
    if (!wanted) return -1;
    if (asked == MediaRequest::kBestStream) return av_find_best_stream(input.fmt, type, -1, -1, nullptr, 0);
    if (asked < 0 || asked >= static_cast<int>(input.fmt->nb_streams) ||
        input.fmt->streams[asked]->codecpar->codec_type != type)
      fail(path + " has no " + kind + " stream " + std::to_string(asked));
    return asked;
  };
  int video = choose(request.video, request.videoStream, AVMEDIA_TYPE_VIDEO, "video");
  int audio = choose(request.audio, request.audioStream, AVMEDIA_TYPE_AUDIO, "sound");
  if (video >= 0 && (input.fmt->streams[video]->disposition & AV_DISPOSITION_ATTACHED_PIC)) video = -1;
  if (request.needVideo && video < 0) fail(path + " has no video");
  if (request.needAudio && audio < 0) fail(path + " has no sound");
  if (video < 0 && audio < 0) fail(path + " has neither video nor sound");

  // Raw streams (MP3, ADTS AAC, AC-3) guess their length from the bitrate
  // or ignore the samples a decoder leaves out, and MPEG streams count
  // from their first time to their last, without the last frame's length:
  // only other containers' header lengths are taken as they are.
  const bool headerLength = input.fmt->duration_estimation_method == AVFMT_DURATION_FROM_STREAM &&
                            (input.fmt->iformat->flags & AVFMT_GENERIC_INDEX) == 0;
  ClipInfo info;
  FrameNumbering numbering;
  bool fullRange = false;
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
    fullRange = !IsRgbFormat(info.pixelFormat) &&
                (par->color_range == AVCOL_RANGE_JPEG || IsFullRangeFormat(static_cast<AVPixelFormat>(par->format)));
    info.fps = Rational{rate.num, rate.den};
    numbering.byTime = av_cmp_q(av_inv_q(st->time_base), rate) == 0;
    numbering.first = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    frames = st->nb_frames;
    if (frames <= 0 && headerLength && st->duration > 0 && st->duration != AV_NOPTS_VALUE)
      frames = av_rescale_q(st->duration, st->time_base, av_inv_q(rate));
    // A header that promises more frames than the file's index lists is
    // checked against the packets that are there.
    const int indexed = avformat_index_get_entries_count(st);
    int64_t listed = indexed;
    if (numbering.byTime && indexed > 0)
      listed = avformat_index_get_entry(input.fmt->streams[video], indexed - 1)->timestamp - numbering.first + 1;
    if (indexed > 0 && frames > listed) frames = 0;
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
    info.sampleType = SampleTypeOf(static_cast<AVSampleFormat>(par->format), par->bits_per_raw_sample);
    bits = av_get_bits_per_sample(par->codec_id);
    if ((headerLength || bits > 0) && st->duration > 0 && st->duration != AV_NOPTS_VALUE)
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
      // In bits: ADPCM codes a sample in fewer than eight.
      int64_t held = (input.fileSize() - (wav ? input.dataStart() : 0)) * 8 / (int64_t{bits} * channels);
      if ((wav && samples <= 0) || samples > held) samples = held;
    }
  }
  if (info.hasVideo && frames <= 0 && EndsWithNoCase(path, ".vpy")) frames = VspipeFrameCount(path, origin);
  if ((info.hasVideo && frames <= 0) || (info.hasAudio && samples <= 0)) {
    Tally videoTally, audioTally;
    CountPackets(input, info.hasVideo ? video : -1, videoTally, info.hasAudio ? audio : -1, audioTally);
    if (frames <= 0)
      frames = numbering.byTime && videoTally.lastTime != AV_NOPTS_VALUE ? videoTally.lastTime - numbering.first + 1
                                                                        : videoTally.packets;
    // A cut or doctored file: its header names more frames than it holds.
    int64_t promised = info.hasVideo ? input.fmt->streams[video]->nb_frames : 0;
    if (promised > frames)
      fail("the header of " + path + " promises " + std::to_string(promised) + " frames, but the file holds " +
           std::to_string(frames));
    if (samples <= 0 && info.hasAudio)
      samples = av_rescale_q(audioTally.duration, input.fmt->streams[audio]->time_base, AVRational{1, info.sampleRate}) -
                audioTally.skipped;
  }
  // A stream timed in ticks longer than a sample (Matroska's and FLV's
  // milliseconds) states its length only to the tick, and loses the end of
  // its last packet: its samples are counted by decoding them.
  const bool coarseTimes = info.hasAudio && av_cmp_q(input.fmt->streams[audio]->time_base,
                                                     AVRational{1, info.sampleRate}) > 0;
  if (info.hasAudio && (samples <= 0 || samples > kMaxSamples || coarseTimes)) samples = CountSamples(path, audio, origin);
  if (info.hasVideo && (frames <= 0 || frames > kMaxFrames)) fail(path + " holds no readable frame count");
  if (info.hasAudio && (samples <= 0 || samples > kMaxSamples)) fail(path + " holds no sound");
  info.frameCount = frames;
  info.sampleCount = samples;
  if (info.hasAudio && request.channels > 0) info.channels = request.channels;
  if (info.hasAudio && request.sampleRate > 0) {
    info.sampleCount = av_rescale(samples, request.sampleRate, info.sampleRate);
    info.sampleRate = request.sampleRate;
  }
  if (!info.hasVideo) video = -1;
  if (facts) {
    *facts = MediaFacts{};
    facts->videoStream = video;
    facts->audioStream = info.hasAudio ? audio : -1;
    if (video >= 0) {
      const AVCodecParameters* par = input.fmt->streams[video]->codecpar;
      facts->sampleAspect = par->sample_aspect_ratio;
      facts->colorSpace = par->color_space;
      facts->colorRange = fullRange ? AVCOL_RANGE_MPEG : par->color_range;
    }
    if (info.hasAudio) {
      const AVChannelLayout& layout = input.fmt->streams[audio]->codecpar->ch_layout;
      facts->channelMask = layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
    }
  }
  ClipPtr clip =
      std::make_shared<MediaClip>(info, origin, path, video, audio, numbering, fullRange, request.refuseRepeatedFields);
  return fullRange ? MakeLimitedRangeClip(std::move(clip)) : clip;
}

}  // namespace avs
