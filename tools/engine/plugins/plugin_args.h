// What the plugin counterparts share: their common ways of naming planes,
// field orders and numbers, and the refusal of options they cannot honour.
#pragma once

#include "tools/engine/script.h"

#include <string>
#include <utility>
#include <vector>

namespace avs {

// libavfilter's planes mask from a plugin's per-plane modes, given as
// (parameter name, value) in plane order: 3 filters the plane, 2 and 1 leave
// it as it is (1 leaves the plugin's output undefined there; here it is the
// input's). Other modes (the plugins fill the plane with a value) are
// refused.
int PlaneMask(const Call& call, const std::vector<std::pair<std::string, int64_t>>& modes);

// Whether the top field comes first, from a plugin's order argument: -1
// takes the clip's own field order, 0 is bottom field first, 1 top.
bool TopFieldFirst(const Call& call, const std::string& name, int64_t order, const ClipInfo& clip);

// A float as a filter option's value.
std::string OptionNumber(double value);

// Fails when argument `index` is given: an option whose effect libavfilter's
// filter cannot give, so that a script does not silently get another result.
void RefuseGiven(const Call& call, std::size_t index, const std::string& name, const std::string& why);

// An int argument that must lie in [low, high].
int64_t IntIn(const Call& call, std::size_t index, const std::string& name, int64_t fallback, int64_t low, int64_t high);
// A float argument that must lie in [low, high].
double FloatIn(const Call& call, std::size_t index, const std::string& name, double fallback, double low, double high);

}  // namespace avs
