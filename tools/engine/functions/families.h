// The built-in functions, one family to a file; each file registers its own.
#pragma once

#include "tools/engine/script.h"

#include <map>
#include <string>

namespace avs {

using FunctionTable = std::map<std::string, Function>;

void RegisterSourceFunctions(FunctionTable& table);   // sources and BlankClip
void RegisterSourceForms(FunctionTable& table);       // sources: ImageReader, animations
void RegisterImageWriterFunction(FunctionTable& table);  // frames written as image files
void RegisterGeneratorFunctions(FunctionTable& table);  // colour bars and tones
void RegisterTextFunctions(FunctionTable& table);     // text on frames
void RegisterLayoutFunctions(FunctionTable& table);   // size, crop, borders, flips, stacking
void RegisterCompositingFunctions(FunctionTable& table);  // Overlay, Layer, Mask
void RegisterResizeFunctions(FunctionTable& table);   // the resizers
void RegisterTimeFunctions(FunctionTable& table);     // frames and their rate, splicing
void RegisterFrameSelectFunctions(FunctionTable& table);  // time: frames picked, repeated, reordered
void RegisterFadeFunctions(FunctionTable& table);         // time: fades and dissolves
void RegisterConvertFpsFunction(FunctionTable& table);    // time: ConvertFPS
void RegisterAnimateFunctions(FunctionTable& table);      // time: Animate, ApplyRange
void RegisterColourFunctions(FunctionTable& table);   // pixel types and colour
void RegisterColourAdjustFunctions(FunctionTable& table);
void RegisterBitDepthFunctions(FunctionTable& table);  // ConvertBits
void RegisterPlaneFunctions(FunctionTable& table);    // colour: channels shown alone, moved and merged
void RegisterMergeFunctions(FunctionTable& table);    // colour: two clips mixed sample by sample
void RegisterExprFunction(FunctionTable& table);      // colour: samples computed by an expression
void RegisterRestorationFunctions(FunctionTable& table);  // softening and convolution
void RegisterDebugFunctions(FunctionTable& table);    // views of clips for looking at them
void RegisterCompareFunction(FunctionTable& table);   // debug: two clips' differences measured
void RegisterFieldFunctions(FunctionTable& table);    // fields and interlacing
void RegisterAudioFunctions(FunctionTable& table);    // sound
void RegisterTimeStretchFunctions(FunctionTable& table);
void RegisterEqualizerFunction(FunctionTable& table);  // sound: SuperEQ
void RegisterScriptFunctions(FunctionTable& table);   // values, maths, strings, clip properties
void RegisterScriptTextFunctions(FunctionTable& table);
void RegisterScriptControlFunctions(FunctionTable& table);
void RegisterArrayFunctions(FunctionTable& table);    // arrays and their items
void RegisterRuntimeFunctions(FunctionTable& table);  // per-frame evaluation and files written while reading
void RegisterConditionalReaderFunction(FunctionTable& table);
void RegisterRuntimeMeasures(FunctionTable& table);  // runtime: the measures of frames scripts use

// Whether a name is a function that only a plugin provides, so that calling
// it fails with a message about plugins rather than about an unknown name.
bool IsKnownPluginFunction(const std::string& lowerName);
// Whether a name is one of AviSynth's own functions that the engine does not
// have, so that calling it says so rather than that the name is unknown.
bool IsUnsupportedCoreFunction(const std::string& lowerName);

// The globals every script starts with: the named colours (color_brown...).
void RegisterColourPresets(std::map<std::string, Value>& globals);

// Every family's functions.
void RegisterAllFunctions(FunctionTable& table);

}  // namespace avs
