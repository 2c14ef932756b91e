// The script engine: evaluates an AviSynth script and streams the clip it
// yields, frames and samples in order, decoding on demand. This header is the
// contract between the engine and the tools built on it.
#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace avs {

// `text` made fit to print whole: a NUL byte shows as \0, and every byte
// that is no part of a valid UTF-8 character (a character cut in half, a
// file name in another encoding) or is a control character other than a
// line break or a tab shows as \xNN. Text that is fit already stays as it
// is.
std::string ReadableText(std::string_view text);

// Every failure of evaluation or decoding: the message names the script file
// and line where the script is at fault ("Vid.avs, line 3: ..."). Whatever
// it quotes (a string of the script, a file's name), it reads whole.
class ScriptError : public std::runtime_error {
 public:
  explicit ScriptError(std::string_view message) : std::runtime_error(ReadableText(message)) {}
};

// The sound's sample type, as AviSynth's 8, 16, 24 and 32-bit integers and
// floats. In memory 8-bit samples are unsigned (128 is silence), 24-bit ones
// sit in 32-bit integers holding the 24-bit value, floats run from -1 to 1.
enum class SampleType { U8, S16, S24, S32, Float };

struct Rational {
  int64_t num = 0;
  int64_t den = 1;
};

struct ClipInfo {
  bool hasVideo = false;
  int width = 0;
  int height = 0;
  AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;  // YV12 is AV_PIX_FMT_YUV420P
  Rational fps;                                 // exact, e.g. 24000/1001
  int64_t frameCount = 0;

  bool hasAudio = false;
  int sampleRate = 0;
  int channels = 0;
  SampleType sampleType = SampleType::S16;
  int64_t sampleCount = 0;  // per channel

  // Field order as AviSynth keeps it: frame-based and bottom field first
  // unless a script says otherwise.
  bool fieldBased = false;
  bool topFieldFirst = false;
};

// A script evaluated to its clip, read from start to end. The picture and
// the sound are decoded independently of each other: one thread may read
// frames while another reads samples.
class ClipReader {
 public:
  virtual ~ClipReader() = default;

  // Evaluates the script file (relative paths inside it resolve against its
  // folder; WriteFileStart lines write their files while it is evaluated).
  // Throws ScriptError.
  static std::unique_ptr<ClipReader> OpenScript(const std::string& scriptPath);

  virtual const ClipInfo& info() const = 0;
  // The files evaluating the script read: the script itself, the scripts it
  // imported and the media files its sources opened.
  virtual const std::vector<std::string>& inputFiles() const = 0;

  // The next frame, in the clip's pixel format and size; nullptr after the
  // last. The frame stays valid until the next call. Throws ScriptError.
  // Pictures deeper than 8 bits reach the reader dithered to 8 bits, as
  // info() says.
  virtual const AVFrame* NextFrame() = 0;

  // Up to `maxSamples` sample frames of interleaved signed 16-bit sound at
  // the clip's rate and channel count (converted from the clip's own sample
  // type); 0 after the last. Throws ScriptError.
  virtual std::size_t ReadAudioS16(int16_t* dst, std::size_t maxSamples) = 0;
};

// The AviSynth name of a pixel format the engine produces ("YV12", "RGB24",
// "YUV420P10", "Y16", "RGBPS", ...; see pixel_format.h); "unknown" for any
// other.
const char* PixelTypeName(AVPixelFormat format);

}  // namespace avs
