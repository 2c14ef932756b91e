// Text on frames: subtitles, frame numbers, timecodes and times, drawn by
// libavfilter's drawtext with a font that fontconfig finds.
#include "tools/engine/functions/families.h"

#include "tools/engine/functions/common.h"
#include "tools/engine/functions/text_layout.h"
#include "tools/engine/graph_clip.h"

#include <cmath>

namespace avs {

namespace {

// AviSynth's colours are $AARRGGBB with the alpha inverted: 00 is opaque,
// FF is invisible.
std::string ColourOption(int64_t colour) {
  char text[16];
  const unsigned value = static_cast<unsigned>(colour);
  std::snprintf(text, sizeof text, "0x%06X%02X", value & 0xFFFFFFu, 255u - (value >> 24));
  return text;
}
bool Invisible(int64_t colour) { return (static_cast<unsigned>(colour) >> 24) == 0xFF; }

// The options the text functions share, in the order of their parameters
// after the position.
struct Look {
  std::string font = "Arial";
  std::string fontFile;
  double size = 18;
  int64_t textColour = 0xFFFF00, haloColour = 0;
};

// One drawtext: its text (literal, or with drawtext's %{...} expansions),
// its place as x and y expressions of the top-left corner, and when it shows.
struct Drawing {
  std::string text;
  bool expand = false;
  std::string x, y;
  std::string enable;
};

std::string DrawTextFilter(const Look& look, const Drawing& drawing) {
  std::string filter = "drawtext=";
  auto option = [&filter](const char* name, const std::string& value) {
    if (filter.back() != '=') filter += ':';
    filter += name;
    filter += '=';
    filter += EscapeFilterOption(value);
  };
  if (!look.fontFile.empty()) option("fontfile", look.fontFile);
  else option("font", look.font);
  option("fontsize", std::to_string(std::max(1.0, look.size)));
  option("fontcolor", ColourOption(look.textColour));
  if (!Invisible(look.haloColour)) {
    // The halo grows with the text, two pixels at the default size.
    option("borderw", std::to_string(std::max(1L, std::lround(look.size / 9))));
    option("bordercolor", ColourOption(look.haloColour));
  }
  option("expansion", drawing.expand ? "normal" : "none");
  option("text", drawing.text);
  option("x", drawing.x);
  option("y", drawing.y);
  if (!drawing.enable.empty()) option("enable", drawing.enable);
  return filter;
}

ClipPtr Draw(const Call& call, const Look& look, const std::vector<Drawing>& drawings) {
  const ClipInfo& info = VideoOf(call, 0);
  if (drawings.empty()) return call.Clip(0);
  std::string chain;
  for (const Drawing& drawing : drawings)
    chain += (chain.empty() ? "" : ",") + EscapeGraphSegment(DrawTextFilter(look, drawing));
  // Labelled here: an escaped bracket of the text must not pass for a label.
  return MakeGraphClip(info, call.origin, {call.Clip(0)}, "[in0]" + chain + "[out]");
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

// The frame a drawtext sees: frame n arrives at the time n / fps.
std::string FrameExpression(const ClipInfo& info) {
  return "round(t*" + std::to_string(info.fps.num) + "/" + std::to_string(info.fps.den) + ")";
}

Look ReadLook(const Call& call, std::size_t font, double defaultSize, int64_t defaultText) {
  Look look;
  look.font = call.String(font, "Arial");
  look.size = call.Float(font + 1, defaultSize);
  look.textColour = call.Int(font + 2, defaultText);
  look.haloColour = call.Int(font + 3, 0);
  if (!(look.size > 0 && look.size <= 4096)) call.Fail("size must be between 0 and 4096");
  return look;
}

Value Subtitle(Call& call) {
  const ClipInfo& info = VideoOf(call, 0);
  SubtitlePlacement place;
  place.alignGiven = call.args[11].defined();
  place.align = static_cast<int>(call.Int(11, 7));
  if (place.align < 1 || place.align > 9) call.Fail("align must be between 1 and 9");
  Look look = ReadLook(call, 6, 18, 0xFFFF00);
  look.fontFile = call.args[16].defined() ? call.Path(call.String(16, "")) : "";
  place.size = look.size;
  place.x = call.args[2].defined() ? std::optional<double>(call.Float(2, 0)) : std::nullopt;
  place.y = call.args[3].defined() ? std::optional<double>(call.Float(3, 0)) : std::nullopt;
  const auto [x, y] = SubtitlePosition(place, info.width, info.height);

  Drawing drawing;
  drawing.text = SubtitleLines(call.String(1, ""), call.args[12].defined());
  drawing.x = x;
  drawing.y = y;
  // Frames first_frame to last_frame: the times between their halves.
  const double first = static_cast<double>(call.Int(4, 0)), last = static_cast<double>(call.Int(5, info.frameCount - 1));
  const double fps = static_cast<double>(info.fps.num) / static_cast<double>(info.fps.den);
  drawing.enable = "between(t," + Number((first - 0.5) / fps) + "," + Number((last + 0.5) / fps) + ")";
  return Draw(call, look, {drawing});
}

// ShowFrameNumber: a column of numbers down the left side for top field
// first material, the right side otherwise; or one number scrolling down a
// line a frame; or one at x, y (baseline, left).
Value ShowFrameNumber(Call& call) {
  const ClipInfo& info = VideoOf(call, 0);
  const Look look = ReadLook(call, 5, 24, 0xFFFF00);
  const std::string number =
      "%{eif:" + FrameExpression(info) + "+" + std::to_string(call.Int(2, 0)) + ":d}";
  std::vector<Drawing> drawings;
  if (call.args[3].defined() || call.args[4].defined()) {
    drawings.push_back({number, true, Number(call.Float(3, 0)), Number(call.Float(4, 0)) + "-ascent", {}});
    return Draw(call, look, drawings);
  }
  const int rows = std::max(1, static_cast<int>(info.height / look.size));
  const std::string x = info.topFieldFirst ? "4" : "w-tw-4";
  if (call.Bool(1, false)) {
    const std::string row = "mod(" + FrameExpression(info) + "," + std::to_string(rows) + ")";
    drawings.push_back({number, true, x, "(" + row + "+1)*" + Number(look.size) + "-ascent", {}});
    return Draw(call, look, drawings);
  }
  for (int row = 1; row <= rows; ++row)
    drawings.push_back({number, true, x, Number(row * look.size) + "-ascent", {}});
  return Draw(call, look, drawings);
}

// Timecodes and times sit centred on their bottom edge, by default at the
// bottom middle of the picture.
Drawing BottomCentred(const Call& call, std::size_t xArg, const std::string& text, const ClipInfo& info) {
  const std::string x = call.args[xArg].defined() ? Number(call.Float(xArg, 0)) : std::to_string(info.width / 2);
  const std::string y = call.args[xArg + 1].defined() ? Number(call.Float(xArg + 1, 0)) : std::to_string(info.height - 4);
  return {text, true, x + "-tw/2", y + "-th", {}};
}

Value ShowSMPTE(Call& call) {
  const ClipInfo& info = VideoOf(call, 0);
  const double fps = call.Float(1, static_cast<double>(info.fps.num) / static_cast<double>(info.fps.den));
  const std::optional<TimecodeRate> rate = SmpteRate(fps);
  if (!rate)
    call.Fail("the frame rate " + Number(fps) + " has no SMPTE timecode; give fps, or use ShowFrameNumber or ShowTime");
  int64_t offset = call.Int(3, 0);
  if (call.args[2].defined()) {
    const std::optional<int64_t> frames = ParseTimecode(call.String(2, ""), *rate);
    if (!frames) call.Fail("offset must be a timecode HH:MM:SS:FF");
    offset = *frames;
  }
  const Look look = ReadLook(call, 6, 24, 0xFFFF00);
  const std::string text = SmpteExpansion(FrameExpression(info) + "+" + std::to_string(offset), *rate);
  return Draw(call, look, {BottomCentred(call, 4, text, info)});
}

Value ShowTime(Call& call) {
  const ClipInfo& info = VideoOf(call, 0);
  const Look look = ReadLook(call, 4, 24, 0xFFFF00);
  // Milliseconds of the frame, counted from the offset frame.
  const std::string ms = "floor((" + FrameExpression(info) + "+" + std::to_string(call.Int(1, 0)) + ")*1000*" +
                         std::to_string(info.fps.den) + "/" + std::to_string(info.fps.num) + "+0.5)";
  return Draw(call, look, {BottomCentred(call, 2, ClockExpansion(ms), info)});
}

const char* const kShowParams =
    "?font:s ?size:f ?text_color:i ?halo_color:i ?font_width:f ?font_angle:f ?bold:b ?italic:b ?noaa:b";

}  // namespace

void RegisterTextFunctions(FunctionTable& table) {
  // spc, font_width, font_angle and interlaced are read and have no effect:
  // the text is drawn at the font's own spacing, width and angle.
  table["subtitle"] = {
      "clip:c text:s ?x:f ?y:f ?first_frame:i ?last_frame:i ?font:s ?size:f ?text_color:i ?halo_color:i "
      "?spc:i ?align:i ?lsp:i ?font_width:f ?font_angle:f ?interlaced:b ?font_filename:s ?utf8:b",
      Subtitle};
  table["showframenumber"] = {std::string("clip:c ?scroll:b ?offset:i ?x:f ?y:f ") + kShowParams, ShowFrameNumber};
  table["showsmpte"] = {std::string("clip:c ?fps:f ?offset:s ?offset_f:i ?x:f ?y:f ") + kShowParams, ShowSMPTE};
  table["showtime"] = {std::string("clip:c ?offset_f:i ?x:f ?y:f ") + kShowParams, ShowTime};
}

}  // namespace avs
