#include "tools/engine/functions/families.h"

namespace avs {

void RegisterAllFunctions(FunctionTable& table) {
  RegisterSourceFunctions(table);
  RegisterFilterFunctions(table);
  RegisterScriptFunctions(table);
  RegisterScriptTextFunctions(table);
  RegisterScriptControlFunctions(table);
}

}  // namespace avs
