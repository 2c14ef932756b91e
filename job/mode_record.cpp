#include "job/mode_record.h"

#include "job/names.h"

namespace job {

bool IsTwoPass(const ModeRecord& record, int mode) { return mode != kDeluxe && !record.settings.sdDeluxe; }

void FillWM(ModeRecords& records, const JobInputs& in) {
  ModeRecord& preview = records[kPreview];
  ModeRecord& standard = records[kStandard];
  ModeRecord& deluxe = records[kDeluxe];

  preview.passesLeft = in.ticked[kPreview] ? 2 : 0;
  standard.passesLeft = in.ticked[kStandard] ? (standard.settings.sdDeluxe ? 1 : 2) : 0;
  deluxe.passesLeft = in.ticked[kDeluxe] ? 1 : 0;

  const std::string sourceLine = ModeSourceLine(in.sourcePath, in.hasAudioText, in.vpyAviPath, in.sequence);

  preview.suffix = "_preview";
  const EncoderOptions previewOptions = PreviewOptions(preview.settings);
  preview.x264Opts = previewOptions.x264Opts;
  preview.aacOpts = previewOptions.aacOpts;
  preview.script = PreviewScript(sourceLine, in.fpsArg, preview.settings);
  preview.outName = IncName(in.sourcePath, preview.suffix);

  standard.suffix = "_standard";
  const EncoderOptions standardOptions = StandardOptions(standard.settings);
  standard.x264Opts = standardOptions.x264Opts;
  standard.aacOpts = standardOptions.aacOpts;
  standard.script = StandardScript(sourceLine, in.fpsArg, standard.settings);
  standard.outName = IncName(in.sourcePath, standard.suffix);

  deluxe.suffix = "_deluxe";
  const EncoderOptions deluxeOptions = DeluxeOptions();
  deluxe.x264Opts = deluxeOptions.x264Opts;
  deluxe.aacOpts = deluxeOptions.aacOpts;
  deluxe.script = DeluxeScript(sourceLine, in.fpsArg);
  deluxe.outName = IncName(in.sourcePath, deluxe.suffix);
}

}  // namespace job
