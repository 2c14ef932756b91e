// avs2pipemod: evaluates an AviSynth script and reports its clip (-info),
// or pipes its sound as WAVE (-extwav=16bit, -wav=16bit) or its picture as
// YUV4MPEG2 (-y4mp) to standard output.
//
// Nothing reaches standard output before the script has been evaluated and
// its first frame or samples have been decoded, so a failing script leaves
// no partial stream behind.
#include "tools/engine/engine.h"
#include "tools/engine/samples.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

#include <limits.h>
#include <signal.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kAudioChunk = 65536;  // sample frames per read

struct WriteError {};

// Writes the pieces in order, without gathering them into one buffer.
void WriteAllGathered(std::vector<iovec>& pieces) {
  std::size_t next = 0;
  while (next < pieces.size()) {
    const int count = static_cast<int>(std::min<std::size_t>(pieces.size() - next, IOV_MAX));
    ssize_t n = writev(STDOUT_FILENO, &pieces[next], count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw WriteError{};
    // Steps over what was written; a piece written in part keeps its rest.
    auto left = static_cast<std::size_t>(n);
    while (next < pieces.size() && left >= pieces[next].iov_len) left -= pieces[next++].iov_len;
    if (left > 0) {
      pieces[next].iov_base = static_cast<char*>(pieces[next].iov_base) + left;
      pieces[next].iov_len -= left;
    }
  }
}

void WriteAll(const void* data, std::size_t size) {
  if (size == 0) return;  // writev would write nothing and look like a failure
  std::vector<iovec> whole{{const_cast<void*>(data), size}};  // writev only reads
  WriteAllGathered(whole);
}

void PutLE(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The speaker positions WAVE_FORMAT_EXTENSIBLE names for common layouts.
uint32_t ChannelMask(int channels) {
  switch (channels) {
    case 1: return 0x4;
    case 2: return 0x3;
    case 3: return 0x7;
    case 4: return 0x33;
    case 5: return 0x37;
    case 6: return 0x3F;
    case 7: return 0x13F;
    case 8: return 0x63F;
    default: return 0;
  }
}

std::vector<uint8_t> WaveHeader(const avs::ClipInfo& info, bool extensible) {
  const uint64_t blockAlign = 2 * static_cast<uint64_t>(info.channels);
  const uint64_t dataBytes = static_cast<uint64_t>(info.sampleCount) * blockAlign;
  const uint32_t fmtSize = extensible ? 40 : 16;
  const uint64_t riffSize = 4 + (8 + fmtSize) + (8 + dataBytes);
  // Sizes beyond 4 GiB do not fit; readers of such streams ignore them.
  auto clamp32 = [](uint64_t v) { return v > 0xFFFFFFFFu ? uint64_t{0xFFFFFFFFu} : v; };
  std::vector<uint8_t> h;
  auto tag = [&h](const char* t) { h.insert(h.end(), t, t + 4); };
  tag("RIFF");
  PutLE(h, clamp32(riffSize), 4);
  tag("WAVE");
  tag("fmt ");
  PutLE(h, fmtSize, 4);
  PutLE(h, extensible ? 0xFFFE : 1, 2);
  PutLE(h, static_cast<uint64_t>(info.channels), 2);
  PutLE(h, static_cast<uint64_t>(info.sampleRate), 4);
  PutLE(h, static_cast<uint64_t>(info.sampleRate) * blockAlign, 4);
  PutLE(h, blockAlign, 2);
  PutLE(h, 16, 2);
  if (extensible) {
    PutLE(h, 22, 2);  // size of the extension
    PutLE(h, 16, 2);  // valid bits per sample
    PutLE(h, ChannelMask(info.channels), 4);
    // KSDATAFORMAT_SUBTYPE_PCM
    static const uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                         0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    h.insert(h.end(), kPcmGuid, kPcmGuid + 16);
  }
  tag("data");
  PutLE(h, clamp32(dataBytes), 4);
  return h;
}

void PipeWave(avs::ClipReader& reader, bool extensible) {
  const avs::ClipInfo& info = reader.info();
  if (!info.hasAudio) throw avs::ScriptError("the clip has no sound");
  const std::size_t channels = static_cast<std::size_t>(info.channels);
  std::vector<int16_t> buffer(kAudioChunk * channels);
  std::size_t n = reader.ReadAudioS16(buffer.data(), kAudioChunk);
  std::vector<uint8_t> header = WaveHeader(info, extensible);
  WriteAll(header.data(), header.size());
  while (n > 0) {
    WriteAll(buffer.data(), n * channels * sizeof(int16_t));
    n = reader.ReadAudioS16(buffer.data(), kAudioChunk);
  }
}

const char* Y4mColourTag(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUV420P: return "420jpeg";
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUYV422: return "422";
    case AV_PIX_FMT_YUV444P: return "444";
    case AV_PIX_FMT_GRAY8: return "mono";
    default: return nullptr;
  }
}

// YUY2 (Y0 U Y1 V) carries the planes of YV16 interleaved.
void AppendYuy2AsPlanes(const AVFrame& frame, std::vector<uint8_t>& out) {
  const int w = frame.width, h = frame.height, cw = (w + 1) / 2;
  std::size_t y = out.size(), u = y + static_cast<std::size_t>(w) * h, v = u + static_cast<std::size_t>(cw) * h;
  out.resize(v + static_cast<std::size_t>(cw) * h);
  for (int row = 0; row < h; ++row) {
    const uint8_t* src = frame.data[0] + static_cast<std::ptrdiff_t>(row) * frame.linesize[0];
    for (int x = 0; x < w; ++x) out[y++] = src[2 * x];
    for (int x = 0; x < cw; ++x) {
      out[u++] = src[4 * x + 1];
      out[v++] = src[4 * x + 3];
    }
  }
}

void PipeY4m(avs::ClipReader& reader) {
  const avs::ClipInfo& info = reader.info();
  if (!info.hasVideo) throw avs::ScriptError("the clip has no video");
  const char* colour = Y4mColourTag(info.pixelFormat);
  if (!colour)
    throw avs::ScriptError(std::string("YUV4MPEG2 cannot carry ") + avs::PixelTypeName(info.pixelFormat) +
                           " pictures; end the script with ConvertToYV12()");
  const AVFrame* frame = reader.NextFrame();
  if (!frame) throw avs::ScriptError("the clip has no frames");
  std::string header = "YUV4MPEG2 W" + std::to_string(info.width) + " H" + std::to_string(info.height) + " F" +
                       std::to_string(info.fps.num) + ":" + std::to_string(info.fps.den) + " Ip A1:1 C" + colour +
                       "\n";
  WriteAll(header.data(), header.size());

  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info.pixelFormat);
  const int planes = info.pixelFormat == AV_PIX_FMT_GRAY8 ? 1 : 3;
  static const char kFrameTag[] = "FRAME\n";
  std::vector<uint8_t> packed;
  std::vector<iovec> pieces;
  for (; frame; frame = reader.NextFrame()) {
    if (info.pixelFormat == AV_PIX_FMT_YUYV422) {
      packed.assign(kFrameTag, kFrameTag + 6);
      AppendYuy2AsPlanes(*frame, packed);
      WriteAll(packed.data(), packed.size());
      continue;
    }
    // The frame's rows are written where they lie: a plane without padding
    // between its rows is one piece.
    pieces.assign(1, iovec{const_cast<char*>(kFrameTag), 6});  // writev only reads
    for (int p = 0; p < planes; ++p) {
      const int w = p ? AV_CEIL_RSHIFT(info.width, desc->log2_chroma_w) : info.width;
      const int h = p ? AV_CEIL_RSHIFT(info.height, desc->log2_chroma_h) : info.height;
      if (frame->linesize[p] == w) {
        pieces.push_back({frame->data[p], static_cast<std::size_t>(w) * static_cast<std::size_t>(h)});
        continue;
      }
      for (int y = 0; y < h; ++y)
        pieces.push_back({frame->data[p] + static_cast<std::ptrdiff_t>(y) * frame->linesize[p], static_cast<std::size_t>(w)});
    }
    WriteAllGathered(pieces);
  }
}

void PrintInfo(const avs::ClipInfo& info, const std::string& script) {
  std::printf("script            %s\n", script.c_str());
  if (info.hasVideo) {
    std::printf("v:width           %d\n", info.width);
    std::printf("v:height          %d\n", info.height);
    std::printf("v:fps             %lld/%lld\n", static_cast<long long>(info.fps.num),
                static_cast<long long>(info.fps.den));
    std::printf("v:frames          %lld\n", static_cast<long long>(info.frameCount));
    std::printf("v:pixel_type      %s\n", avs::PixelTypeName(info.pixelFormat));
  } else {
    std::printf("v:none\n");
  }
  if (info.hasAudio) {
    std::printf("a:sample_rate     %d\n", info.sampleRate);
    std::printf("a:channels        %d\n", info.channels);
    // The clip's own sample type; -extwav=16bit and -wav=16bit convert it.
    std::printf("a:bit_depth       %d\n", avs::BitsPerSample(info.sampleType));
    std::printf("a:sample_type     %s\n", info.sampleType == avs::SampleType::Float ? "float" : "int");
    std::printf("a:samples         %lld\n", static_cast<long long>(info.sampleCount));
  } else {
    std::printf("a:none\n");
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: avs2pipemod -info SCRIPT\n"
               "       avs2pipemod -extwav=16bit SCRIPT   sound as WAVE_FORMAT_EXTENSIBLE PCM\n"
               "       avs2pipemod -wav=16bit SCRIPT      sound as plain PCM WAVE\n"
               "       avs2pipemod -y4mp SCRIPT           picture as YUV4MPEG2\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::string mode = argv[1];
  const std::string script = argv[2];
  if (mode != "-info" && mode != "-extwav=16bit" && mode != "-extwav" && mode != "-wav=16bit" && mode != "-wav" &&
      mode != "-y4mp")
    return Usage();
  // A reader that stops early ends our output with EPIPE, not a signal.
  signal(SIGPIPE, SIG_IGN);
  av_log_set_level(AV_LOG_ERROR);
  try {
    auto reader = avs::ClipReader::OpenScript(script);
    if (mode == "-info") PrintInfo(reader->info(), script);
    else if (mode == "-y4mp") PipeY4m(*reader);
    else PipeWave(*reader, mode.rfind("-extwav", 0) == 0);
  } catch (const avs::ScriptError& e) {
    std::fprintf(stderr, "avs2pipemod: %s\n", e.what());
    return 1;
  } catch (const WriteError&) {
    std::fprintf(stderr, "avs2pipemod: cannot write to standard output: %s\n", std::strerror(errno));
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "avs2pipemod: %s\n", e.what());
    return 1;
  }
  return 0;
}
