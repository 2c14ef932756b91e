#include "tools/engine/functions/families.h"

#include "tools/engine/plugins/plugins.h"

namespace avs {

void RegisterAllFunctions(FunctionTable& table) {
  RegisterSourceFunctions(table);
  RegisterGeneratorFunctions(table);
  RegisterTextFunctions(table);
  RegisterLayoutFunctions(table);
  RegisterCompositingFunctions(table);
  RegisterResizeFunctions(table);
  RegisterTimeFunctions(table);
  RegisterColourFunctions(table);
  RegisterColourAdjustFunctions(table);
  RegisterBitDepthFunctions(table);
  RegisterFieldFunctions(table);
  RegisterAudioFunctions(table);
  RegisterTimeStretchFunctions(table);
  RegisterScriptFunctions(table);
  RegisterScriptTextFunctions(table);
  RegisterScriptControlFunctions(table);
  RegisterRuntimeFunctions(table);
  RegisterPluginFunctions(table);
}

}  // namespace avs
