#include "tools/engine/frame.h"

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
