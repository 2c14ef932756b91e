// The built-in functions, one family to a file; each file registers its own.
#pragma once

#include "tools/engine/script.h"

#include <map>
#include <string>

namespace avs {

using FunctionTable = std::map<std::string, Function>;

void RegisterSourceFunctions(FunctionTable& table);   // sources and generators
void RegisterTextFunctions(FunctionTable& table);     // text on frames
void RegisterLayoutFunctions(FunctionTable& table);   // size, crop, borders, flips, stacking
void RegisterTimeFunctions(FunctionTable& table);     // frames and their rate, splicing
void RegisterColourFunctions(FunctionTable& table);   // pixel types and colour
void RegisterFieldFunctions(FunctionTable& table);    // fields and interlacing
void RegisterAudioFunctions(FunctionTable& table);    // sound
void RegisterScriptFunctions(FunctionTable& table);   // values, maths, strings, clip properties
void RegisterRuntimeFunctions(FunctionTable& table);  // per-frame evaluation and files written while reading

// Every family's functions.
void RegisterAllFunctions(FunctionTable& table);

}  // namespace avs
