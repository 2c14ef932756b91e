// Frames as the engine passes them between clips: reference-counted, made
// when asked for, and never written once handed out.
#pragma once

#include "tools/engine/engine.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstddef>
#include <memory>

namespace avs {

struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
// A frame being made: its maker may still write into it.
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
// A finished frame, shared by whoever holds it and read only. Its pixels are
// reference-counted buffers that other frames may share: a cropped frame is
// a new description of the same pixels.
using FrameRef = std::shared_ptr<const AVFrame>;

// An empty frame. Throws ScriptError when memory runs out.
FramePtr AllocFrame();
// A picture of its own, its planes allocated and not initialised.
FramePtr NewPicture(int width, int height, AVPixelFormat format);
// Pictures of one size and format whose buffers go back to the pool when
// their last frame is freed, so that a filter making a frame for each frame
// it is asked for reuses memory instead of taking new pages each time.
// Frames may outlive the pool.
class PicturePool {
 public:
  PicturePool(int width, int height, AVPixelFormat format);
  ~PicturePool();
  PicturePool(const PicturePool&) = delete;
  PicturePool& operator=(const PicturePool&) = delete;

  // A picture whose planes are not initialised. Throws ScriptError.
  FramePtr Get();

 private:
  int width_, height_;
  AVPixelFormat format_;
  int linesizes_[4] = {};
  std::size_t offsets_[4] = {};
  struct AVBufferPool* pool_ = nullptr;
};

// Another description of `frame`'s pixels, without copying them; moving its
// plane pointers or changing its size describes a part of them.
FramePtr Reference(const AVFrame& frame);
// A writable copy of `frame`'s pixels (for filters that change a few of them).
FramePtr WritableCopy(const AVFrame& frame);
// Hands a finished frame out.
FrameRef Share(FramePtr frame);
// The bytes `frame`'s buffers hold, for the cache's budget.
std::size_t FrameBytes(const AVFrame& frame);

}  // namespace avs
