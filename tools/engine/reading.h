// One reading of a clip graph: each clip's stream opened once, on its first
// request, and shared by every filter that reads that clip, with the recent
// frames of costly streams kept in a cache of bounded size. A Reading serves
// one thread; the picture and the sound of a script are read through two.
#pragma once

#include "tools/engine/clip.h"

#include <cstddef>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace avs {

class Reading {
 public:
  // The cache keeps a few frames of each costly stream, and evicts the least
  // recently used beyond `cacheBytes` in all.
  static constexpr std::size_t kDefaultCacheBytes = std::size_t{256} << 20;
  static constexpr std::size_t kFramesPerStream = 4;

  explicit Reading(std::size_t cacheBytes = kDefaultCacheBytes);
  ~Reading();
  Reading(const Reading&) = delete;
  Reading& operator=(const Reading&) = delete;

  // Frame n of `clip`; n is clamped to its first or last frame, as AviSynth
  // does. Throws ScriptError.
  FrameRef Frame(const Clip& clip, int64_t n);
  // Frame n of `clip` for a filter that draws on the frame it gets. When
  // nothing else can see that frame again (`clip` is read by the caller's
  // clip alone, the cache forgets the frame and its stream lets it go) it
  // comes writable, to be drawn on in place; otherwise it is a shared
  // reference, which such a filter copies first. Throws ScriptError.
  FramePtr FrameToDrawOn(const ClipPtr& clip, int64_t n);
  // `count` sample frames of `clip` from `start` into `dst`, interleaved, in
  // its sample type; silence before its start and after its end. Throws
  // ScriptError.
  void Samples(const Clip& clip, void* dst, int64_t start, int64_t count);

 private:
  struct VideoNode;
  struct Cached {
    VideoNode* node;
    int64_t n;
    FrameRef frame;
    std::size_t bytes;
  };
  struct VideoNode {
    std::unique_ptr<VideoStream> stream;
    bool costly = true;
    std::vector<std::list<Cached>::iterator> cached;  // oldest first
  };

  void Keep(VideoNode& node, int64_t n, const FrameRef& frame);
  void Drop(std::list<Cached>::iterator entry);

  std::size_t cacheBytes_;
  std::size_t cachedBytes_ = 0;
  std::list<Cached> recent_;  // most recently used first
  std::unordered_map<const Clip*, VideoNode> video_;
  std::unordered_map<const Clip*, std::unique_ptr<AudioStream>> audio_;
};

}  // namespace avs
