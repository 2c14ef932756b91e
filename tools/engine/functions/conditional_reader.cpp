// ConditionalReader: a variable set for each frame from a file's values,
// seen by the runtime scripts that make the frame (ScriptClip,
// ConditionalFilter... placed before it) as a global.
#include "tools/engine/filter.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/functions/conditional_values.h"
#include "tools/engine/functions/families.h"


#include <map>

namespace avs {

namespace {

// The values set for the frame being made, by the thread making it: a
// Reading makes its frames on one thread.
std::map<std::string, Value>& FrameVariables() {
  thread_local std::map<std::string, Value> variables;
  return variables;
}

// Sets the variable for frame n, then gives the input's frame n, whose
// making may run the scripts that read it.
class ConditionalReaderClip : public FrameFilter {
 public:
  ConditionalReaderClip(const Call& call, ConditionalValues values, std::string name)
      : FrameFilter(VideoOf(call, 0), call.origin, {call.Clip(0)}), values_(std::move(values)),
        name_(std::move(name)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    FrameVariables()[name_] = values_.At(n);
    return in.Frame(0, n);
  }
  bool Costly() const override { return false; }

 private:
  ConditionalValues values_;
  std::string name_;
};

Value ConditionalReader(Call& call) {
  VideoOf(call, 0);
  if (call.Bool(3, false)) call.Fail("show is not supported");
  const std::string path = call.Path(call.String(1, ""));
  const std::string name = Lower(call.String(2, "") + call.String(4, ""));
  if (name.empty()) call.Fail("needs a variable name");
  try {
    return std::make_shared<ConditionalReaderClip>(call, ConditionalValues::Parse(ReadSmallFile(call, path, kMaxConditionalFileBytes)), name);
  } catch (const ConditionalFileError& error) {
    call.Fail(path + ", " + error.what());
  }
}

}  // namespace

void ApplyFrameVariables(Interpreter& interp) {
  for (const auto& [name, value] : FrameVariables()) interp.SetVariable(name, value, true);
}

void RegisterConditionalReaderFunction(FunctionTable& table) {
  table["conditionalreader"] = {"clip:c filename:s variablename:s ?show:b ?condvarsuffix:s ?local:b",
                                ConditionalReader};
}

}  // namespace avs
