// Fields and interlacing.
#include "tools/engine/functions/families.h"

namespace avs {

void RegisterFieldFunctions(FunctionTable&) {}

}  // namespace avs
