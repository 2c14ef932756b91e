// The engine's entry: a script evaluated to its clip, read in order.
#include "tools/engine/script.h"

#include <filesystem>

namespace avs {

namespace {

class ScriptClipReader : public ClipReader {
 public:
  explicit ScriptClipReader(ClipPtr clip) : clip_(std::move(clip)) {}

  const ClipInfo& info() const override { return clip_->info(); }

  const AVFrame* NextFrame() override {
    if (!clip_->info().hasVideo) return nullptr;
    if (!video_) video_ = clip_->OpenVideo();
    return video_->Next();
  }

  std::size_t ReadAudioS16(int16_t* dst, std::size_t maxSamples) override {
    if (!clip_->info().hasAudio) return 0;
    if (!audio_) audio_ = clip_->OpenAudio();
    return audio_->Read(dst, maxSamples);
  }

 private:
  ClipPtr clip_;
  std::unique_ptr<VideoStream> video_;
  std::unique_ptr<AudioStream> audio_;
};

}  // namespace

std::unique_ptr<ClipReader> ClipReader::OpenScript(const std::string& scriptPath) {
  Interpreter interp;
  Value value = interp.RunFile(scriptPath);
  if (!value.isClip())
    throw ScriptError(std::filesystem::path(scriptPath).filename().string() + ": the script's value is " +
                      (value.defined() ? value.typeName() : std::string("nothing")) + ", not a clip");
  return std::make_unique<ScriptClipReader>(value.asClip());
}

}  // namespace avs
