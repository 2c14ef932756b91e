// VSFilter (and VSFilterMod): TextSub and TextSubMod draw a text subtitle
// file on the clip, as libass does through libavfilter's subtitles filter.
// VobSub's picture subtitles are drawn in vobsub.cpp.
#include "tools/engine/plugins/plugins.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/subtitles.h"

#include <cmath>
#include <map>

namespace avs {

namespace {

// The character set a file without byte order mark is read in, from
// Windows' charset number as VSFilter takes it; 1 (the default) is UTF-8
// here, as Linux files are.
std::string CharacterSet(const Call& call, int64_t charset) {
  static const std::map<int64_t, const char*> kSets = {
      {0, "CP1252"},     {1, ""},         {2, "CP1252"},   {77, "MACINTOSH"}, {128, "SHIFT_JIS"}, {129, "CP949"},
      {130, "JOHAB"},    {134, "CP936"},  {136, "CP950"},  {161, "CP1253"},   {162, "CP1254"},    {163, "CP1258"},
      {177, "CP1255"},   {178, "CP1256"}, {186, "CP1257"}, {204, "CP1251"},   {222, "CP874"},     {238, "CP1250"},
      {255, "CP437"}};
  const auto found = kSets.find(charset);
  if (found == kSets.end()) call.Fail("charset " + std::to_string(charset) + " is not a Windows character set");
  return found->second;
}

// VSFilter times frames at fps, the clip's own rate when it is left out or
// not positive; scripts commonly pass that rate (clip.FrameRate()), which
// changes nothing. Another rate would stretch the subtitles' times.
void CheckSubtitleRate(const Call& call) {
  if (!call.args[3].defined()) return;
  const double fps = call.Float(3, -1.0);
  const Rational rate = call.Clip(0)->info().fps;
  const double own = static_cast<double>(rate.num) / static_cast<double>(rate.den);
  if (fps > 0 && std::abs(fps - own) > own * 1e-6)
    call.Fail("fps " + std::to_string(fps) + " is not taken here: the subtitles are timed at the clip's own rate");
}

Value TextSub(Call& call) {
  CheckSubtitleRate(call);
  RefuseGiven(call, 4, "vfr", "the subtitles are timed by the clip's own constant rate");
  return WithSubtitles(call, call.String(1, ""), CharacterSet(call, call.Int(2, 1)), "");
}

}  // namespace

void RegisterVsfilterPlugin(FunctionTable& table) {
  table["textsub"] = {"clip:c file:s ?charset:i ?fps:f ?vfr:s", TextSub};
  // VSFilterMod's TextSubMod takes the same arguments.
  table["textsubmod"] = table["textsub"];
}

}  // namespace avs
