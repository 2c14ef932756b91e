#include "tools/engine/reading.h"

#include "tools/engine/samples.h"

#include <algorithm>

namespace avs {

Reading::Reading(std::size_t cacheBytes) : cacheBytes_(cacheBytes) {}

// The cache goes first: its frames may come from the streams' buffer pools.
Reading::~Reading() { recent_.clear(); }

namespace {

// The clip whose frames `clip` shows.
const Clip& ShownClip(const Clip& clip) {
  const Clip* shown = &clip;
  while (&shown->PictureOf() != shown) shown = &shown->PictureOf();
  return *shown;
}

// Whether `clip`, held by the caller's clip, is read by nothing else: no
// other clip holds it, nor any clip between it and the clip whose frames it
// shows.
bool ReadByOneClip(const ClipPtr& clip) {
  if (clip.use_count() != 1) return false;
  for (const Clip* shown = clip.get(); &shown->PictureOf() != shown;) {
    const Clip& next = shown->PictureOf();
    auto held = std::find_if(shown->inputs().begin(), shown->inputs().end(),
                             [&next](const ClipPtr& input) { return input.get() == &next; });
    if (held == shown->inputs().end() || held->use_count() != 1) return false;
    shown = &next;
  }
  return true;
}

}  // namespace

FrameRef Reading::Frame(const Clip& requested, int64_t n) {
  if (!requested.info().hasVideo) requested.Fail("the clip has no video");
  const Clip* clip = &ShownClip(requested);
  const ClipInfo& info = clip->info();
  n = std::clamp<int64_t>(n, 0, info.frameCount - 1);
  VideoNode& node = video_[clip];
  for (auto entry : node.cached) {
    if (entry->n == n) {
      recent_.splice(recent_.begin(), recent_, entry);
      return entry->frame;
    }
  }
  FrameRef frame;
  try {
    if (!node.stream) {
      node.stream = clip->OpenVideo(*this);
      node.costly = node.stream->Costly();
    }
    frame = node.stream->Frame(n);
  } catch (const FrameMemoryError& e) {
    clip->Fail(e.what());
  }
  if (!frame || frame->width != info.width || frame->height != info.height || frame->format != info.pixelFormat)
    clip->Fail("frame " + std::to_string(n) + " came out in another size or format than the clip's");
  if (node.costly) Keep(node, n, frame);
  return frame;
}

FramePtr Reading::FrameToDrawOn(const ClipPtr& requested, int64_t n) {
  FrameRef frame = Frame(*requested, n);
  VideoNode& node = video_[&ShownClip(*requested)];
  auto kept = [&frame](auto entry) { return entry->frame == frame; };
  // A frame kept for several numbers (a generator's) stays shared.
  if (ReadByOneClip(requested) && std::count_if(node.cached.begin(), node.cached.end(), kept) <= 1) {
    if (auto entry = std::find_if(node.cached.begin(), node.cached.end(), kept); entry != node.cached.end())
      Drop(*entry);
    node.stream->Release(frame);
  }
  // Alone with the pixels once `frame` goes, unless something else still
  // holds it (or, for a cropped frame, its parent).
  return Reference(*frame);
}

void Reading::Keep(VideoNode& node, int64_t n, const FrameRef& frame) {
  // A stream that gives one frame for many numbers (a generator) is counted
  // once.
  const bool again = std::any_of(node.cached.begin(), node.cached.end(), [&](auto e) { return e->frame == frame; });
  const std::size_t bytes = again ? 0 : FrameBytes(*frame);
  recent_.push_front(Cached{&node, n, frame, bytes});
  node.cached.push_back(recent_.begin());
  cachedBytes_ += bytes;
  if (node.cached.size() > kFramesPerStream) Drop(node.cached.front());
  // The newest frame stays even when it alone is over the budget.
  while (cachedBytes_ > cacheBytes_ && recent_.size() > 1) Drop(std::prev(recent_.end()));
}

void Reading::Drop(std::list<Cached>::iterator entry) {
  std::vector<std::list<Cached>::iterator>& own = entry->node->cached;
  own.erase(std::find(own.begin(), own.end(), entry));
  cachedBytes_ -= entry->bytes;
  recent_.erase(entry);
}

void Reading::Samples(const Clip& requested, void* dst, int64_t start, int64_t count) {
  if (!requested.info().hasAudio) requested.Fail("the clip has no sound");
  const Clip* clip = &requested;
  while (&clip->SoundOf() != clip) clip = &clip->SoundOf();
  const ClipInfo& info = clip->info();
  if (count <= 0) return;
  const std::size_t frameBytes = static_cast<std::size_t>(BytesPerSample(info.sampleType)) * info.channels;
  auto* out = static_cast<uint8_t*>(dst);
  // The part that lies inside the sound, in arithmetic that cannot overflow.
  const int64_t first = std::clamp<int64_t>(start, 0, info.sampleCount);
  const int64_t end = static_cast<int64_t>(
      std::clamp<__int128>(static_cast<__int128>(start) + count, first, info.sampleCount));
  const int64_t before = static_cast<int64_t>(std::clamp<__int128>(static_cast<__int128>(first) - start, 0, count));
  FillSilence(out, info.sampleType, static_cast<std::size_t>(before) * info.channels);
  if (end > first) {
    std::unique_ptr<AudioStream>& stream = audio_[clip];
    if (!stream) stream = clip->OpenAudio(*this);
    stream->Read(out + static_cast<std::size_t>(before) * frameBytes, first, end - first);
  }
  const int64_t after = count - before - (end - first);
  FillSilence(out + static_cast<std::size_t>(before + (end - first)) * frameBytes, info.sampleType,
              static_cast<std::size_t>(after) * info.channels);
}

}  // namespace avs
