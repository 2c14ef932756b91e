#include "settings/mode_settings.h"

namespace settings {

ModeSettings PreviewDefaults() {
  ModeSettings values;
  values.widths = {"320", "480"};
  values.widthIndex = 1;
  values.newWidth = true;
  values.rateLevel = 40;
  values.balance = 3;
  return values;
}

ModeSettings StandardDefaults() {
  ModeSettings values;
  values.widths = {"640", "768", "848", "1024", "1280"};
  values.widthIndex = 1;
  values.newWidth = true;
  values.sdDeluxe = false;
  values.deluxeSound = false;
  values.rateLevel = 15;
  values.balance = 3;
  return values;
}

}  // namespace settings
