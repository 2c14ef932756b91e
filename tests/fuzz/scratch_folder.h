// A folder of the fuzz run's own under $TMPDIR (else /tmp), removed when the
// run ends normally; run.sh points TMPDIR into its own folder, so that a run
// ended by a finding leaves nothing behind either.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

struct ScratchFolder {
  std::filesystem::path path;

  explicit ScratchFolder(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelvarion-" + name + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) std::abort();
    path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
};
