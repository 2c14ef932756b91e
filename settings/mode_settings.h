// The stored settings of one encoding mode, as the settings dialog edits
// them and the job reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace settings {

struct ModeSettings {
  std::vector<std::string> widths;  // Preview "320","480"; Standard "640".."1280"
  int32_t widthIndex = 1;
  bool newWidth = true;
  bool sdDeluxe = false;     // Standard only
  bool deluxeSound = false;  // Standard only
  uint8_t rateLevel = 40;    // Preview: tenths of a MB per minute; Standard: MB per minute
  uint8_t balance = 3;       // 1..5, the audio's share
};

ModeSettings PreviewDefaults();
ModeSettings StandardDefaults();

}  // namespace settings
