#include "job/scripts.h"

#include <dirent.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "job/names.h"

namespace job {

namespace {

const char kRec601Or709[] =
    "g = IsRGB(g) ? (g.Height >= 720 && g.Width >= 1280 ? g.ConvertToYV12(matrix=\"Rec709\") : "
    "g.ConvertToYV12(matrix=\"Rec601\") ) : g";

std::string ImageSourceCall(const Sequence& s) {
  return "ImageSource(" + AvsString(s.pattern) + ", " + std::to_string(s.first) + ", " + std::to_string(s.last) +
         ", " + s.fps + ")";
}

std::string Trimmed(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The common head of the three mode scripts: source, sound rate cap, frame rate.
ScriptLines ScriptHead(const std::string& sourceLine, const std::string& fpsArg, int maxAudioRate) {
  const std::string rate = std::to_string(maxAudioRate);
  return {sourceLine,
          "R=(v.AudioRate>" + rate + ")?" + rate + ":v.AudioRate",
          "v = v.ResampleAudio(R)",
          "v = v.AssumeFPS(" + fpsArg + ")",
          "v"};
}

void Append(ScriptLines& lines, std::initializer_list<const char*> more) {
  lines.insert(lines.end(), more.begin(), more.end());
}

}  // namespace

std::string AvsString(const std::string& text) {
  if (text.find('"') == std::string::npos) return "\"" + text + "\"";
  return "\"\"\"" + text + "\"\"\"";
}

long RoundHalfEven(double value) {
  // The default floating-point rounding mode rounds halves to even.
  return std::lrint(value);
}

FrameRate FrameRateFrom(double rate) {
  FrameRate result;
  result.fpsInt = static_cast<uint8_t>(RoundHalfEven(rate));
  const long thousandths = RoundHalfEven(rate * 1000.0);
  char text[32];
  std::snprintf(text, sizeof text, "%ld.%03ld", thousandths / 1000, std::labs(thousandths % 1000));
  result.fpsArg = text;
  static const std::pair<const char*, const char*> kPresets[] = {
      {"23.976", "\"ntsc_round_film\""}, {"24.000", "\"film\""},          {"25.000", "\"pal_film\""},
      {"29.970", "\"ntsc_round_video\""}, {"50.000", "\"pal_double\""}, {"59.940", "\"ntsc_double\""}};
  for (const auto& [number, preset] : kPresets) {
    if (result.fpsArg == number) result.fpsArg = preset;
  }
  return result;
}

ScriptLines WavScript(const std::string& sourcePath) {
  return {"v = WavSource(" + AvsString(sourcePath) + ")", "R=(v.AudioRate>48000)?48000:v.AudioRate",
          "v.ResampleAudio(R)"};
}

ScriptLines ProbeScript(const std::string& sourcePath, const std::string& vpyAviPath, bool vpyAviExists,
                        const Sequence& sequence) {
  const std::string kind = SourceKind(sourcePath);
  std::string sourceLine;
  if (kind == "avs") {
    sourceLine = "v = Import(" + AvsString(sourcePath) + ")";
  } else if (kind == "vpy") {
    sourceLine = "v = AviSource(" + AvsString(vpyAviExists ? vpyAviPath : sourcePath) + ")";
  } else if (kind == "avi") {
    sourceLine = "v = Avisource(" + AvsString(sourcePath) + ")";
  } else if (kind == "png" || kind == "jpg") {
    sourceLine = "v = " + ImageSourceCall(sequence);
  }
  ScriptLines lines;
  if (!sourceLine.empty()) lines.push_back(sourceLine);
  lines.push_back("WriteFileStart(v, \"fps.txt\", \"Framerate(v)\")");
  lines.push_back("WriteFileStart(v, \"audio.txt\", \"HasAudio(v)\")");
  return lines;
}

std::string ModeSourceLine(const std::string& sourcePath, const std::string& hasAudioText,
                           const std::string& vpyAviPath, const Sequence& sequence) {
  const std::string kind = SourceKind(sourcePath);
  const std::string source = AvsString(sourcePath);
  if (kind == "avi") return "v = AviSource(" + source + ")";
  if (kind == "avs") return "v = Import(" + source + ")";
  if (kind == "vpy") {
    if (hasAudioText == "true") {
      return "v = AudioDub(avisource(" + source + "), wavsource(" + AvsString(vpyAviPath) + "))";
    }
    if (hasAudioText == "false") return "v = AviSource(" + source + ")";
    return {};
  }
  if (kind == "png" || kind == "jpg") {
    if (!sequence.wavPath.empty()) {
      return "v = AudioDub(" + ImageSourceCall(sequence) + ", wavsource(" + AvsString(sequence.wavPath) + "))";
    }
    return "v = " + ImageSourceCall(sequence);
  }
  return {};
}

std::string ChosenWidth(const settings::ModeSettings& s) {
  if (s.widths.empty()) return {};
  const long last = static_cast<long>(s.widths.size()) - 1;
  return s.widths[static_cast<std::size_t>(std::clamp<long>(s.widthIndex, 0, last))];
}

ScriptLines PreviewScript(const std::string& sourceLine, const std::string& fpsArg, const settings::ModeSettings& s) {
  ScriptLines lines = ScriptHead(sourceLine, fpsArg, 44100);
  lines.push_back(s.newWidth ? "W=" + ChosenWidth(s) : "W=Width");
  Append(lines, {"W=(W>v.Width)?v.Width:W", "H=W*v.Height/v.Width", "CW=(W%4)", "CH=(H%2)",
                 "g = v.Spline64Resize(W-CW,H-CH)", "g = IsRGB(g) ? g.ConvertToYV12(matrix=\"Rec601\") : g", "g"});
  return lines;
}

ScriptLines StandardScript(const std::string& sourceLine, const std::string& fpsArg, const settings::ModeSettings& s) {
  const std::string width = ChosenWidth(s);
  ScriptLines lines = ScriptHead(sourceLine, fpsArg, 48000);
  // 853 then 852 and 479 then 480 turn a 16:9 source into exactly 848x480.
  if (s.newWidth) {
    lines.push_back(width == "848" ? "W=853" : "W=" + width);
  } else {
    lines.push_back("W=Width");
  }
  Append(lines, {"W=(W>v.Width)?v.Width:W", "H=W*v.Height/v.Width", "W=(W==853)?852:W", "H=(H==479)?480:H",
                 "CW=(W%4)", "CH=(H%2)", "g = v.Spline64Resize(W-CW,H-CH)", kRec601Or709, "g"});
  if (width == "848") lines.push_back("(g.Width>848)?g.Crop(2,0,-2,0):last");
  return lines;
}

ScriptLines DeluxeScript(const std::string& sourceLine, const std::string& fpsArg) {
  ScriptLines lines = ScriptHead(sourceLine, fpsArg, 48000);
  Append(lines, {"W=v.Width", "W=(W>v.Width)?v.Width:W", "H=W*v.Height/v.Width", "W=(W==853)?852:W",
                 "H=(H==479)?480:H", "CW=(W%4)", "CH=(H%2)", "g = v.Spline64Resize(W-CW,H-CH)", kRec601Or709, "g"});
  return lines;
}

EncoderOptions PreviewOptions(const settings::ModeSettings& s) {
  const long total = RoundHalfEven(s.rateLevel / 10.0 * 1024 * 8 / 60);
  const long audio = s.balance * 5 + 35;
  const long video = total - audio - 15;
  return {"--ratetol 100.0 --slow-firstpass --bframes 6 --bitrate " + std::to_string(video),
          "-br " + std::to_string(audio * 1024)};
}

EncoderOptions StandardOptions(const settings::ModeSettings& s) {
  if (s.sdDeluxe) return DeluxeOptions();
  const long total = RoundHalfEven(s.rateLevel * 8192.0 / 60);
  const long audio = s.balance * 20 + 70;
  // Standard keeps no reserve: its video gets the total less the audio.
  const long video = total - audio;
  return {"--ratetol 100.0 --slow-firstpass --bitrate " + std::to_string(video),
          s.deluxeSound ? "-q 0.85" : "-br " + std::to_string(audio * 1024)};
}

EncoderOptions DeluxeOptions() { return {"--no-fast-pskip --crf 17", "-q 0.85"}; }

double ParseRate(const std::string& text) {
  const std::string t = Trimmed(text);
  double value = 0;
  const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || error != std::errc() || end != t.data() + t.size() || !std::isfinite(value)) {
    throw ProbeError("'" + text + "' is not a valid floating point value");
  }
  return value;
}

int ParseFrameNumber(const std::string& text) {
  const std::string t = Trimmed(text);
  int value = 0;
  const char* begin = t.data() + (!t.empty() && t[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, t.data() + t.size(), value);
  if (t.empty() || error != std::errc() || end != t.data() + t.size()) {
    throw ProbeError("'" + text + "' is not a valid integer value");
  }
  return value;
}

std::string FindVpyAviPath(const std::string& scriptText, const std::function<bool(const std::string&)>& exists) {
  // Comment lines are set aside before the search.
  std::string text;
  std::size_t start = 0;
  while (start <= scriptText.size()) {
    std::size_t end = scriptText.find('\n', start);
    if (end == std::string::npos) end = scriptText.size();
    std::string line = scriptText.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] != '#') text += line + "\n";
    start = end + 1;
  }
  const std::string lower = Lower(text);
  // The path starts after the key and its opening quote and ends four
  // characters after the first ".av" (".avi").
  const auto search = [&](const std::string& key) -> std::string {
    const std::size_t p = lower.find(key);
    if (p == std::string::npos) return {};
    const std::size_t from = p + key.size() + 1;
    if (from > text.size()) return {};
    const std::string candidate = text.substr(from, 254);
    const std::size_t av = candidate.find(".av");
    if (av == std::string::npos) return {};
    return candidate.substr(0, av + 4);
  };
  std::string path = search("avisource(path=r");
  if (path.empty() || !exists(path)) path = search("avisource(r");
  return path;
}

int FrameNumberOf(const std::string& name, const std::string& prefix) {
  std::string number = WithoutExtension(name).substr(std::min(prefix.size(), WithoutExtension(name).size()));
  return ParseFrameNumber(number);
}

SequenceScan ScanSequence(const std::string& sourcePath) {
  SequenceScan scan;
  const std::string folder = FolderPart(sourcePath);
  const std::string base = WithoutExtension(FileNamePart(sourcePath));
  std::size_t digitsStart = base.size();
  while (digitsStart > 0 && std::isdigit(static_cast<unsigned char>(base[digitsStart - 1]))) --digitsStart;
  scan.prefix = base.substr(0, digitsStart);
  scan.digits = static_cast<int>(base.size() - digitsStart);
  const std::string ext = sourcePath.size() >= 3 ? sourcePath.substr(sourcePath.size() - 3) : sourcePath;
  // A "%" of the folder or the prefix is text, written "%%" beside the
  // pattern's one number.
  std::string literal;
  for (char c : folder + scan.prefix) literal += c == '%' ? std::string("%%") : std::string(1, c);
  scan.pattern = literal + "%0" + std::to_string(scan.digits) + "d." + ext;

  // Names that begin with the prefix (case kept) and end in "." and the
  // extension (case ignored, as the folder's file mask matches).
  const std::string lowerExt = "." + Lower(ext);
  if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() < scan.prefix.size() + lowerExt.size()) continue;
      if (name.compare(0, scan.prefix.size(), scan.prefix) != 0) continue;
      if (Lower(name.substr(name.size() - lowerExt.size())) != lowerExt) continue;
      scan.names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(scan.names.begin(), scan.names.end());
  return scan;
}

}  // namespace job
