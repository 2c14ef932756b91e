// The program's command line: a switch as the first argument ("debug" or
// "-32", in any letter case), and a source file, which is the first argument
// or, after a switch, the second. Further arguments are ignored.
#pragma once

#include <QString>
#include <QStringList>

namespace app {

struct CommandLine {
  bool debugMode = false;
  bool force32Bit = false;
  QString sourceFile;  // as given; empty when none
};

CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace app
