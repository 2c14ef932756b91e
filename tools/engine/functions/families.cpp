#include "tools/engine/functions/families.h"

namespace avs {

void RegisterAllFunctions(FunctionTable& table) {
  RegisterSourceFunctions(table);
  RegisterTextFunctions(table);
  RegisterLayoutFunctions(table);
  RegisterCompositingFunctions(table);
  RegisterResizeFunctions(table);
  RegisterTimeFunctions(table);
  RegisterColourFunctions(table);
  RegisterColourAdjustFunctions(table);
  RegisterFieldFunctions(table);
  RegisterAudioFunctions(table);
  RegisterScriptFunctions(table);
  RegisterScriptTextFunctions(table);
  RegisterScriptControlFunctions(table);
  RegisterRuntimeFunctions(table);
}

}  // namespace avs
