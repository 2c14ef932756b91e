#include "tools/engine/plugins/plugins.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace avs {

void RegisterPluginFunctions(FunctionTable& table) {
  RegisterTivtcPlugin(table);
  RegisterYadifPlugins(table);
  RegisterBwdifPlugin(table);
  RegisterRemoveGrainPlugin(table);
  RegisterMedianPlugin(table);
  RegisterMedianBlurPlugin(table);
  RegisterVariableBlurPlugin(table);
  RegisterHqdn3dPlugin(table);
  RegisterCasPlugin(table);
  RegisterAveragePlugin(table);
  RegisterVsfilterPlugin(table);
  RegisterVobSubPlugin(table);
  RegisterAssrenderPlugin(table);
  RegisterDgdecodePlugin(table);
  RegisterFfms2Plugin(table);
  RegisterLsmashPlugin(table);
  RegisterDss2Plugin(table);
}

bool IsCarriedPluginFile(const std::string& path) {
  // The plugins' file names as they are published, lower-cased, without
  // folder, extension, "lib" prefix or the suffixes of their 32- and 64-bit
  // builds.
  static constexpr std::array<std::string_view, 25> kFiles = {
      "tivtc",   "yadif",   "bwdif",   "yadifmod2",   "removegrain", "removegrainsse2", "removegrainsse3", "rgtools",
      "median",  "medianblur2", "medianblur", "variableblur", "hqdn3d",     "cas",             "average",
      "vsfilter", "vsfiltermod", "xy-vsfilter", "xyvsfilter", "assrender",  "dgdecode",
      "ffms2", "lsmashsource", "avss", "dss2"};
  std::string name = Lower(path.substr(path.find_last_of("/\\") + 1));  // npos + 1 is 0
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos) name.erase(dot);
  if (name.starts_with("lib")) name.erase(0, 3);
  for (std::string_view suffix : {"_x64", "-x64", "x64", "_x86", "-x86", "x86", "64", "32"})
    if (name.ends_with(suffix) && std::find(kFiles.begin(), kFiles.end(), name) == kFiles.end()) {
      name.erase(name.size() - suffix.size());
      break;
    }
  return std::find(kFiles.begin(), kFiles.end(), name) != kFiles.end();
}

}  // namespace avs
