// SuperEQ's preset files: one whole number of decibels a line for the
// bands in order, blank lines left out, at most 18 bands; the bands not
// named stay at 0 dB.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace avs {

constexpr int kEqualizerBands = 18;
using EqualizerGains = std::array<double, kEqualizerBands>;  // decibels

// The gains `text` gives, or none with the reason ("line 2: ...") in
// `problem`.
std::optional<EqualizerGains> ParseEqualizerPreset(const std::string& text, std::string& problem);

}  // namespace avs
