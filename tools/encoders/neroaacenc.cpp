// neroAacEnc: reads WAVE (from standard input with "-if -") and writes AAC-LC
// in an MP4 audio file.
//
//   neroAacEnc [-ignorelength] (-q Q | -br BITS) -if (FILE|-) -of FILE.m4a
//
// Quality mode: -q Q (0 to 1) asks for 16 + 144 * Q kbit/s per channel, so
// 0.5 gives 88 kbit/s per channel and 0.85 gives 138 kbit/s per channel,
// 277 kbit/s for stereo, which is transparent for AAC-LC. -br is the total
// bitrate in bit/s.
#include "tools/encoders/common.h"
#include "tools/encoders/wave_input.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using kenc::Fail;
using namespace kenc::wave;

namespace {

constexpr const char* kUsage =
    "usage: neroAacEnc [-ignorelength] (-q QUALITY | -br BITS) -if (FILE|-) -of OUTPUT.m4a\n"
    "  -ignorelength  read sound up to the end of the input whatever the WAVE header says\n"
    "  -q QUALITY     quality 0 to 1: 16 + 144*QUALITY kbit/s per channel (0.85: 277 kbit/s stereo)\n"
    "  -br BITS       target bitrate in bit/s\n"
    "  -if FILE       WAVE input, \"-\" for standard input\n"
    "  -of OUTPUT     MP4 audio file to write\n";

struct Options {
  bool ignoreLength = false;
  double quality = -1;
  int64_t bitrate = 0;
  std::string input;
  std::string output;
};

double ParseNumber(const std::string& text, const char* option) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value))
    Fail(std::string("invalid value for ") + option + ": \"" + text + "\"");
  return value;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) Fail("option " + arg + " needs a value");
      return argv[++i];
    };
    if (arg == "-ignorelength") {
      options.ignoreLength = true;
    } else if (arg == "-q") {
      options.quality = ParseNumber(value(), "-q");
      if (options.quality < 0 || options.quality > 1) Fail("-q must lie between 0 and 1");
    } else if (arg == "-br") {
      const double bits = ParseNumber(value(), "-br");
      if (bits < 8000 || bits > 2'000'000) Fail("-br must lie between 8000 and 2000000 bit/s");
      options.bitrate = static_cast<int64_t>(bits);
    } else if (arg == "-if") {
      options.input = value();
    } else if (arg == "-of") {
      options.output = value();
    } else if (arg == "-lc") {
      // AAC-LC is the only profile written; accepted for compatibility.
    } else {
      Fail("unknown option \"" + arg + "\"\n" + kUsage);
    }
  }
  if (options.input.empty()) Fail("no input given (-if)");
  if (options.output.empty()) Fail("no output given (-of)");
  if (options.quality < 0 && options.bitrate == 0) options.quality = 0.5;
  return options;
}

// Encodes into the file at `path`, naming `shownPath` (where the file ends
// up) in its messages.
class AacWriter {
 public:
  AacWriter(const std::string& path, const std::string& shownPath, const WaveFormat& format, const Options& options) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) Fail("libavcodec has no AAC encoder");
    encoder_ = avcodec_alloc_context3(codec);
    encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
    encoder_->sample_rate = format.sampleRate;
    av_channel_layout_default(&encoder_->ch_layout, format.channels);
    encoder_->profile = FF_PROFILE_AAC_LOW;
    encoder_->time_base = {1, format.sampleRate};
    encoder_->bit_rate = options.bitrate > 0
                             ? options.bitrate
                             : static_cast<int64_t>(std::lround((16 + 144 * options.quality) * 1000)) * format.channels;

    const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
    if (!container || container->audio_codec == AV_CODEC_ID_NONE) container = av_guess_format("ipod", nullptr, nullptr);
    avformat_alloc_output_context2(&muxer_, container, nullptr, path.c_str());
    if (!muxer_) Fail("cannot set up the MP4 writer");
    if (muxer_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int error = avcodec_open2(encoder_, codec, nullptr); error < 0)
      Fail("cannot open the AAC encoder: " + kenc::AvErrorText(error));

    stream_ = avformat_new_stream(muxer_, nullptr);
    avcodec_parameters_from_context(stream_->codecpar, encoder_);
    stream_->time_base = encoder_->time_base;
    if (const int error = avio_open(&muxer_->pb, path.c_str(), AVIO_FLAG_WRITE); error < 0)
      Fail("cannot write " + shownPath + ": " + kenc::AvErrorText(error));
    if (const int error = avformat_write_header(muxer_, nullptr); error < 0)
      Fail("cannot write the MP4 header: " + kenc::AvErrorText(error));

    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    planes_.assign(format.channels, {});
  }

  ~AacWriter() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&encoder_);
    if (muxer_) avio_closep(&muxer_->pb);
    avformat_free_context(muxer_);
  }

  int frameSize() const { return encoder_->frame_size; }

  // Queues one sample per channel; whole encoder frames are sent on.
  void Add(const float* samples) {
    for (size_t c = 0; c < planes_.size(); ++c) planes_[c].push_back(samples[c]);
    if (static_cast<int>(planes_[0].size()) == encoder_->frame_size) SendQueued();
  }

  int64_t samplesWritten() const { return nextPts_; }

  void Finish() {
    if (!planes_[0].empty()) SendQueued();
    Encode(nullptr);
    if (const int error = av_write_trailer(muxer_); error < 0)
      Fail("cannot finish the MP4 file: " + kenc::AvErrorText(error));
    if (const int error = avio_closep(&muxer_->pb); error < 0) Fail("cannot write the output: " + kenc::AvErrorText(error));
  }

 private:
  void SendQueued() {
    const int count = static_cast<int>(planes_[0].size());
    frame_->nb_samples = count;
    frame_->format = encoder_->sample_fmt;
    frame_->sample_rate = encoder_->sample_rate;
    av_channel_layout_copy(&frame_->ch_layout, &encoder_->ch_layout);
    if (av_frame_get_buffer(frame_, 0) < 0) Fail("out of memory");
    for (size_t c = 0; c < planes_.size(); ++c) {
      std::memcpy(frame_->extended_data[c], planes_[c].data(), count * sizeof(float));
      planes_[c].clear();
    }
    frame_->pts = nextPts_;
    nextPts_ += count;
    Encode(frame_);
    av_frame_unref(frame_);
  }

  void Encode(AVFrame* frame) {
    if (const int error = avcodec_send_frame(encoder_, frame); error < 0)
      Fail("AAC encoding failed: " + kenc::AvErrorText(error));
    for (;;) {
      const int result = avcodec_receive_packet(encoder_, packet_);
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
      if (result < 0) Fail("AAC encoding failed: " + kenc::AvErrorText(result));
      packet_->stream_index = 0;
      av_packet_rescale_ts(packet_, encoder_->time_base, stream_->time_base);
      if (const int error = av_interleaved_write_frame(muxer_, packet_); error < 0)
        Fail("cannot write the output: " + kenc::AvErrorText(error));
    }
  }

  AVCodecContext* encoder_ = nullptr;
  AVFormatContext* muxer_ = nullptr;
  AVStream* stream_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  std::vector<std::vector<float>> planes_;
  int64_t nextPts_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  kenc::SetToolName("neroAacEnc");
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  const Options options = ParseOptions(argc, argv);
  av_log_set_level(AV_LOG_ERROR);

  FILE* in = options.input == "-" ? stdin : std::fopen(options.input.c_str(), "rb");
  if (!in) Fail("cannot open " + options.input + ": " + std::strerror(errno));
  WaveFormat format;
  try {
    format = ReadWaveHeader(in);
  } catch (const WaveError& error) {
    Fail(error.what());
  }
  // A streamed header often carries 0 or 0xFFFFFFFF as its length.
  const bool toEnd = options.ignoreLength || format.dataLength == 0 || format.dataLength == 0xFFFFFFFFu;
  uint64_t bytesLeft = toEnd ? UINT64_MAX : format.dataLength;

  if (options.input != "-") kenc::RefuseToOverwrite(options.input, options.output);
  kenc::PendingOutput output(options.output);
  int64_t samples = 0;
  {
    AacWriter writer(output.tempPath(), output.finalPath(), format, options);
    const size_t blockSize = static_cast<size_t>(format.blockAlign);
    const size_t bytesPerSample = static_cast<size_t>(format.bitsPerSample / 8);
    std::vector<uint8_t> buffer(blockSize * 4096);
    std::vector<float> sampleFrame(format.channels);
    while (bytesLeft > 0) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(bytesLeft, blockSize * 4096));
      const size_t got = ReadFully(in, buffer.data(), want);
      if (std::ferror(in)) Fail("cannot read the input: " + std::string(std::strerror(errno)));
      const size_t blocks = got / blockSize;
      for (size_t b = 0; b < blocks; ++b) {
        const uint8_t* block = buffer.data() + b * blockSize;
        for (int c = 0; c < format.channels; ++c) sampleFrame[c] = SampleToFloat(block + c * bytesPerSample, format);
        writer.Add(sampleFrame.data());
      }
      if (got < want) {
        // A header that promises more than the input holds: the sound was
        // cut short, and encoding the part would pass the loss on unseen.
        if (!toEnd)
          Fail("the WAVE header promises " + std::to_string(format.dataLength) + " bytes of sound, but the input holds " +
               std::to_string(format.dataLength - bytesLeft + got) + " (-ignorelength reads what there is)");
        break;  // the end of the input; a partial sample frame is dropped
      }
      bytesLeft -= got;
    }
    writer.Finish();
    samples = writer.samplesWritten();
  }
  if (in != stdin) std::fclose(in);
  if (samples == 0) Fail("the input holds no sound");
  output.Commit();
  std::fprintf(stderr, "neroAacEnc: %lld samples (%.2f s) written to %s\n", static_cast<long long>(samples),
               static_cast<double>(samples) / format.sampleRate, options.output.c_str());
  return 0;
}
