// The program's command line: a switch as the first argument ("debug" or
// "-32", in any letter case), and source files, the first argument on or,
// after a switch, the second on. Before any of that, "--help" ("-h") and
// "--version" answer on the standard output and need no display.
#pragma once

#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
  bool debugMode = false;
  bool force32Bit = false;
  QStringList sourceFiles;  // as given
};

CommandLine ParseCommandLine(const QStringList& arguments);

// What the first argument asks for before any window or display.
enum class InfoRequest { None, Help, Version };
InfoRequest InfoRequested(const QStringList& arguments);

// The text of --help: the window's command line, the runner's options, its
// exit codes and output; and of --version.
QString HelpText();
QString VersionText();

// The one line a window start without a display gives.
QString NoDisplayText();

}  // namespace app
