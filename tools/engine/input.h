// Media files opened through libavformat (or a VapourSynth script through
// vspipe), and one stream's decoder that can seek.
#pragma once

#include "tools/engine/clip.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <memory>
#include <string>
#include <vector>

namespace avs {

// A picture header claiming more is refused before its memory is taken.
constexpr int64_t kMaxDecodedPixels = int64_t{kMaxPictureSide} * kMaxPictureSide;

std::string ErrorText(int code);
bool EndsWithNoCase(const std::string& text, const std::string& tail);

class Vspipe;

// An opened container, with the vspipe behind it when there is one.
class Input {
 public:
  // `probing`: only the header is read, so a vspipe's messages are held back.
  Input(const std::string& path, const std::string& origin, bool probing);
  ~Input();
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // Reads far enough into the container to know its streams and their
  // decoders' parameters; a negative libavformat error code when it cannot.
  // Some containers (MPEG program streams) declare no streams ahead and
  // find them as they come.
  int FindStreams();

  int64_t fileSize() const { return fileSize_; }
  int64_t dataStart() const { return dataStart_; }
  // A pipe from vspipe reads forward only.
  bool seekable() const { return !vspipe_; }

  AVFormatContext* fmt = nullptr;

 private:
  std::unique_ptr<Vspipe> vspipe_;
  int64_t fileSize_ = 0;
  int64_t dataStart_ = 0;
};

// The frame count vspipe reports for a script ("Frames: 240"), 0 when it
// reports none.
int64_t VspipeFrameCount(const std::string& script, const std::string& origin);

struct CodecDeleter {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecDeleter>;
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
PacketPtr AllocPacket();

CodecPtr OpenDecoder(const AVStream* stream, const std::string& origin, const std::string& path);

// A packet's time: its presentation time, or its decoding time when it has
// none; AV_NOPTS_VALUE when it has neither.
int64_t PacketTime(const AVPacket& packet);

// Reads one stream's packets through its decoder.
class Decoder {
 public:
  Decoder(const std::string& path, int streamIndex, const std::string& origin);

  // The next decoded frame into `frame`; false at the end of the stream.
  // Damaged packets are skipped, as players do.
  bool Receive(AVFrame* frame);
  // Moves to the key frame at or before `time` (in the stream's time base);
  // the frames that come next start there. False when the input cannot seek.
  bool SeekBefore(int64_t time);

  const AVStream& stream() const { return *input_.fmt->streams[index_]; }
  bool seekable() const { return input_.seekable(); }

 private:
  Input input_;
  int index_;
  std::string origin_;
  PacketPtr packet_;
  CodecPtr codec_;
  bool draining_ = false;
  int failures_ = 0;
  // After a seek, frames before the first key frame's time are the tail of
  // an earlier group of pictures that the decoder cannot rebuild.
  bool awaitingKey_ = false;
  int64_t keyTime_ = AV_NOPTS_VALUE;
};

// The times of all packets of one stream in presentation order, read
// through the file once without decoding; empty when some packet has no
// time (the frames can then only be counted from the start).
std::vector<int64_t> PacketTimes(const std::string& path, int streamIndex, const std::string& origin);

}  // namespace avs
