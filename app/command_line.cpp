#include "app/command_line.h"

#include "app/job_runner.h"
#include "desktop/version.h"

namespace app {

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine result;
  const QString first = arguments.value(0).toLower();
  result.debugMode = first == "debug";
  result.force32Bit = first == "-32";
  result.sourceFiles = arguments.mid(result.debugMode || result.force32Bit ? 1 : 0);
  result.sourceFiles.removeAll(QString());
  return result;
}

InfoRequest InfoRequested(const QStringList& arguments) {
  const QString first = arguments.value(0);
  if (first == "--help" || first == "-h") return InfoRequest::Help;
  if (first == "--version") return InfoRequest::Version;
  return InfoRequest::None;
}

QString HelpText() {
  return "usage: kelvarion [debug | -32] [FILE...]\n" + RunnerUsage().replace("usage: ", "       ") +
         "\n       kelvarion --help | --version\n"
         "\n"
         "Without --job, a window opens. FILE (AVI, AviSynth or VapourSynth script,\n"
         "WAV, PNG or JPEG) becomes the source; several FILEs become rows of the\n"
         "batch window. debug keeps the tools' command lines in DebugInfo.log, -32\n"
         "runs the encoder directly.\n"
         "\n"
         "--job runs each SOURCE in turn without a window or display:\n"
         "  --modes LIST      preview, standard and/or deluxe, comma-separated\n"
         "                    (default: preview)\n"
         "  --author TEXT     the author tag\n"
         "  --title TEXT      the title tag\n"
         "  --fps RATE        an image sequence's frame rate (needed for one)\n"
         "  --first N         its first frame (default: the first found)\n"
         "  --last N          its last frame (default: the last found)\n"
         "  --wav FILE        the sound dubbed onto it\n"
         "  --settings FILE   the mode settings (default: the program's kelvarion.ini)\n"
         "Each progress update is one line on the standard output:\n"
         "  kelvarion: clip.avi preview pass 1/2 45% (source 22%, 1:05 left)\n"
         "Exit codes: 0 every mode of every source was made; 1 some failed (the\n"
         "standard error names each with its modes and the reason); 2 usage fault.\n";
}

QString VersionText() { return "kelvarion " + desktop::GetVer() + "\n"; }

QString NoDisplayText() {
  return "kelvarion: no display to open the window on; to encode without one, run "
         "kelvarion --job SOURCE... (see kelvarion --help)\n";
}

}  // namespace app
