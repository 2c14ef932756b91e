// The AviSynth scripts of a job, the rate arithmetic behind the encoder
// options, and the reading of the probe's findings.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "settings/mode_settings.h"

namespace job {

using ScriptLines = std::vector<std::string>;

// A string literal of the script language: "text", or """text""" when the
// text holds a double quote.
std::string AvsString(const std::string& text);

// The frame rate as the scripts use it.
struct FrameRate {
  uint8_t fpsInt = 0;   // nearest integer, halves to even, kept in one byte
  std::string fpsArg;   // AssumeFPS argument: a preset name in quotes or "%.3f"
};
FrameRate FrameRateFrom(double rate);

// Numbers round to the nearest integer, halves to even.
long RoundHalfEven(double value);

// An image sequence, as the chooser leaves it.
struct Sequence {
  std::string pattern;  // printf pattern, e.g. /film/shot%04d.png
  int first = 0;
  int last = 0;
  std::string fps;      // the chooser's text, verbatim
  std::string wavPath;  // empty when no WAV is attached
};

// The sound script of a WAV source, which every mode of its job encodes.
ScriptLines WavScript(const std::string& sourcePath);

// The probe script: the source line of its kind and the two measuring lines.
ScriptLines ProbeScript(const std::string& sourcePath, const std::string& vpyAviPath, bool vpyAviExists,
                        const Sequence& sequence);

// The first line of every mode script; empty for a WAV source and for a
// VapourSynth source whose sound flag is neither "true" nor "false".
std::string ModeSourceLine(const std::string& sourcePath, const std::string& hasAudioText,
                           const std::string& vpyAviPath, const Sequence& sequence);

// The width the script asks for: the chosen entry of the mode's list, the
// stored index held inside the list.
std::string ChosenWidth(const settings::ModeSettings& s);

ScriptLines PreviewScript(const std::string& sourceLine, const std::string& fpsArg, const settings::ModeSettings& s);
ScriptLines StandardScript(const std::string& sourceLine, const std::string& fpsArg, const settings::ModeSettings& s);
ScriptLines DeluxeScript(const std::string& sourceLine, const std::string& fpsArg);

struct EncoderOptions {
  std::string x264Opts;
  std::string aacOpts;
};
EncoderOptions PreviewOptions(const settings::ModeSettings& s);
EncoderOptions StandardOptions(const settings::ModeSettings& s);
EncoderOptions DeluxeOptions();

// What the probe reports; errors carry the texts the user is shown.
// The details, when there are any, say what lies behind the text: the probe
// tool's own message, a tool that could not start, a folder that could not
// be written.
class ProbeError : public std::runtime_error {
 public:
  explicit ProbeError(const std::string& text, std::string details = {})
      : std::runtime_error(text), details_(std::move(details)) {}
  const std::string& details() const { return details_; }

 private:
  std::string details_;
};

// Reads a rate the way numbers are read everywhere here ('.' separator);
// throws ProbeError "'%s' is not a valid floating point value".
double ParseRate(const std::string& text);
// Throws ProbeError "'%s' is not a valid integer value".
int ParseFrameNumber(const std::string& text);

// The AVI that a VapourSynth script opens through AVISource with a raw
// string path; empty when none is named. `exists` tells whether a file is there.
std::string FindVpyAviPath(const std::string& scriptText, const std::function<bool(const std::string&)>& exists);

// The numbered files of an image sequence, from the chosen image.
struct SequenceScan {
  std::string prefix;
  int digits = 0;
  std::string pattern;
  std::vector<std::string> names;  // matching names, sorted by name
};
SequenceScan ScanSequence(const std::string& sourcePath);
// The frame number of a listed name (prefix and extension removed).
int FrameNumberOf(const std::string& name, const std::string& prefix);

}  // namespace job
