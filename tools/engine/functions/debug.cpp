// Debug filters: views made to look at clips (ShowFiveVersions), and
// filters that only steer how AviSynth reads its clips (Echo, Preroll),
// which here show their first clip as it is. The network filters have no
// place in these tools and say so.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace avs {

namespace {

// ShowFiveVersions(clip1, ..., clip5): clips 1 to 3 side by side above clips
// 4 and 5, these staggered by half a picture, on black.
Value ShowFiveVersions(Call& call) {
  const ClipInfo& first = VideoOf(call, 0);
  std::vector<Value> clips;
  for (std::size_t i = 0; i < 5; ++i) {
    const ClipInfo& info = VideoOf(call, i);
    if (info.width != first.width || info.height != first.height || info.pixelFormat != first.pixelFormat)
      call.Fail("the five clips must have the same size and pixel type");
    clips.push_back(call.args[i]);
  }
  const int64_t half = first.width / 2;
  if (half % (1 << av_pix_fmt_desc_get(first.pixelFormat)->log2_chroma_w))
    call.Fail(std::string(PixelTypeName(first.pixelFormat)) + " needs a width that is a multiple of 4 here");
  Interpreter& interp = call.interp;
  const Value top = interp.CallFunction("StackHorizontal", {clips[0], clips[1], clips[2]}, call.origin);
  const Value pair = interp.CallFunction("StackHorizontal", {clips[3], clips[4]}, call.origin);
  const Value bottom = interp.CallFunction("AddBorders", {pair, Value(half), Value(0), Value(first.width - half), Value(0)},
                                           call.origin);
  return interp.CallFunction("StackVertical", {top, bottom}, call.origin);
}

// Echo(clip1, clip2, ...): every clip's frame n is made, clip1's shown.
class EchoClip : public FrameFilter {
 public:
  EchoClip(const Call& call, std::vector<ClipPtr> clips) : FrameFilter(VideoOf(call, 0), call.origin, std::move(clips)) {}
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    for (std::size_t i = 1; i < inputs().size(); ++i)
      if (input(i).info().hasVideo) in.Frame(i, n);
    return in.Frame(0, n);
  }
  bool Costly() const override { return false; }
};

Value Echo(Call& call) {
  VideoOf(call, 0);
  std::vector<ClipPtr> clips{call.Clip(0)};
  for (const Value& v : call.rest) clips.push_back(v.asClip());
  return std::make_shared<EchoClip>(call, std::move(clips));
}

Value Refused(Call& call) { call.Fail("serving and reading clips over the network is not supported"); }

}  // namespace

void RegisterDebugFunctions(FunctionTable& table) {
  table["showfiveversions"] = {"clip1:c clip2:c clip3:c clip4:c clip5:c", ShowFiveVersions};
  table["echo"] = {"clip:c clips:c+", Echo};
  // Frames and sound are read in any order here without warming up first.
  table["preroll"] = {"clip:c ?video:i ?audio:f", [](Call& call) -> Value { return call.Clip(0); }};
  table["tcpserver"] = {"clip:c ?port:i", Refused};
  table["tcpsource"] = {"hostname:s ?port:i ?compression:s", Refused};
}

}  // namespace avs
