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

// Every family's functions.
void RegisterAllFunctions(FunctionTable& table);

}  // namespace avs
