#include "job/mode_record.h"

#include "job/names.h"

namespace job {

bool IsTwoPass(const ModeRecord& record, int mode) { return mode != kDeluxe && !record.settings.sdDeluxe; }

const char* ModeSuffix(int mode) {
  switch (mode) {
    case kPreview: return "_preview";
    case kStandard: return "_standard";
    case kDeluxe: return "_deluxe";
    default: return "";
  }
}

void FillWM(ModeRecords& records, const JobInputs& in) {
  ModeRecord& preview = records[kPreview];
  ModeRecord& standard = records[kStandard];
  ModeRecord& deluxe = records[kDeluxe];

  preview.passesLeft = in.ticked[kPreview] ? 2 : 0;
  standard.passesLeft = in.ticked[kStandard] ? (standard.settings.sdDeluxe ? 1 : 2) : 0;
  deluxe.passesLeft = in.ticked[kDeluxe] ? 1 : 0;

  const std::string sourceLine = ModeSourceLine(in.sourcePath, in.hasAudioText, in.vpyAviPath, in.sequence);
  const auto fill = [&](ModeRecord& record, const char* suffix, const EncoderOptions& options, ScriptLines script) {
    record.suffix = suffix;
    record.x264Opts = options.x264Opts;
    record.aacOpts = options.aacOpts;
    record.script = std::move(script);
    record.outName = IncName(in.sourcePath, record.suffix);
  };
  fill(preview, ModeSuffix(kPreview), PreviewOptions(preview.settings), PreviewScript(sourceLine, in.fpsArg, preview.settings));
  fill(standard, ModeSuffix(kStandard), StandardOptions(standard.settings),
       StandardScript(sourceLine, in.fpsArg, standard.settings));
  fill(deluxe, ModeSuffix(kDeluxe), DeluxeOptions(), DeluxeScript(sourceLine, in.fpsArg));
}

}  // namespace job
