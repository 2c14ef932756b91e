// TIVTC: TFM matches fields back into the frames a telecine split them
// from, as libavfilter's fieldmatch (a port of TFM's matching) computes it,
// and deinterlaces the frames left combed with yadif; TDecimate drops the
// most similar frame of each cycle, as decimate computes it.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/plugins/d2v_project.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

#include <numeric>

namespace avs {

namespace {

// The frames of `matched`, except those it marks as still combed, which come
// from `other` (TFM's clip2, a deinterlaced clip).
class CombedFromOther : public FrameFilter {
 public:
  CombedFromOther(const ClipInfo& info, std::string origin, ClipPtr matched, ClipPtr other)
      : FrameFilter(info, std::move(origin), {std::move(matched), std::move(other)}) {}
  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FrameRef frame = in.Frame(0, n);
    return frame->interlaced_frame ? in.Frame(1, n) : frame;
  }
  bool Costly() const override { return false; }
};

// TFM's parameters, in its documented order.
enum TfmArg {
  kTfmClip, kOrder, kField, kMode, kPP, kOvr, kInput, kOutput, kOutputC, kDebug, kDisplay, kSlow, kMChroma, kCNum,
  kCthresh, kMI, kChroma, kBlockx, kBlocky, kY0, kY1, kMthresh, kClip2, kD2v, kOvrDefault, kFlags, kScthresh,
  kMicout, kMicmatching, kTrimIn, kHint, kMetric, kBatch, kUbsco, kMmsco, kOpt
};

constexpr const char* kTfmParams =
    "clip:c ?order:i ?field:i ?mode:i ?pp:i ?ovr:s ?input:s ?output:s ?outputc:s ?debug:b ?display:b ?slow:i "
    "?mchroma:b ?cnum:i ?cthresh:i ?mi:i ?chroma:b ?blockx:i ?blocky:i ?y0:i ?y1:i ?mthresh:i ?clip2:c ?d2v:s "
    "?ovrdefault:i ?flags:i ?scthresh:f ?micout:i ?micmatching:i ?trimin:s ?hint:b ?metric:i ?batch:b ?ubsco:b "
    "?mmsco:b ?opt:i";

// TFM's matching modes in fieldmatch's names: p/c, p/c + n, p/c + u,
// p/c + n + u/b, p/c/n, p/c/n + u/b.
constexpr const char* kMatchModes[] = {"pc", "pc_n", "pc_u", "pc_n_ub", "pcn", "pcn_ub"};

int64_t PowerOfTwo(const Call& call, std::size_t index, const std::string& name, int64_t fallback) {
  const int64_t value = IntIn(call, index, name, fallback, 4, 512);
  if (value & (value - 1)) call.Fail(name + " must be a power of 2, not " + std::to_string(value));
  return value;
}

// The info of clip argument `index`, which TIVTC takes in YUV only (the
// filters would convert RGB to YUV and back, losing colour), and as frames.
const ClipInfo& YuvFrames(const Call& call, std::size_t index) {
  const ClipInfo& in = VideoOf(call, index);
  if (IsRgbFormat(in.pixelFormat)) call.Fail("needs YUV pictures, as TIVTC does (ConvertToYV12 first)");
  if (in.fieldBased) call.Fail("needs frames, not separated fields (Weave them first)");
  return in;
}

Value Tfm(Call& call) {
  const ClipInfo& in = YuvFrames(call, kTfmClip);
  const std::string noFiles = "TFM's match and override files have no counterpart here";
  for (auto [index, name] : {std::pair{kOvr, "ovr"}, {kInput, "input"}, {kOutput, "output"}, {kOutputC, "outputC"},
                             {kTrimIn, "trimIn"}})
    RefuseGiven(call, index, name, noFiles);
  // A DGIndex project gives the field order (its first picture's); the
  // illegal transitions TFM looks for there are not looked for.
  int64_t order = call.Int(kOrder, -1);
  if (call.args[kD2v].defined() && order == -1)
    order = ProjectOf(call, call.String(kD2v, "")).pictures.front() & kD2vTopFieldFirst ? 1 : 0;
  if (call.Int(kMetric, 0) != 0) call.Fail("metric=" + std::to_string(call.Int(kMetric, 0)) + " is not taken here: fieldmatch detects combing by metric 0");
  const bool tff = TopFieldFirst(call, "order", order, in);
  const int64_t field = IntIn(call, kField, "field", -1, -1, 1);
  const int64_t mode = IntIn(call, kMode, "mode", 1, 0, 7);
  if (mode > 5) call.Fail("mode=" + std::to_string(mode) + " has no counterpart here: modes 0 to 5 are taken");
  const int64_t pp = IntIn(call, kPP, "PP", 6, 0, 7);
  const int64_t y0 = IntIn(call, kY0, "y0", 0, 0, in.height), y1 = IntIn(call, kY1, "y1", 0, 0, in.height);
  // Combed-metric matching: TFM's micmatching (around scene changes only
  // with mmsco) is fieldmatch's combmatch.
  const int64_t micmatching = IntIn(call, kMicmatching, "micmatching", 1, 0, 4);
  const char* combmatch = micmatching == 0 ? "none" : call.Bool(kMmsco, true) ? "sc" : "full";

  std::string graph = std::string("fieldmatch=order=") + (tff ? "tff" : "bff") +
                      ":field=" + (field == -1 ? "auto" : field == 1 ? "top" : "bottom") +
                      ":mode=" + kMatchModes[mode] + ":mchroma=" + (call.Bool(kMChroma, true) ? "1" : "0") +
                      ":y0=" + std::to_string(y0) + ":y1=" + std::to_string(y1) +
                      ":scthresh=" + OptionNumber(FloatIn(call, kScthresh, "scthresh", 12, 0, 100)) +
                      ":combmatch=" + combmatch + ":cthresh=" + std::to_string(IntIn(call, kCthresh, "cthresh", 9, -1, 255)) +
                      ":chroma=" + (call.Bool(kChroma, false) ? "1" : "0") +
                      ":blockx=" + std::to_string(PowerOfTwo(call, kBlockx, "blockx", 16)) +
                      ":blocky=" + std::to_string(PowerOfTwo(call, kBlocky, "blocky", 16)) +
                      ":combpel=" + std::to_string(IntIn(call, kMI, "MI", 80, 0, 512 * 512));
  // From PP 1 on every frame is looked at for combing, as TFM does:
  // fieldmatch scores the combing of its candidate matches (and so marks a
  // combed result) only around scene changes unless asked for the scores of
  // all of them.
  if (pp >= 1) graph += std::string(":combdbg=") + (mode == 0 || mode == 1 || mode == 4 ? "pcn" : "pcnub");
  GraphOptions options;
  options.history = 1;  // the previous frame's fields
  // PP 2 to 7 deinterlace the frames still combed after matching, which
  // fieldmatch marks as interlaced: with yadif, or by taking clip2's frame.
  const bool fromClip2 = call.args[kClip2].defined();
  if (pp >= 2 && !fromClip2) {
    graph += std::string(",yadif=mode=0:parity=") + (tff ? "tff" : "bff") + ":deint=interlaced";
    options.history = 2;
  }
  ClipPtr matched = MakeGraphClip(in, call.origin, {call.Clip(kTfmClip)}, graph, options);
  if (!fromClip2 || pp < 2) return matched;
  const ClipInfo& other = VideoOf(call, kClip2);
  if (other.width != in.width || other.height != in.height || other.pixelFormat != in.pixelFormat ||
      other.frameCount != in.frameCount)
    call.Fail("clip2 differs from the clip in size, pixel type or length");
  return std::make_shared<CombedFromOther>(in, call.origin, matched, call.Clip(kClip2));
}

// TDecimate's parameters, in its documented order.
enum TDecimateArg {
  kDecClip, kDecMode, kCycleR, kCycle, kRate, kDupThresh, kVidThresh, kSceneThresh, kHybrid, kVidDetect, kConCycle,
  kConCycleTP, kDecOvr, kDecOutput, kDecInput, kTfmIn, kMkvOut, kNt, kDecBlockx, kDecBlocky, kDecDebug, kDecDisplay,
  kVfrDec, kDecBatch, kTcfv1, kSe, kDecChroma, kExPP, kMaxndl, kM2PA, kDenoise, kNoblend, kSsd, kDecHint, kDecClip2,
  kSdlim, kDecOpt
};

constexpr const char* kTDecimateParams =
    "clip:c ?mode:i ?cycler:i ?cycle:i ?rate:f ?dupthresh:f ?vidthresh:f ?scenethresh:f ?hybrid:i ?viddetect:i "
    "?concycle:i ?concycletp:i ?ovr:s ?output:s ?input:s ?tfmin:s ?mkvout:s ?nt:i ?blockx:i ?blocky:i ?debug:b "
    "?display:b ?vfrdec:i ?batch:b ?tcfv1:b ?se:b ?chroma:b ?expp:b ?maxndl:i ?m2pa:b ?denoise:b ?noblend:b ?ssd:b "
    "?hint:b ?clip2:c ?sdlim:i ?opt:i";

Value TDecimate(Call& call) {
  const ClipInfo& in = YuvFrames(call, kDecClip);
  const int64_t mode = IntIn(call, kDecMode, "mode", 0, 0, 7);
  if (mode > 1)
    call.Fail("mode=" + std::to_string(mode) + " has no counterpart here: modes 0 and 1 (one frame in each cycle) are taken");
  const int64_t cycle = IntIn(call, kCycle, "cycle", 5, 2, 25);
  if (call.Int(kCycleR, 1) != 1) call.Fail("cycleR=" + std::to_string(call.Int(kCycleR, 1)) + " is not taken here: decimate drops one frame in each cycle");
  if (call.Int(kHybrid, 0) != 0) call.Fail("hybrid=" + std::to_string(call.Int(kHybrid, 0)) + " is not taken here: blend decimation has no counterpart");
  const std::string noFiles = "TDecimate's metrics, override and timecode files have no counterpart here";
  for (auto [index, name] : {std::pair{kDecOvr, "ovr"}, {kDecOutput, "output"}, {kDecInput, "input"}, {kTfmIn, "tfmIn"},
                             {kMkvOut, "mkvOut"}})
    RefuseGiven(call, index, name, noFiles);

  std::vector<ClipPtr> clips{call.Clip(kDecClip)};
  std::string graph = "[in0]";
  // clip2: frames come from it, the choice from the clip's own frames.
  if (call.args[kDecClip2].defined()) {
    const ClipInfo& other = VideoOf(call, kDecClip2);
    if (other.frameCount != in.frameCount)
      call.Fail("clip2 has " + std::to_string(other.frameCount) + " frames where the clip has " + std::to_string(in.frameCount));
    clips.push_back(call.Clip(kDecClip2));
    graph += "[in1]";
  }
  ClipInfo info = clips.back()->info();
  graph += "decimate=cycle=" + std::to_string(cycle) +
           ":dupthresh=" + OptionNumber(FloatIn(call, kDupThresh, "dupThresh", 1.1, 0, 100)) +
           ":scthresh=" + OptionNumber(FloatIn(call, kSceneThresh, "sceneThresh", 15, 0, 100)) +
           ":blockx=" + std::to_string(PowerOfTwo(call, kDecBlockx, "blockx", 32)) +
           ":blocky=" + std::to_string(PowerOfTwo(call, kDecBlocky, "blocky", 32)) +
           ":chroma=" + (call.Bool(kDecChroma, true) ? "1" : "0") + (clips.size() > 1 ? ":ppsrc=1" : "") + "[out]";
  // Each whole cycle loses a frame; a last, shorter one keeps all of its.
  info.frameCount = in.frameCount - in.frameCount / cycle;
  const int64_t num = info.fps.num * (cycle - 1), den = info.fps.den * cycle, common = std::gcd(num, den);
  info.fps = CheckedRate(call, num / common, den / common);
  GraphOptions options;
  options.cycleIn = static_cast<int>(cycle);
  options.cycleOut = static_cast<int>(cycle - 1);
  options.history = 1;  // the first frame of a cycle is compared with the last of the one before
  return MakeGraphClip(info, call.origin, std::move(clips), graph, options);
}

}  // namespace

void RegisterTivtcPlugin(FunctionTable& table) {
  // TFM's slow, cNum, mthresh, flags, micout, ubsco (u/b matches only near
  // scene changes), ovrDefault, hint, batch, debug, display and opt, and
  // TDecimate's rate, vidThresh, vidDetect, conCycle, conCycleTP, nt, se,
  // exPP, maxndl, m2PA, denoise, noblend, ssd, sdlim, vfrDec, tcfv1, batch,
  // hint, debug, display and opt, change nothing here.
  table["tfm"] = {kTfmParams, Tfm};
  table["tdecimate"] = {kTDecimateParams, TDecimate};
}

}  // namespace avs
