// The record of one encoding mode during a job, and its filling at the
// start of every job.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string>

#include "job/scripts.h"
#include "settings/mode_settings.h"

namespace job {

enum EncodeMode : int { kPreview = 1, kStandard = 2, kDeluxe = 3 };

struct ModeRecord {
  uint8_t passesLeft = 0;
  QString modeName;     // the mode's word in status lines
  std::string suffix;   // "_preview", "_standard", "_deluxe"
  std::string x264Opts;
  std::string aacOpts;
  ScriptLines script;
  std::string outName;
  settings::ModeSettings settings;  // Preview and Standard only
};

// Indexed by EncodeMode; entry 0 is unused.
using ModeRecords = std::array<ModeRecord, 4>;

struct JobInputs {
  std::string sourcePath;
  bool ticked[4] = {false, false, false, false};  // by EncodeMode
  std::string fpsArg;
  std::string hasAudioText;
  std::string vpyAviPath;
  Sequence sequence;
};

// Fills suffix, options, script, output name and pass count of all three
// records; only the pass counts depend on the ticked boxes.
void FillWM(ModeRecords& records, const JobInputs& inputs);

bool IsTwoPass(const ModeRecord& record, int mode);

// What a mode's output name carries after the source's name: "_preview",
// "_standard", "_deluxe".
const char* ModeSuffix(int mode);

}  // namespace job
