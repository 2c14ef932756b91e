// Text on frames.
#include "tools/engine/functions/families.h"

namespace avs {

void RegisterTextFunctions(FunctionTable&) {}

}  // namespace avs
