#include "job/names.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

namespace job {

std::string SourceKind(const std::string& sourcePath) {
  std::string kind = sourcePath.size() >= 3 ? sourcePath.substr(sourcePath.size() - 3) : sourcePath;
  std::transform(kind.begin(), kind.end(), kind.begin(), [](unsigned char c) { return std::tolower(c); });
  return kind;
}

bool IsWavSource(const std::string& sourcePath) { return SourceKind(sourcePath) == "wav"; }

std::string WithoutExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

std::string LowerExtension(const std::string& path) {
  const std::string name = FileNamePart(path);
  const std::size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string FileNamePart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderPart(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string FreeOutputName(const std::string& base, const std::string& suffix, const std::string& ext) {
  std::string candidate = base + suffix + ext;
  for (unsigned long n = 1; FileExists(candidate); ++n) {
    candidate = base + std::to_string(n) + suffix + ext;
  }
  return candidate;
}

std::string IncName(const std::string& sourcePath, const std::string& suffix) {
  return FreeOutputName(WithoutExtension(sourcePath), suffix, IsWavSource(sourcePath) ? ".m4a" : ".mp4");
}

bool IsOutputNameOf(const std::string& sourcePath, const std::string& suffix, const std::string& path) {
  const std::string base = WithoutExtension(sourcePath);
  const std::string end = suffix + (IsWavSource(sourcePath) ? ".m4a" : ".mp4");
  if (path.size() < base.size() + end.size() || !path.starts_with(base) || !path.ends_with(end)) return false;
  const std::string number = path.substr(base.size(), path.size() - base.size() - end.size());
  return number.empty() ||
         (number[0] != '0' && std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }));
}

std::string SideCarAudioPath(const std::string& sourcePath) { return WithoutExtension(sourcePath) + ".m4a"; }

bool CanCarryToTools(const std::string& path) {
  return path.find_first_of("\r\n") == std::string::npos && path.find("\"\"\"") == std::string::npos;
}

}  // namespace job
