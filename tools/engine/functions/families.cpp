#include "tools/engine/functions/families.h"

#include "tools/engine/plugins/plugins.h"

namespace avs {

void RegisterAllFunctions(FunctionTable& table) {
  RegisterSourceFunctions(table);
  RegisterSourceForms(table);
  RegisterImageWriterFunction(table);
  RegisterGeneratorFunctions(table);
  RegisterTextFunctions(table);
  RegisterLayoutFunctions(table);
  RegisterCompositingFunctions(table);
  RegisterResizeFunctions(table);
  RegisterTimeFunctions(table);
  RegisterColourFunctions(table);
  RegisterColourAdjustFunctions(table);
  RegisterBitDepthFunctions(table);
  RegisterPlaneFunctions(table);
  RegisterMergeFunctions(table);
  RegisterExprFunction(table);
  RegisterRestorationFunctions(table);
  RegisterDebugFunctions(table);
  RegisterCompareFunction(table);
  RegisterFieldFunctions(table);
  RegisterAudioFunctions(table);
  RegisterTimeStretchFunctions(table);
  RegisterEqualizerFunction(table);
  RegisterScriptFunctions(table);
  RegisterScriptTextFunctions(table);
  RegisterScriptControlFunctions(table);
  RegisterArrayFunctions(table);
  RegisterRuntimeFunctions(table);
  RegisterConditionalReaderFunction(table);
  RegisterRuntimeMeasures(table);
  RegisterPluginFunctions(table);
}

}  // namespace avs
