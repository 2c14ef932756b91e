// Runtime: what happens while a clip is read, and the files written along.
#include "tools/engine/functions/families.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace avs {

namespace {

// WriteFileStart evaluates its expressions when the script is evaluated,
// which is when its clip starts.
Value WriteFileStart(Call& call) {
  std::string line;
  for (const Value& expression : call.rest)
    line += call.interp.EvalExpression(expression.asString(), call.origin, call.scriptDir).toText();
  std::string path = call.Path(call.String(1, ""));
  FILE* file = std::fopen(path.c_str(), call.Bool(3, false) ? "ab" : "wb");
  if (!file) call.Fail("cannot write " + path + ": " + std::strerror(errno));
  line += '\n';
  bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  if (std::fclose(file) != 0 || !written) call.Fail("cannot write " + path);
  return call.Clip(0);
}

}  // namespace

void RegisterRuntimeFunctions(FunctionTable& table) {
  table["writefilestart"] = {"clip:c filename:s expression:s* ?append:b", WriteFileStart};
}

}  // namespace avs
