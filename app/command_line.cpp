#include "app/command_line.h"

namespace app {

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine result;
  const QString first = arguments.value(0).toLower();
  result.debugMode = first == "debug";
  result.force32Bit = first == "-32";
  result.sourceFile = arguments.value(result.debugMode || result.force32Bit ? 1 : 0);
  return result;
}

}  // namespace app
