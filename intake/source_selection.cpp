#include "intake/source_selection.h"

#include <sys/stat.h>

#include "job/names.h"

namespace intake {

bool IsAcceptedSource(const std::string& path) {
  const std::string ext = job::LowerExtension(path);
  for (const char* accepted : {".avi", ".avs", ".vpy", ".png", ".jpg", ".wav"}) {
    if (ext == accepted) return true;
  }
  return false;
}

std::string GetNearestDir(const std::string& lastSourceDir, const std::string& programDir,
                          const std::function<bool(const std::string&)>& folderExists) {
  std::string d = lastSourceDir;
  bool restarted = false;
  while (!folderExists(d)) {
    if (d.empty()) {
      // The second time the search comes back to nothing it has passed the
      // root; the program folder is the answer then.
      if (restarted) return programDir;
      restarted = true;
      d = programDir;
    }
    if (d.find('/') == std::string::npos) break;
    // Drop the last part: "/clips/old/" gives "/clips", "/clips" gives "".
    d.erase(d.rfind('/'));
    const std::size_t slash = d.rfind('/');
    d = slash == std::string::npos ? std::string() : d.substr(0, slash);
  }
  return d;
}

std::string GetNearestDir(const std::string& lastSourceDir, const std::string& programDir) {
  return GetNearestDir(lastSourceDir, programDir, [](const std::string& d) {
    struct stat st {};
    return !d.empty() && ::stat(d.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  });
}

}  // namespace intake
