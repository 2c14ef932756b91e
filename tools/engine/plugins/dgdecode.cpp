// DGDecode: MPEG2Source serves the MPEG-2 video that a DGIndex project
// (.d2v) indexes: the project's files one after the other, decoded by
// libavcodec, with its pulldown flags honoured as its field operation asks
// and its field order.
#include "tools/engine/functions/channels.h"
#include "tools/engine/functions/common.h"
#include "tools/engine/media.h"
#include "tools/engine/plugins/plugin_args.h"
#include "tools/engine/plugins/plugins.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>

namespace avs {

namespace {

namespace fs = std::filesystem;

// A picture's flags in the project: its top field comes first, and it
// repeats its first field (soft pulldown).
constexpr unsigned kTopFieldFirst = 0x02;
constexpr unsigned kRepeatFirstField = 0x01;
// The flags value that ends the project's list of pictures.
constexpr unsigned kEndOfStream = 0xff;

struct D2vProject {
  std::vector<std::string> files;
  int fieldOperation = 0;  // 0 honour pulldown flags, 1 forced film, 2 raw frames
  Rational rate;           // Frame_Rate
  std::vector<unsigned> pictures;  // each coded picture's flags, in order
};

// A project's file as named, or beside the project when the named one is
// not there (a project made on another machine names its own folders).
std::string ProjectFile(const std::string& named, const fs::path& folder) {
  std::string path = named;
  std::replace(path.begin(), path.end(), '\\', '/');
  std::error_code ec;
  if (fs::path(path).is_absolute() && fs::exists(path, ec)) return path;
  const fs::path relative = folder / path;
  if (fs::exists(relative, ec)) return relative.string();
  return (folder / fs::path(path).filename()).string();
}

D2vProject ReadProject(const Call& call, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) call.Fail("cannot open the project " + path);
  auto bad = [&call, &path](const std::string& what) { call.Fail(path + " is not a DGIndex project: " + what); };
  std::string line;
  if (!std::getline(in, line) || !line.starts_with("DGIndexProjectFile")) bad("its first line is not DGIndexProjectFile");
  D2vProject project;
  if (!std::getline(in, line)) bad("the number of its files is missing");
  int count = 0;
  try {
    count = std::stoi(line);
  } catch (const std::exception&) {
    bad("the number of its files is missing");
  }
  if (count < 1 || count > 1000) bad("it lists " + std::to_string(count) + " files");
  const fs::path folder = fs::absolute(path).parent_path();
  for (int i = 0; i < count; ++i) {
    if (!std::getline(in, line)) bad("it lists fewer files than it says");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    project.files.push_back(ProjectFile(line, folder));
  }
  // Settings up to a blank line, then a line for each group of pictures.
  bool settings = true, ended = false;
  while (std::getline(in, line) && !ended) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (settings) {
      if (line.empty() && project.rate.num > 0) settings = false;
      else if (line.starts_with("Field_Operation=")) project.fieldOperation = std::atoi(line.c_str() + 16);
      else if (line.starts_with("Frame_Rate=")) {
        // "Frame_Rate=29970 (30000/1001)"
        long long num = 0, den = 0;
        const std::size_t open = line.find('(');
        if (open == std::string::npos || std::sscanf(line.c_str() + open, "(%lld/%lld)", &num, &den) != 2)
          bad("its frame rate is not a fraction");
        project.rate = CheckedRate(call, num, den);
      }
      continue;
    }
    if (line.empty() || line.starts_with("FINISHED")) break;
    std::istringstream words(line);
    std::string word;
    // info matrix file position skip vob cell, then one flags value a picture
    for (int i = 0; i < 7; ++i)
      if (!(words >> word)) bad("a line of its pictures is cut short");
    while (words >> word) {
      unsigned flags = 0;
      if (std::sscanf(word.c_str(), "%x", &flags) != 1 || flags > 0xff) bad("the picture flags \"" + word + "\" are not a hex byte");
      if (flags == kEndOfStream) {
        ended = true;
        break;
      }
      project.pictures.push_back(flags);
    }
  }
  if (project.rate.num <= 0) bad("it has no frame rate");
  if (project.fieldOperation < 0 || project.fieldOperation > 2) bad("its field operation is " + std::to_string(project.fieldOperation));
  if (project.pictures.empty()) bad("it lists no pictures");
  return project;
}

// Frames woven from the fields of coded pictures: output frame n shows the
// top field of picture top[n] and the bottom field of picture bottom[n].
class PulldownClip : public PictureFilter {
 public:
  PulldownClip(const ClipInfo& info, std::string origin, ClipPtr pictures, std::vector<std::pair<int64_t, int64_t>> fields)
      : PictureFilter(info, std::move(origin), {std::move(pictures)}), fields_(std::move(fields)) {}

  FrameRef MakeFrame(int64_t n, const Inputs& in) const override {
    const auto [top, bottom] = fields_[static_cast<std::size_t>(n)];
    const FrameRef a = in.Frame(0, top);
    if (top == bottom) return a;
    const FrameRef b = in.Frame(0, bottom);
    FramePtr out = NewFrame(*a);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(info().pixelFormat);
    for (int plane = 0; plane < 4 && out->data[plane]; ++plane) {
      const int rows = plane == 1 || plane == 2 ? AV_CEIL_RSHIFT(info().height, desc->log2_chroma_h) : info().height;
      const int bytes = av_image_get_linesize(info().pixelFormat, info().width, plane);
      for (int row = 0; row < rows; ++row) {
        const AVFrame& from = row % 2 ? *b : *a;
        std::memcpy(out->data[plane] + row * out->linesize[plane], from.data[plane] + row * from.linesize[plane],
                    static_cast<std::size_t>(bytes));
      }
    }
    return Share(std::move(out));
  }

 private:
  std::vector<std::pair<int64_t, int64_t>> fields_;
};

// The frames that honouring the pictures' pulldown flags gives: each picture
// gives its two fields, its first field again when it repeats it, and the
// fields pair up into frames in the order they come.
std::vector<std::pair<int64_t, int64_t>> PulledDown(const std::vector<unsigned>& pictures) {
  std::vector<std::pair<int64_t, bool>> fields;  // picture, top field
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const bool tff = pictures[i] & kTopFieldFirst;
    const auto picture = static_cast<int64_t>(i);
    fields.push_back({picture, tff});
    fields.push_back({picture, !tff});
    if (pictures[i] & kRepeatFirstField) fields.push_back({picture, tff});
  }
  std::vector<std::pair<int64_t, int64_t>> frames;
  for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
    const auto& [first, firstTop] = fields[i];
    const auto& [second, secondTop] = fields[i + 1];
    frames.push_back(firstTop ? std::pair{first, second} : std::pair{second, first});
  }
  return frames;
}

Value Mpeg2Source(Call& call) {
  const std::string path = call.Path(call.String(0, ""));
  const D2vProject project = ReadProject(call, path);
  std::vector<ClipPtr> parts;
  for (const std::string& file : project.files) {
    MediaRequest request{file, true, false, true, false};
    parts.push_back(OpenMedia(request, call.origin));
  }
  ClipPtr coded = parts.size() == 1 ? parts[0] : SpliceClips(call, parts, false);
  ClipInfo info = coded->info();
  const auto pictures = static_cast<int64_t>(project.pictures.size());
  if (info.frameCount != pictures)
    call.Fail(path + " lists " + std::to_string(pictures) + " pictures where its files hold " +
              std::to_string(info.frameCount));
  info.topFieldFirst = project.pictures.front() & kTopFieldFirst;
  info.fieldBased = false;
  // Forced film takes the coded pictures as film at four fifths of the rate.
  const Rational rate = project.fieldOperation == 1 ? Rational{project.rate.num * 4, project.rate.den * 5} : project.rate;
  const int64_t common = std::gcd(rate.num, rate.den);
  info.fps = CheckedRate(call, rate.num / common, rate.den / common);
  const auto frames = PulledDown(project.pictures);
  const bool repeats = std::any_of(frames.begin(), frames.end(), [](const auto& f) { return f.first != f.second; });
  if (project.fieldOperation != 0 || !repeats) return std::make_shared<Rewired>(info, call.origin, coded, coded);
  info.frameCount = static_cast<int64_t>(frames.size());
  return std::make_shared<PulldownClip>(info, call.origin, coded, frames);
}

}  // namespace

void RegisterDgdecodePlugin(FunctionTable& table) {
  // cpu and cpu2 (deblocking and deringing), idct, iPP, moderate_h,
  // moderate_v, showQ, fastMC, info, upConv, i420 and iCC change nothing
  // here: libavcodec decodes with its own exact IDCT and nothing more.
  table["mpeg2source"] = {"d2v:s ?cpu:i ?idct:i ?ipp:b ?moderate_h:i ?moderate_v:i ?showq:b ?fastmc:b ?cpu2:s ?info:i "
                          "?upconv:i ?i420:b ?icc:b",
                          Mpeg2Source};
  table["dgdecode_mpeg2source"] = table["mpeg2source"];
}

}  // namespace avs
