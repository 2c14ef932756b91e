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

// The memory the engine's pictures may hold at once, whatever the script:
// the frames filters make, cache and keep spare. A picture that would take
// more fails with a message instead of exhausting the machine.
constexpr std::size_t kFrameMemoryBudget = std::size_t{2} << 30;
// Freed pictures kept for reuse by any filter that makes one of the same
// size, up to this much: a chain of filters shares a few spare pictures
// instead of keeping one each.
constexpr std::size_t kSpareFrameMemory = std::size_t{192} << 20;

// A picture that frame memory cannot give. Thrown where no clip is known;
// the Reading that asked for the frame names its clip.
class FrameMemoryError : public ScriptError {
 public:
  using ScriptError::ScriptError;
};

// The bytes of picture memory in use now (held by frames and kept spare).
std::size_t FrameMemoryInUse();

// Picture memory that a library keeps for itself while a stream is open (a
// decoder's frames), counted against the budget from construction to
// destruction. Throws FrameMemoryError when the budget is spent.
class FrameMemoryCharge {
 public:
  explicit FrameMemoryCharge(std::size_t bytes);
  ~FrameMemoryCharge();
  FrameMemoryCharge(const FrameMemoryCharge&) = delete;
  FrameMemoryCharge& operator=(const FrameMemoryCharge&) = delete;

 private:
  std::size_t bytes_;
};

// An empty frame. Throws ScriptError when memory runs out.
FramePtr AllocFrame();
// A picture of its own, its planes allocated and not initialised. Throws
// FrameMemoryError.
FramePtr NewPicture(int width, int height, AVPixelFormat format);
// Pictures of one size and format, from frame memory: a buffer goes back to
// be reused when its last frame is freed, so that a filter making a frame
// for each frame it is asked for takes no new pages each time. Frames may
// outlive the pool.
class PicturePool {
 public:
  PicturePool(int width, int height, AVPixelFormat format);

  // A picture whose planes are not initialised. Throws FrameMemoryError.
  FramePtr Get() const;

 private:
  int width_, height_;
  AVPixelFormat format_;
  int linesizes_[4] = {};
  std::size_t offsets_[4] = {};
  std::size_t bytes_ = 0;
};

// Another description of `frame`'s pixels, without copying them; moving its
// plane pointers or changing its size describes a part of them.
FramePtr Reference(const AVFrame& frame);
// A writable copy of `frame`'s pixels (for filters that change a few of them).
FramePtr WritableCopy(const AVFrame& frame);
// `part` as it is, or, when it shows only a small part of the buffers it
// holds (a crop of a large picture), a copy of that part: the large picture
// need not stay in memory for as long as the part is kept.
FramePtr WithoutLargeParent(FramePtr part);
// Hands a finished frame out.
FrameRef Share(FramePtr frame);
// The bytes `frame`'s buffers hold, for the cache's budget.
std::size_t FrameBytes(const AVFrame& frame);

}  // namespace avs
