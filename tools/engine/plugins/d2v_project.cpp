#include "tools/engine/plugins/d2v_project.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace avs {

namespace fs = std::filesystem;

namespace {

// The flags value that ends the list of pictures.
constexpr unsigned kEndOfStream = 0xff;
// More files than any DVD or capture holds; a count beyond it is damage.
constexpr int kMaxFiles = 1000;

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

bool ReadLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// An int at the start of `text`, or `fallback`.
int64_t LeadingInt(const std::string& text, int64_t fallback) {
  int64_t value = fallback;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end != text.data() ? value : fallback;
}

// "29970 (30000/1001)": the fraction in brackets.
Rational FrameRate(const std::string& text) {
  const std::size_t open = text.find('('), slash = text.find('/', open);
  if (open == std::string::npos || slash == std::string::npos) throw D2vError("its frame rate is not a fraction");
  const Rational rate{LeadingInt(text.substr(open + 1), 0), LeadingInt(text.substr(slash + 1), 0)};
  if (rate.num <= 0 || rate.den <= 0 || rate.num > INT32_MAX || rate.den > INT32_MAX)
    throw D2vError("its frame rate " + text + " is out of range");
  return rate;
}

}  // namespace

D2vProject ReadD2vProject(std::istream& in, const std::string& folder) {
  std::string line;
  if (!ReadLine(in, line) || !line.starts_with("DGIndexProjectFile")) throw D2vError("its first line is not DGIndexProjectFile");
  if (!ReadLine(in, line)) throw D2vError("the number of its files is missing");
  const int64_t count = LeadingInt(line, -1);
  if (count < 1 || count > kMaxFiles) throw D2vError("it lists " + line + " files");
  D2vProject project;
  for (int64_t i = 0; i < count; ++i) {
    if (!ReadLine(in, line)) throw D2vError("it lists fewer files than it says");
    project.files.push_back(ProjectFile(line, folder));
  }
  // Settings up to a blank line after them...
  bool settings = false;
  while (ReadLine(in, line)) {
    if (line.empty() && settings) break;
    if (line.empty()) continue;
    settings = true;
    if (line.starts_with("Field_Operation=")) project.fieldOperation = static_cast<int>(LeadingInt(line.substr(16), -1));
    else if (line.starts_with("Frame_Rate=")) project.rate = FrameRate(line.substr(11));
  }
  if (project.rate.num <= 0) throw D2vError("it has no frame rate");
  if (project.fieldOperation < D2vProject::kHonourPulldown || project.fieldOperation > D2vProject::kRawFrames)
    throw D2vError("its field operation is not 0, 1 or 2");
  // ...then a line for each group of pictures: info, matrix, file, position,
  // skip, vob and cell, then one hex flags value a picture.
  bool ended = false;
  while (!ended && ReadLine(in, line) && !line.empty() && !line.starts_with("FINISHED")) {
    std::istringstream words(line);
    std::string word;
    for (int i = 0; i < 7; ++i)
      if (!(words >> word)) throw D2vError("a line of its pictures is cut short");
    while (!ended && words >> word) {
      unsigned flags = 0;
      const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), flags, 16);
      if (error != std::errc() || end != word.data() + word.size() || flags > 0xff)
        throw D2vError("the picture flags \"" + word + "\" are not a hex byte");
      ended = flags == kEndOfStream;
      if (!ended) project.pictures.push_back(flags);
    }
  }
  if (project.pictures.empty()) throw D2vError("it lists no pictures");
  return project;
}

D2vProject ProjectOf(const Call& call, const std::string& name) {
  const std::string path = call.Path(name);
  std::error_code ec;
  // Only a file: a FIFO or a device would keep the reading waiting.
  if (!fs::is_regular_file(path, ec)) call.Fail("cannot open the project " + path);
  std::ifstream in(path, std::ios::binary);
  if (!in) call.Fail("cannot open the project " + path);
  try {
    return ReadD2vProject(in, fs::absolute(path, ec).parent_path().string());
  } catch (const D2vError& e) {
    call.Fail(path + " is not a DGIndex project: " + e.what());
  }
}

}  // namespace avs
