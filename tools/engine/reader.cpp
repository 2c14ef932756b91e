// The engine's entry: a script evaluated to its clip, read in order. The
// picture and the sound each have a Reading of their own, so that two
// threads can read them at once.
#include "tools/engine/functions/bit_depth.h"
#include "tools/engine/reading.h"
#include "tools/engine/samples.h"
#include "tools/engine/script.h"

#include <malloc.h>

#include <filesystem>
#include <vector>

namespace avs {

namespace {

class ScriptClipReader : public ClipReader {
 public:
  ScriptClipReader(ClipPtr clip, std::vector<std::string> inputFiles)
      : clip_(std::move(clip)), inputFiles_(std::move(inputFiles)) {}

  const ClipInfo& info() const override { return clip_->info(); }
  const std::vector<std::string>& inputFiles() const override { return inputFiles_; }

  const AVFrame* NextFrame() override {
    const ClipInfo& info = clip_->info();
    if (!info.hasVideo || nextFrame_ >= info.frameCount) {
      current_.reset();
      return nullptr;
    }
    current_ = pictures_.Frame(*clip_, nextFrame_++);
    return current_.get();
  }

  std::size_t ReadAudioS16(int16_t* dst, std::size_t maxSamples) override {
    const ClipInfo& info = clip_->info();
    if (!info.hasAudio) return 0;
    const int64_t count = std::min<int64_t>(static_cast<int64_t>(maxSamples), info.sampleCount - nextSample_);
    if (count <= 0) return 0;
    const std::size_t values = static_cast<std::size_t>(count) * info.channels;
    if (info.sampleType == SampleType::S16) {
      sound_.Samples(*clip_, dst, nextSample_, count);
    } else {
      native_.resize(values * static_cast<std::size_t>(BytesPerSample(info.sampleType)));
      sound_.Samples(*clip_, native_.data(), nextSample_, count);
      ConvertSamples(native_.data(), info.sampleType, dst, SampleType::S16, values);
    }
    nextSample_ += count;
    return static_cast<std::size_t>(count);
  }

 private:
  ClipPtr clip_;
  std::vector<std::string> inputFiles_;
  Reading pictures_, sound_;
  int64_t nextFrame_ = 0, nextSample_ = 0;
  FrameRef current_;
  std::vector<uint8_t> native_;
};

}  // namespace

std::unique_ptr<ClipReader> ClipReader::OpenScript(const std::string& scriptPath) {
  // Frames are buffers of a megabyte or more, freed and allocated again at
  // the pace of reading. With the C library's defaults the top of the heap
  // a freed frame leaves is handed back to the system and faulted in again
  // for the next one, which tripled the time of a filter that only passes
  // frames on (Trim, ChangeFPS over a 720p source); a margin kept at the top
  // lets the next frame reuse those pages.
  static const bool padded [[maybe_unused]] = mallopt(M_TOP_PAD, 64 << 20) != 0;
  Interpreter interp;
  Value value = interp.RunFile(scriptPath);
  if (!value.isClip())
    throw ScriptError(std::filesystem::path(scriptPath).filename().string() + ": the script's value is " +
                      (value.defined() ? value.typeName() : std::string("nothing")) + ", not a clip");
  return std::make_unique<ScriptClipReader>(ForEncoders(value.asClip()), interp.inputFiles());
}

}  // namespace avs
