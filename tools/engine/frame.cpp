#include "tools/engine/frame.h"

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
}

namespace avs {

namespace {

[[noreturn]] void OutOfMemory() { throw ScriptError("out of memory"); }

}  // namespace

FramePtr AllocFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) OutOfMemory();
  return frame;
}

FramePtr NewPicture(int width, int height, AVPixelFormat format) {
  FramePtr frame = AllocFrame();
  frame->width = width;
  frame->height = height;
  frame->format = format;
  if (av_frame_get_buffer(frame.get(), 0) < 0) OutOfMemory();
  return frame;
}

namespace {

// Row and plane alignment, as libavcodec's SIMD code wants it.
constexpr int kAlign = 64;

std::size_t AlignUp(std::size_t n) { return (n + kAlign - 1) / kAlign * kAlign; }

}  // namespace

PicturePool::PicturePool(int width, int height, AVPixelFormat format)
    : width_(width), height_(height), format_(format) {
  if (av_image_fill_linesizes(linesizes_, format, (width + kAlign - 1) / kAlign * kAlign) < 0) OutOfMemory();
  ptrdiff_t strides[4];
  std::size_t sizes[4] = {};
  for (int i = 0; i < 4; ++i) strides[i] = linesizes_[i] = static_cast<int>(AlignUp(static_cast<std::size_t>(linesizes_[i])));
  if (av_image_fill_plane_sizes(sizes, format, height, strides) < 0) OutOfMemory();
  std::size_t total = 0;
  for (int i = 0; i < 4; ++i) {
    offsets_[i] = total;
    total += AlignUp(sizes[i]);
  }
  // Some SIMD code reads a little past a plane's end.
  pool_ = av_buffer_pool_init(total + kAlign, nullptr);
  if (!pool_) OutOfMemory();
}

PicturePool::~PicturePool() { av_buffer_pool_uninit(&pool_); }

FramePtr PicturePool::Get() {
  FramePtr frame = AllocFrame();
  frame->buf[0] = av_buffer_pool_get(pool_);
  if (!frame->buf[0]) OutOfMemory();
  frame->width = width_;
  frame->height = height_;
  frame->format = format_;
  for (int i = 0; i < 4 && linesizes_[i]; ++i) {
    frame->data[i] = frame->buf[0]->data + offsets_[i];
    frame->linesize[i] = linesizes_[i];
  }
  return frame;
}

FramePtr Reference(const AVFrame& frame) {
  FramePtr copy(av_frame_clone(&frame));
  if (!copy) OutOfMemory();
  return copy;
}

FramePtr WritableCopy(const AVFrame& frame) {
  FramePtr copy = Reference(frame);
  if (av_frame_make_writable(copy.get()) < 0) OutOfMemory();
  return copy;
}

FrameRef Share(FramePtr frame) { return FrameRef(frame.release(), FrameDeleter()); }

std::size_t FrameBytes(const AVFrame& frame) {
  std::size_t bytes = 0;
  for (const AVBufferRef* buffer : frame.buf)
    if (buffer) bytes += buffer->size;
  for (int i = 0; i < frame.nb_extended_buf; ++i) bytes += frame.extended_buf[i]->size;
  return bytes;
}

}  // namespace avs
