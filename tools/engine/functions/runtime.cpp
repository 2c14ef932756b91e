// Runtime: what happens while a clip is read: scripts evaluated for each
// frame and the files written along. The measures the scripts use are in
// runtime_measures.cpp.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/families.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <functional>
#include <mutex>

namespace avs {

namespace {

// WriteFileStart evaluates its expressions when the script is evaluated,
// which is when its clip starts.
Value WriteFileStart(Call& call) {
  std::string line;
  for (const Value& expression : call.rest)
    line += call.interp.EvalExpression(expression.asString(), call.origin, call.scriptDir).toText();
  WriteToFile(call.Path(call.String(1, "")), line + '\n', call.Bool(3, false), call.origin + ": " + call.functionName);
  return call.Clip(0);
}

// --- scripts evaluated for each frame ----------------------------------------

// Frames of a clip read through the Reading of the filter that is making a
// frame: what `last` is while a runtime script runs, so that it reads its
// input's frames from the cache already filled instead of decoding again.
class BorrowedFrames : public Clip {
 public:
  BorrowedFrames(const ClipInfo& info, const std::string& origin, const Inputs& in, std::size_t input)
      : Clip(PictureOnly(info), origin), in_(&in), input_(input) {}
  std::unique_ptr<VideoStream> OpenVideo(Reading&) const override {
    return FramesFrom(
        [this](int64_t n) {
          if (expired_) Fail("a clip kept from an earlier frame's runtime script cannot be read");
          return in_->Frame(input_, n);
        },
        false);
  }
  // Called when the frame is made: the filter's Reading may go after it.
  void Expire() { expired_ = true; }

 private:
  static ClipInfo PictureOnly(ClipInfo info) {
    info.hasAudio = false;
    info.sampleRate = info.channels = 0;
    info.sampleCount = 0;
    return info;
  }
  const Inputs* in_;
  std::size_t input_;
  bool expired_ = false;
};

// Runtime scripts whose clips' frames run runtime scripts, nested on one
// thread: more than this many is taken for a recursion without end.
constexpr int kMaxRuntimeNesting = 100;
thread_local int tRuntimeNesting = 0;

// Runs a script for each frame asked for, with current_frame set to its
// number and `last` the input (or the test clip), in a copy of the
// variables and functions as they stood at the call.
class RuntimeScript {
 public:
  RuntimeScript(Call& call, std::string text)
      : variables_(call.interp.Snapshot()), text_(std::move(text)) {}

  // Gives use(the script's value), called while the clip lent as `last`
  // can still be read.
  FrameRef Run(const Clip& filter, const Inputs& in, std::size_t input, int64_t n,
               const std::function<FrameRef(const Value&)>& use) const {
    if (tRuntimeNesting >= kMaxRuntimeNesting)
      filter.Fail("runtime scripts nest more than " + std::to_string(kMaxRuntimeNesting) +
                  " deep (a runtime script that makes itself again?)");
    std::lock_guard lock(mutex_);
    // The frames of the script's clip are made inside this call, and may
    // run runtime scripts of their own: their evaluations nest in this one.
    StackScope stack;
    struct Nesting {
      Nesting() { ++tRuntimeNesting; }
      ~Nesting() { --tRuntimeNesting; }
    } nesting;
    auto borrowed = std::make_shared<BorrowedFrames>(in.Info(input), filter.origin(), in, input);
    ApplyFrameVariables(*variables_);
    variables_->SetVariable("current_frame", Value(n), true);
    variables_->SetVariable("last", Value(ClipPtr(borrowed)));
    struct Expiry {
      BorrowedFrames& clip;
      ~Expiry() { clip.Expire(); }
    } expiry{*borrowed};
    return use(variables_->EvalStatements(text_, filter.origin() + ", the runtime script"));
  }

 private:
  std::shared_ptr<Interpreter> variables_;
  std::string text_;
  mutable std::mutex mutex_;
};

bool SamePicture(const ClipInfo& a, const ClipInfo& b) {
  return a.width == b.width && a.height == b.height && a.pixelFormat == b.pixelFormat;
}

// ScriptClip shows frame n of the clip its script gives for frame n;
// FrameEvaluate runs its script for each frame and shows its input's frame.
class ScriptedClip : public FrameFilter {
 public:
  ScriptedClip(Call& call, bool showResult)
      : FrameFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}),
        script_(call, call.String(1, "")),
        showResult_(showResult) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    return script_.Run(*this, in, 0, n, [&](const Value& result) {
      if (!showResult_) return in.Frame(0, n);
      if (!result.isClip()) Fail("the runtime script gives " + std::string(result.typeName()) + ", not a clip");
      const ClipPtr& clip = result.asClip();
      if (!clip->info().hasVideo || !SamePicture(clip->info(), info()))
        Fail("the runtime script's clip must keep the size and the pixel type of its input");
      Reading reading;
      return reading.Frame(*clip, n);
    });
  }

 private:
  RuntimeScript script_;
  bool showResult_;
};

Value ScriptClip(Call& call) { return std::make_shared<ScriptedClip>(call, true); }
Value FrameEvaluate(Call& call) { return std::make_shared<ScriptedClip>(call, false); }

// Frame n of source1 where the test holds for frame n of the test clip,
// else of source2; the sound is source1's.
class ChosenClip : public FrameFilter {
 public:
  ChosenClip(Call& call, std::string test)
      : FrameFilter(VideoOf(call, 1), call.origin, {call.Clip(0), call.Clip(1), call.Clip(2)}),
        script_(call, std::move(test)) {
    if (!SamePicture(VideoOf(call, 2), info()))
      call.Fail("source1 and source2 must have the same size and pixel type");
  }
  const Clip& SoundOf() const override { return input(1); }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    return script_.Run(*this, in, 0, n, [&](const Value& result) {
      if (!result.isBool()) Fail("the condition gives " + std::string(result.typeName()) + ", not a bool");
      return in.Frame(result.asBool() ? 1 : 2, n);
    });
  }

 private:
  RuntimeScript script_;
};

Value ConditionalFilter(Call& call) {
  const std::string first = call.String(3, "");
  if (!call.args[4].defined()) return std::make_shared<ChosenClip>(call, first);
  if (!call.args[5].defined()) call.Fail("needs expression2 with the operator");
  // The operator also by its documented names, in any case.
  const std::string op = Lower(call.String(4, ""));
  static const std::pair<const char*, const char*> kOperators[] = {
      {"=", "=="}, {"==", "=="}, {"!=", "!="}, {"<>", "!="},         {"<", "<"},           {">", ">"},
      {"<=", "<="}, {">=", ">="}, {"equals", "=="}, {"lessthan", "<"}, {"greaterthan", ">"}};
  auto it = std::find_if(std::begin(kOperators), std::end(kOperators),
                         [&op](const auto& pair) { return op == pair.first; });
  if (it == std::end(kOperators)) call.Fail("unknown operator \"" + call.String(4, "") + "\" (=, !=, <, >, <=, >=, equals, lessthan or greaterthan)");
  return std::make_shared<ChosenClip>(call, "(" + first + ") " + it->second + " (" + call.String(5, "") + ")");
}

// ConditionalSelect(testclip, expression, source0, source1...): frame n of
// the source whose number the expression gives for frame n of the test
// clip; the sound is source0's.
class SelectedClip : public FrameFilter {
 public:
  SelectedClip(Call& call, const ClipInfo& picture, std::vector<ClipPtr> clips)
      : FrameFilter(picture, call.origin, std::move(clips)), script_(call, call.String(1, "")) {
    for (std::size_t i = 1; i < inputs().size(); ++i)
      if (!input(i).info().hasVideo || !SamePicture(input(i).info(), info()))
        call.Fail("the sources must have the same size and pixel type");
  }
  const Clip& SoundOf() const override { return input(1); }

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    return script_.Run(*this, in, 0, n, [&](const Value& result) {
      if (!result.isInt()) Fail("the expression gives " + std::string(result.typeName()) + ", not an int");
      const int64_t k = result.asInt();
      if (k < 0 || static_cast<uint64_t>(k) >= inputs().size() - 1)
        Fail("the expression gives " + std::to_string(k) + ", but the sources are numbered 0 to " +
             std::to_string(inputs().size() - 2));
      return in.Frame(static_cast<std::size_t>(k) + 1, n);
    });
  }

 private:
  RuntimeScript script_;
};

Value ConditionalSelect(Call& call) {
  VideoOf(call, 0);
  std::vector<ClipPtr> clips{call.Clip(0)};
  for (const Value& source : call.rest) clips.push_back(source.asClip());
  const ClipInfo info = clips[1]->info();
  return std::make_shared<SelectedClip>(call, info, std::move(clips));
}

}  // namespace

void RegisterRuntimeFunctions(FunctionTable& table) {
  table["writefilestart"] = {"clip:c filename:s expression:s* ?append:b", WriteFileStart};
  table["scriptclip"] = {"clip:c filter:s ?show:b ?after_frame:b ?local:b", ScriptClip};
  table["frameevaluate"] = {"clip:c filter:s ?after_frame:b ?local:b", FrameEvaluate};
  table["conditionalfilter"] = {
      "testclip:c source1:c source2:c expression1:s ?operator:s ?expression2:s ?show:b ?local:b", ConditionalFilter};
  table["conditionalselect"] = {"testclip:c expression:s sources:c+ ?show:b ?local:b", ConditionalSelect};
}

}  // namespace avs
