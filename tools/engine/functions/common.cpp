#include "tools/engine/functions/common.h"

#include "tools/engine/pixel_format.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace avs {

const ClipInfo& VideoOf(const Call& call, std::size_t i) {
  const ClipInfo& info = call.Clip(i)->info();
  if (!info.hasVideo) call.Fail("the clip has no video");
  return info;
}

void CheckSize(const Call& call, int64_t width, int64_t height, AVPixelFormat format) {
  if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide)
    call.Fail("the size " + std::to_string(width) + "x" + std::to_string(height) + " is out of range");
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  if (desc->log2_chroma_w > 0 && width % 2) call.Fail(std::string(PixelTypeName(format)) + " needs an even width");
  if (desc->log2_chroma_h > 0 && height % 2) call.Fail(std::string(PixelTypeName(format)) + " needs an even height");
}

AVPixelFormat ParsePixelType(const Call& call, const std::string& name) {
  const AVPixelFormat format = PixelFormatNamed(name);
  if (format != AV_PIX_FMT_NONE) return format;
  const std::string lower = Lower(name);
  if (lower.starts_with("yuv") && lower.ends_with("ps"))
    call.Fail("32-bit float YUV pictures are not supported (\"" + name + "\"); Y32, RGBPS and RGBAPS are");
  call.Fail("unknown pixel type \"" + name + "\"");
}

void RequireEightBit(const Call& call, const ClipInfo& info) {
  if (info.hasVideo && IsHighDepth(info.pixelFormat)) call.Fail(DepthName(info.pixelFormat) + " pictures are not supported");
}

Rational FloatRate(const Call& call, double fps) {
  Rational rate = FloatToRational(fps);
  if (rate.num <= 0) call.Fail("the frame rate " + Value(fps).toText() + " is out of range");
  return rate;
}

Rational CheckedRate(const Call& call, int64_t num, int64_t den) {
  if (num <= 0 || den <= 0 || num > INT32_MAX || den > INT32_MAX)
    call.Fail("the frame rate " + std::to_string(num) + "/" + std::to_string(den) + " is out of range");
  return Rational{num, den};
}

std::string ReadSmallFile(const Call& call, const std::string& path, std::uintmax_t maxBytes, const std::string& tooLarge) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) call.Fail("cannot open " + path);
  if (!S_ISREG(status.st_mode)) call.Fail(path + " is not a regular file");
  if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) call.Fail(path + " is too large" + tooLarge);
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) call.Fail("cannot read " + path);
  return text.str();
}

void WriteToFile(const std::string& path, const std::string& text, bool append, const std::string& who) {
  auto fail = [&](const std::string& why) { throw ScriptError(who + ": cannot write " + path + ": " + why); };
  struct stat status {};
  if (stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) fail("it is not a regular file");
  // Without waiting: a FIFO put in the file's place meanwhile is refused
  // below instead of blocking until something reads it.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : 0), 0666);
  if (fd < 0) fail(errno == ENXIO ? "it is not a regular file" : std::strerror(errno));
  bool written = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  if (!written) {
    close(fd);
    fail("it is not a regular file");
  }
  if (!append && ftruncate(fd, 0) != 0) written = false;
  for (std::size_t done = 0; written && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) written = false;
    else done += static_cast<std::size_t>(n);
  }
  const int error = errno;
  if (close(fd) != 0 || !written) fail(std::strerror(error ? error : EIO));
}

}  // namespace avs
