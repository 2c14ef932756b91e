// Text on frames: subtitles, frame numbers, timecodes and times, drawn by
// libavfilter's drawtext with a font that fontconfig finds.
#include "tools/engine/functions/families.h"

#include "tools/engine/functions/common.h"
#include "tools/engine/functions/text_layout.h"
#include "tools/engine/graph_clip.h"
#include "tools/engine/input.h"
#include "tools/engine/pixel_format.h"
#include "tools/engine/reading.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <fontconfig/fontconfig.h>

#include <cmath>
#include <fstream>

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
  int haloWidth = 0;  // pixels; 0 lets the halo grow with the size
  bool box = false;   // a half-transparent black box behind the text
};

// One drawtext: its text (literal, or with drawtext's %{...} expansions)
// and its place as x and y expressions of the top-left corner.
struct Drawing {
  std::string text;
  bool expand = false;
  std::string x, y;
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
    const long width = look.haloWidth > 0 ? look.haloWidth : std::max(1L, std::lround(look.size / 9));
    option("borderw", std::to_string(width));
    option("bordercolor", ColourOption(look.haloColour));
  }
  if (look.box) {
    option("box", "1");
    option("boxcolor", "0x00000080");
    option("boxborderw", "2");
  }
  option("expansion", drawing.expand ? "normal" : "none");
  option("text", drawing.text);
  option("x", drawing.x);
  option("y", drawing.y);
  return filter;
}

// drawtext filters drawing `drawings` with `look`, one after another.
std::string DrawTextChain(const Look& look, const std::vector<Drawing>& drawings) {
  std::string chain;
  for (const Drawing& drawing : drawings)
    chain += (chain.empty() ? "" : ",") + EscapeGraphSegment(DrawTextFilter(look, drawing));
  return chain;
}

// A chain of drawtext filters on the frames of `span`; the other frames
// stay as they are.
ClipPtr DrawChainOn(const Call& call, const ClipPtr& clip, const std::string& chain, GraphOptions span = {}) {
  if (chain.empty()) return clip;
  span.drawsOnInput = true;
  // Labelled here: an escaped bracket of the text must not pass for a label.
  return MakeGraphClip(clip->info(), call.origin, {clip}, "[in0]" + chain + "[out]", span);
}

ClipPtr DrawOn(const Call& call, const ClipPtr& clip, const Look& look, const std::vector<Drawing>& drawings) {
  return DrawChainOn(call, clip, DrawTextChain(look, drawings));
}

ClipPtr Draw(const Call& call, const Look& look, const std::vector<Drawing>& drawings) {
  VideoOf(call, 0);
  return DrawOn(call, call.Clip(0), look, drawings);
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

void CheckAlign(const Call& call, int64_t align) {
  if (align < 1 || align > 9) call.Fail("align must be between 1 and 9");
}

// Subtitle and Text share their parameters but the look's: clip, text, x,
// y, first_frame, last_frame, then align (10), spc, lsp (12).
struct Placed {
  Drawing drawing;
  GraphOptions span;  // the frames it shows on
};
Placed PlaceText(const Call& call, double size) {
  const ClipInfo& info = VideoOf(call, 0);
  SubtitlePlacement place;
  place.alignGiven = call.args[10].defined();
  place.align = static_cast<int>(call.Int(10, 7));
  place.size = size;
  place.x = call.args[2].defined() ? std::optional<double>(call.Float(2, 0)) : std::nullopt;
  place.y = call.args[3].defined() ? std::optional<double>(call.Float(3, 0)) : std::nullopt;
  const auto [x, y] = SubtitlePosition(place, info.width, info.height);
  return {{SubtitleLines(call.String(1, ""), call.args[12].defined()), false, x, y},
          {.first = call.Int(4, 0), .last = call.Int(5, info.frameCount - 1)}};
}

Value Subtitle(Call& call) {
  VideoOf(call, 0);
  CheckAlign(call, call.Int(10, 7));
  Look look = ReadLook(call, 6, 18, 0xFFFF00);
  look.fontFile = call.args[16].defined() ? call.Path(call.String(16, "")) : "";
  const Placed placed = PlaceText(call, look.size);
  // Frames outside first_frame to last_frame are passed on untouched.
  return DrawChainOn(call, call.Clip(0), DrawTextChain(look, {placed.drawing}), placed.span);
}

// The file of the font fontconfig matches to `pattern`, such as
// "monospace:bold". The configuration is loaded for the call and let go
// after it, as drawtext does, so that nothing of fontconfig's outlives it.
std::string MatchedFontFile(const Call& call, const std::string& pattern) {
  FcConfig* config = FcInitLoadConfigAndFonts();
  FcPattern* wanted = FcNameParse(reinterpret_cast<const FcChar8*>(pattern.c_str()));
  FcPattern* found = nullptr;
  if (config && wanted && FcConfigSubstitute(config, wanted, FcMatchPattern)) {
    FcDefaultSubstitute(wanted);
    FcResult result = FcResultNoMatch;
    found = FcFontMatch(config, wanted, &result);
  }
  FcChar8* file = nullptr;
  std::string path;
  if (found && FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<const char*>(file);
  if (found) FcPatternDestroy(found);
  if (wanted) FcPatternDestroy(wanted);
  if (config) FcConfigDestroy(config);
  if (path.empty()) call.Fail("fontconfig finds no font for " + pattern);
  return path;
}

// The pixel size of a BDF font file, which draws at that size alone.
int BdfFontSize(const Call& call, const std::string& path) {
  std::ifstream file(path);
  if (!file) call.Fail("cannot open the font file " + path);
  std::string header(4096, '\0');
  file.read(header.data(), static_cast<std::streamsize>(header.size()));
  header.resize(static_cast<std::size_t>(file.gcount()));
  const std::optional<int> size = BdfPixelSize(header);
  if (!size) call.Fail(path + " is no BDF font with a pixel size");
  return *size;
}

// Text: Subtitle's placement in a monospaced font with a thin halo.
// AviSynth draws it with bitmap fonts of its own (Terminus at 12 to 32
// pixels, Info_h at 10x20) that are not at hand here: the monospaced font
// fontconfig finds (DejaVu Sans Mono on Debian) stands for both, scaled to
// any size. A font file is drawn by FreeType, a BDF font at its own size.
// text_color has no transparency; halo_color's alpha byte picks the
// halo (00), a half-transparent box (FF), or both in the halo's colour
// (FE); other alphas draw neither.
Value Text(Call& call) {
  VideoOf(call, 0);
  CheckAlign(call, call.Int(10, 7));
  Look look;
  look.size = call.Float(7, 18);
  const std::string font = call.String(6, "Terminus"), name = Lower(font);
  const std::string file = call.args[16].defined() ? call.String(16, "") : EndsWithNoCase(font, ".bdf") ? font : "";
  bool bitmapFile = false;
  if (!file.empty()) {
    look.fontFile = call.Path(file);
    if (!std::ifstream(look.fontFile)) call.Fail("cannot open the font file " + look.fontFile);
    bitmapFile = EndsWithNoCase(look.fontFile, ".bdf");
    if (bitmapFile) look.size = BdfFontSize(call, look.fontFile);
  } else if (name == "terminus" || name == "info_h") {
    look.fontFile = MatchedFontFile(call, call.Bool(18, false) ? "monospace:bold" : "monospace");
    if (name == "info_h") look.size = 20;
  } else {
    call.Fail("font must be Terminus, Info_h or a BDF font file, not \"" + font + "\"");
  }
  if (!(look.size > 0 && look.size <= 4096)) call.Fail("size must be between 0 and 4096");
  look.textColour = call.Int(8, 0xFFFF00) & 0xFFFFFF;
  const int64_t haloArgument = call.Int(9, 0);
  const unsigned haloAlpha = static_cast<unsigned>(haloArgument) >> 24;
  look.haloColour = haloAlpha == 0x00 || haloAlpha == 0xFE ? haloArgument & 0xFFFFFF : 0xFF000000;
  look.box = haloAlpha == 0xFE || haloAlpha == 0xFF;
  look.haloWidth = 1;  // the bitmap fonts' outline
  const Placed placed = PlaceText(call, look.size);
  if (!bitmapFile || Invisible(look.haloColour))
    return DrawChainOn(call, call.Clip(0), DrawTextChain(look, {placed.drawing}), placed.span);
  // drawtext outlines scalable glyphs only: a bitmap font's halo is its
  // text in the halo's colour a pixel away in the eight directions, under
  // the text and over the box.
  Look box = look, halo = look, text = look;
  box.textColour = box.haloColour = 0xFF000000;
  halo.textColour = look.haloColour;
  halo.haloColour = text.haloColour = 0xFF000000;
  halo.box = text.box = false;
  std::vector<Drawing> around;
  for (const char* dx : {"-1", "+0", "+1"})
    for (const char* dy : {"-1", "+0", "+1"})
      if (std::string(dx) != "+0" || std::string(dy) != "+0")
        around.push_back({placed.drawing.text, false, "(" + placed.drawing.x + ")" + dx, "(" + placed.drawing.y + ")" + dy});
  std::string chain = look.box ? DrawTextChain(box, {placed.drawing}) + "," : "";
  chain += DrawTextChain(halo, around) + "," + DrawTextChain(text, {placed.drawing});
  return DrawChainOn(call, call.Clip(0), chain, placed.span);
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
    drawings.push_back({number, true, Number(call.Float(3, 0)), Number(call.Float(4, 0)) + "-ascent"});
    return Draw(call, look, drawings);
  }
  const int rows = std::max(1, static_cast<int>(info.height / look.size));
  const std::string x = info.topFieldFirst ? "4" : "w-tw-4";
  if (call.Bool(1, false)) {
    const std::string row = "mod(" + FrameExpression(info) + "," + std::to_string(rows) + ")";
    drawings.push_back({number, true, x, "(" + row + "+1)*" + Number(look.size) + "-ascent"});
    return Draw(call, look, drawings);
  }
  for (int row = 1; row <= rows; ++row)
    drawings.push_back({number, true, x, Number(row * look.size) + "-ascent"});
  return Draw(call, look, drawings);
}

// Timecodes and times sit centred on their bottom edge, by default at the
// bottom middle of the picture.
Drawing BottomCentred(const Call& call, std::size_t xArg, const std::string& text, const ClipInfo& info) {
  const std::string x = call.args[xArg].defined() ? Number(call.Float(xArg, 0)) : std::to_string(info.width / 2);
  const std::string y = call.args[xArg + 1].defined() ? Number(call.Float(xArg + 1, 0)) : std::to_string(info.height - 4);
  return {text, true, x + "-tw/2", y + "-th"};
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

// A silent picture of one colour at 24 frames a second (BlankClip's).
ClipPtr Canvas(Call& call, int64_t frames, int64_t width, int64_t height, const std::string& pixelType, int64_t colour) {
  // length, width, height, pixel_type, fps, fps_denominator, audio_rate, channels, sample_type, color
  return call.interp
      .CallFunction("blankclip",
                    {Value(frames), Value(width), Value(height), Value(pixelType), Value(24), Value(1), Value(0),
                     Value(0), Value("16bit"), Value(colour & 0xFFFFFF)},
                    call.origin)
      .asClip();
}

// The width and height the lines of `text` take when drawn with `look`,
// measured by drawing them once on a canvas wide enough for them.
std::pair<int, int> Measure(Call& call, const Look& look, const std::string& text) {
  int lines = 1;
  std::size_t longest = 0, run = 0;
  for (char c : text) {
    if (c == '\n') {
      ++lines;
      run = 0;
    } else {
      longest = std::max(longest, ++run);
    }
  }
  const int64_t width = std::min<int64_t>(kMaxPictureSide, static_cast<int64_t>(longest + 2) * std::lround(look.size) + 16);
  const int64_t height = std::min<int64_t>(kMaxPictureSide, static_cast<int64_t>(lines + 1) * std::lround(look.size * 1.5) + 16);
  Look plain = look;
  plain.textColour = 0xFFFFFF;
  const ClipPtr canvas = Canvas(call, 1, width, height, "Y8", 0);
  const ClipPtr drawn = DrawOn(call, canvas, plain, {{text, false, "8", "8"}});
  Reading reading;
  const FrameRef frame = reading.Frame(*drawn, 0);
  // The corner stays the background's grey.
  const int background = frame->data[0][0];
  int right = -1, bottom = -1;
  for (int y = 0; y < frame->height; ++y)
    for (int x = 0; x < frame->width; ++x)
      if (std::abs(frame->data[0][y * frame->linesize[0] + x] - background) > 8) {
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
  if (right < 0) return {0, static_cast<int>(std::lround(look.size))};
  return {right - 8 + 1, bottom - 8 + 1};
}

// A clip of `text` on a plain background, centred at the top. Without a
// size the clip fits the text at 24 points; with one the text shrinks,
// down to 9 points, to fit it, and `shrink` trims the clip to the text.
ClipPtr Message(Call& call, const std::string& text, int64_t width, int64_t height, bool shrink, Look look,
                int64_t background, int64_t frames, const std::string& pixelType) {
  constexpr int kMargin = 8;
  look.size = 24;
  auto [textWidth, textHeight] = Measure(call, look, text);
  if ((width > 0 && textWidth + 2 * kMargin > width) || (height > 0 && textHeight + 2 * kMargin > height)) {
    double scale = 1;
    if (width > 0) scale = std::min(scale, static_cast<double>(width - 2 * kMargin) / std::max(1, textWidth));
    if (height > 0) scale = std::min(scale, static_cast<double>(height - 2 * kMargin) / std::max(1, textHeight));
    look.size = std::clamp(std::floor(24 * scale), 9.0, 24.0);
    std::tie(textWidth, textHeight) = Measure(call, look, text);
  }
  const int64_t fitWidth = textWidth + 2 * kMargin, fitHeight = textHeight + 2 * kMargin;
  int64_t w = width > 0 ? (shrink ? std::min(width, fitWidth) : width) : fitWidth;
  int64_t h = height > 0 ? (shrink ? std::min(height, fitHeight) : height) : fitHeight;
  // Subsampled pixel types need even sides.
  w += w % 2;
  h += h % 2;
  const ClipPtr canvas = Canvas(call, frames, std::min<int64_t>(w, kMaxPictureSide), std::min<int64_t>(h, kMaxPictureSide),
                                pixelType, background);
  return DrawOn(call, canvas, look, {{text, false, "(w-text_w)/2", std::to_string(kMargin)}});
}

Value MessageClip(Call& call) {
  Look look;
  look.textColour = call.Int(4, 0xFFFFFF);
  look.haloColour = call.Int(5, 0);
  const int64_t width = call.Int(1, -1), height = call.Int(2, -1);
  if (width > kMaxPictureSide || height > kMaxPictureSide) call.Fail("the size is out of range");
  return Message(call, SubtitleLines(call.String(0, ""), false), width, height, call.Bool(3, false), look,
                 call.Int(6, 0), 240, "RGB32");
}

// Version(): the engine's version in light yellow on 25% grey, 24 frames a
// second, the size fitted to the text unless given; a template clip gives
// its length, size and pixel type.
Value Version(Call& call) {
  int64_t frames = 240, width = -1, height = -1;
  std::string pixelType = "RGB24";
  if (call.args[4].defined()) {
    const ClipInfo& t = VideoOf(call, 4);
    frames = t.frameCount;
    width = t.width;
    height = t.height;
    pixelType = PixelTypeName(t.pixelFormat);
  }
  frames = call.Int(0, frames);
  width = call.Int(1, width);
  height = call.Int(2, height);
  pixelType = call.String(3, pixelType);
  if (frames <= 0 || frames > kMaxFrames) call.Fail("the length is out of range");
  if (width > kMaxPictureSide || height > kMaxPictureSide) call.Fail("the size is out of range");
  const Value version = call.interp.CallFunction("versionstring", {}, call.origin);
  Look look;
  look.textColour = 0xECF2BF;
  look.haloColour = 0xFF000000;
  return Message(call, version.asString() + "\n(c) Kelvarion developers", width, height, false, look, 0x404040,
                 frames, pixelType);
}

std::string Clock(double seconds) {
  const int64_t ms = std::llround(seconds * 1000);
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                static_cast<long long>(ms % 1000));
  return text;
}

const char* SampleTypeText(SampleType type) {
  switch (type) {
    case SampleType::U8: return "Integer 8 bit";
    case SampleType::S16: return "Integer 16 bit";
    case SampleType::S24: return "Integer 24 bit";
    case SampleType::S32: return "Integer 32 bit";
    case SampleType::Float: return "Float 32 bit";
  }
  return "unknown";
}

// Info: the clip's properties in lines at the top left (or where x, y and
// align put them, each line aligned by itself); the frame number and time
// change from frame to frame. A clip of sound alone is shown on a black
// picture of 640x480 at 24 frames a second that lasts as long.
Value Info(Call& call) {
  ClipPtr clip = call.Clip(0);
  if (!clip->info().hasVideo) {
    const ClipInfo& sound = clip->info();
    const int64_t frames = std::max<int64_t>(1, (sound.sampleCount * 24 + sound.sampleRate - 1) / sound.sampleRate);
    const ClipPtr canvas = Canvas(call, frames, 640, 480, "RGB32", 0);
    clip = call.interp.CallFunction("audiodub", {Value(canvas), Value(clip)}, call.origin).asClip();
  }
  const ClipInfo& info = clip->info();
  const double fps = static_cast<double>(info.fps.num) / static_cast<double>(info.fps.den);
  const double autoSize = info.width >= 384 && info.height >= 224
                              ? 15.0
                              : std::max(6.0, 15.0 * std::min(info.width / 384.0, info.height / 224.0));
  Look look;
  look.font = call.String(1, "monospace");
  look.size = call.Float(2, autoSize);
  if (look.size < 0) look.size = autoSize * std::max(1.0, std::min(info.width / 640.0, info.height / 480.0));
  look.textColour = call.Int(3, 0xFFFF00);
  look.haloColour = call.Int(4, 0);
  if (!(look.size > 0 && look.size <= 4096)) call.Fail("size must be between 0 and 4096");
  const int align = static_cast<int>(call.Int(11, 7));
  if (align < 1 || align > 9) call.Fail("align must be between 1 and 9");

  char text[160];
  std::vector<std::pair<std::string, bool>> lines;  // text, whether it has expansions
  const std::string frame = FrameExpression(info);
  lines.push_back({"Frame: %{eif:" + frame + ":d} of " + std::to_string(info.frameCount), true});
  const std::string ms = "floor(" + frame + "*1000*" + std::to_string(info.fps.den) + "/" + std::to_string(info.fps.num) + "+0.5)";
  lines.push_back({"Time: " + ClockExpansion(ms) + " of " + Clock(static_cast<double>(info.frameCount) / fps), true});
  std::snprintf(text, sizeof text, "ColorSpace: %s, BitsPerComponent: %d", PixelTypeName(info.pixelFormat),
                BitsPerComponent(info.pixelFormat));
  lines.push_back({text, false});
  std::snprintf(text, sizeof text, "Width: %d pixels, Height: %d pixels", info.width, info.height);
  lines.push_back({text, false});
  std::snprintf(text, sizeof text, "Frames per second: %.4f (%lld/%lld)", fps, static_cast<long long>(info.fps.num),
                static_cast<long long>(info.fps.den));
  lines.push_back({text, false});
  lines.push_back({std::string("FieldBased (Separated) Video: ") + (info.fieldBased ? "YES" : "NO"), false});
  lines.push_back({std::string("Parity: ") + (info.topFieldFirst ? "Top" : "Bottom") + " Field First", false});
  std::snprintf(text, sizeof text, "Video Pitch: %d bytes", av_image_get_linesize(info.pixelFormat, info.width, 0));
  lines.push_back({text, false});
  lines.push_back({std::string("Has Audio: ") + (info.hasAudio ? "YES" : "NO"), false});
  if (info.hasAudio) {
    lines.push_back({"Audio Channels: " + std::to_string(info.channels), false});
    lines.push_back({std::string("Sample Type: ") + SampleTypeText(info.sampleType), false});
    lines.push_back({"Samples Per Second: " + std::to_string(info.sampleRate), false});
    lines.push_back({"Audio length: " + std::to_string(info.sampleCount) + " samples. " +
                         Clock(static_cast<double>(info.sampleCount) / info.sampleRate),
                     false});
  }

  // Lines a size apart; the reference point is the block's corner, side or
  // middle as the keypad of align says.
  const double lineHeight = look.size, block = lineHeight * static_cast<double>(lines.size());
  const int column = (align - 1) % 3, row = (align - 1) / 3;  // row 0 is the bottom
  const double x = call.Float(9, column == 0 ? 4 : column == 1 ? info.width / 2.0 : info.width - 4.0);
  const double y = call.Float(10, row == 2 ? 0 : row == 1 ? info.height / 2.0 : info.height);
  const double top = row == 2 ? y : row == 1 ? y - block / 2 : y - block;
  const std::string xText = column == 0 ? Number(x) : column == 1 ? Number(x) + "-tw/2" : Number(x) + "-tw";
  std::vector<Drawing> drawings;
  for (std::size_t i = 0; i < lines.size(); ++i)
    drawings.push_back({lines[i].first, lines[i].second, xText,
                        Number(top + lineHeight * static_cast<double>(i + 1)) + "-ascent"});
  return DrawOn(call, clip, look, drawings);
}

const char* const kShowParams =
    "?font:s ?size:f ?text_color:i ?halo_color:i ?font_width:f ?font_angle:f ?bold:b ?italic:b ?noaa:b";

}  // namespace

void RegisterTextFunctions(FunctionTable& table) {
  // spc, font_width, font_angle and interlaced are read and have no effect:
  // the text is drawn at the font's own spacing, width and angle.
  table["subtitle"] = {
      "clip:c text:s ?x:f ?y:f ?first_frame:i ?last_frame:i ?font:s ?size:f ?text_color:i ?halo_color:i "
      "?align:i ?spc:i ?lsp:i ?font_width:f ?font_angle:f ?interlaced:b ?font_filename:s ?utf8:b",
      Subtitle};
  // spc, font_width, font_angle, interlaced, utf8, italic, noaa, placement
  // and gdi are read and have no effect: they tune AviSynth's own bitmap
  // drawing, or AviSynth's Subtitle, whose parameters Text accepts too.
  table["text"] = {
      "clip:c text:s ?x:f ?y:f ?first_frame:i ?last_frame:i ?font:s ?size:f ?text_color:i ?halo_color:i "
      "?align:i ?spc:i ?lsp:i ?font_width:f ?font_angle:f ?interlaced:b ?font_filename:s ?utf8:b ?bold:b "
      "?italic:b ?noaa:b ?placement:s ?gdi:b",
      Text};
  table["showframenumber"] = {std::string("clip:c ?scroll:b ?offset:i ?x:f ?y:f ") + kShowParams, ShowFrameNumber};
  table["showsmpte"] = {std::string("clip:c ?fps:f ?offset:s ?offset_f:i ?x:f ?y:f ") + kShowParams, ShowSMPTE};
  table["showtime"] = {std::string("clip:c ?offset_f:i ?x:f ?y:f ") + kShowParams, ShowTime};
  // utf8 is read and has no effect: texts are always UTF-8 here.
  table["messageclip"] = {"message:s ?width:i ?height:i ?shrink:b ?text_color:i ?halo_color:i ?bg_color:i ?utf8:b",
                          MessageClip};
  table["version"] = {"?length:i ?width:i ?height:i ?pixel_type:s ?clip:c", Version};
  // bold, italic, noaa, cpu and gdi are read and have no effect; the
  // processor's features are not listed.
  table["info"] = {"clip:c ?font:s ?size:f ?text_color:i ?halo_color:i ?bold:b ?italic:b ?noaa:b ?cpu:b ?x:f ?y:f "
                   "?align:i ?gdi:b",
                   Info};
}

}  // namespace avs
