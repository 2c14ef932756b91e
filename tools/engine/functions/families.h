// The built-in functions, one family to a file; each file registers its own.
#pragma once

#include "tools/engine/script.h"

#include <map>
#include <string>

namespace avs {

using FunctionTable = std::map<std::string, Function>;

void RegisterSourceFunctions(FunctionTable& table);
void RegisterFilterFunctions(FunctionTable& table);
void RegisterScriptFunctions(FunctionTable& table);
void RegisterScriptTextFunctions(FunctionTable& table);
void RegisterScriptControlFunctions(FunctionTable& table);

// Whether a name is a function that only a plugin provides, so that calling
// it fails with a message about plugins rather than about an unknown name.
bool IsKnownPluginFunction(const std::string& lowerName);

// Every family's functions.
void RegisterAllFunctions(FunctionTable& table);

}  // namespace avs
