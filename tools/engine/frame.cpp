#include "tools/engine/frame.h"

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
}

#include <map>
#include <mutex>

namespace avs {

namespace {

[[noreturn]] void OutOfMemory() { throw FrameMemoryError("out of memory"); }

// Every picture buffer the engine makes, counted against the budget, with
// freed ones kept spare for the next picture of their size.
class FrameMemory {
 public:
  static FrameMemory& Instance() {
    static FrameMemory* memory = new FrameMemory;  // used until the process ends
    return *memory;
  }

  AVBufferRef* Allocate(std::size_t size) {
    uint8_t* data = Take(size);
    AVBufferRef* buffer = av_buffer_create(data, size, &FrameMemory::Release, this, 0);
    if (!buffer) {
      Release(this, data);
      OutOfMemory();
    }
    return buffer;
  }

  void Charge(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    Reserve(bytes);
  }
  void Refund(std::size_t bytes) {
    std::lock_guard lock(mutex_);
    held_ -= bytes;
  }

  std::size_t held() {
    std::lock_guard lock(mutex_);
    return held_;
  }

 private:
  static void Release(void* opaque, uint8_t* data) {
    auto* memory = static_cast<FrameMemory*>(opaque);
    // The size is the buffer's own; libavutil passes the data alone, so the
    // size travels in a map of the buffers given out.
    std::lock_guard lock(memory->mutex_);
    memory->Keep(data);
  }

  // A spare buffer of `size` bytes, or a new one within the budget.
  uint8_t* Take(std::size_t size) {
    std::lock_guard lock(mutex_);
    if (auto spare = spare_.find(size); spare != spare_.end()) {
      uint8_t* data = spare->second;
      spare_.erase(spare);
      spareBytes_ -= size;
      return data;
    }
    Reserve(size);
    auto* data = static_cast<uint8_t*>(av_malloc(size));
    if (!data) {
      held_ -= size;
      OutOfMemory();
    }
    sizes_.emplace(data, size);
    return data;
  }

  // Counts `size` more bytes held, within the budget. The mutex is held.
  void Reserve(std::size_t size) {
    // Spare buffers go first when the budget is short.
    while (held_ + size > kFrameMemoryBudget && !spare_.empty()) Discard(spare_.begin());
    if (held_ + size > kFrameMemoryBudget)
      throw FrameMemoryError("the script's frames would need more than " + std::to_string(kFrameMemoryBudget >> 20) +
                             " MiB of memory at once");
    held_ += size;
  }

  void Keep(uint8_t* data) {
    auto given = sizes_.find(data);
    const std::size_t size = given->second;
    if (spareBytes_ + size > kSpareFrameMemory) {
      sizes_.erase(given);
      held_ -= size;
      av_free(data);
      return;
    }
    spare_.emplace(size, data);
    spareBytes_ += size;
  }

  void Discard(std::multimap<std::size_t, uint8_t*>::iterator spare) {
    sizes_.erase(spare->second);
    held_ -= spare->first;
    spareBytes_ -= spare->first;
    av_free(spare->second);
    spare_.erase(spare);
  }

  std::mutex mutex_;
  std::size_t held_ = 0, spareBytes_ = 0;
  std::multimap<std::size_t, uint8_t*> spare_;
  std::map<uint8_t*, std::size_t> sizes_;
};

}  // namespace

FramePtr AllocFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) OutOfMemory();
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
  bytes_ = total + kAlign;
}

FramePtr PicturePool::Get() const {
  FramePtr frame = AllocFrame();
  frame->buf[0] = FrameMemory::Instance().Allocate(bytes_);
  frame->width = width_;
  frame->height = height_;
  frame->format = format_;
  for (int i = 0; i < 4 && linesizes_[i]; ++i) {
    frame->data[i] = frame->buf[0]->data + offsets_[i];
    frame->linesize[i] = linesizes_[i];
  }
  return frame;
}

FramePtr NewPicture(int width, int height, AVPixelFormat format) { return PicturePool(width, height, format).Get(); }

std::size_t FrameMemoryInUse() { return FrameMemory::Instance().held(); }

FrameMemoryCharge::FrameMemoryCharge(std::size_t bytes) : bytes_(bytes) { FrameMemory::Instance().Charge(bytes); }
FrameMemoryCharge::~FrameMemoryCharge() { FrameMemory::Instance().Refund(bytes_); }

FramePtr Reference(const AVFrame& frame) {
  FramePtr copy(av_frame_clone(&frame));
  if (!copy) OutOfMemory();
  return copy;
}

FramePtr WritableCopy(const AVFrame& frame) {
  FramePtr copy = Reference(frame);
  if (av_frame_is_writable(copy.get())) return copy;
  FramePtr own = NewPicture(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format));
  if (av_frame_copy(own.get(), &frame) < 0 || av_frame_copy_props(own.get(), &frame) < 0) OutOfMemory();
  return own;
}

FramePtr WithoutLargeParent(FramePtr part) {
  const int shown = av_image_get_buffer_size(static_cast<AVPixelFormat>(part->format), part->width, part->height, 1);
  if (shown < 0 || static_cast<std::size_t>(shown) * 4 >= FrameBytes(*part)) return part;
  FramePtr own = NewPicture(part->width, part->height, static_cast<AVPixelFormat>(part->format));
  if (av_frame_copy(own.get(), part.get()) < 0 || av_frame_copy_props(own.get(), part.get()) < 0) OutOfMemory();
  return own;
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
