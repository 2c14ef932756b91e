// Test helpers around real child processes: where the stand-in tool is,
// copies of it under tool names, and what /proc says about a process.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <dirent.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace test_support {

inline QString FakeToolPath() {
  const QByteArray dir = qgetenv("KELVARION_TEST_DIR");
  const QString base = dir.isEmpty() ? QCoreApplication::applicationDirPath() : QString::fromLocal8Bit(dir);
  return base + "/fake_tool";
}

// A copy of the stand-in tool named `name` in `dir` (a copy rather than a
// link, so that the executable's own file name is `name`).
inline std::string InstallFakeTool(const QTemporaryDir& dir, const QString& name) {
  const QString path = dir.filePath(name);
  QFile::remove(path);
  if (!QFile::copy(FakeToolPath(), path)) qFatal("cannot copy %s", qPrintable(FakeToolPath()));
  QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  return path.toStdString();
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct ProcStat {
  char state = '?';
  pid_t ppid = 0;
  pid_t pgrp = 0;
  pid_t session = 0;
  int ttyNr = 0;
  int nice = 0;
};

inline std::optional<ProcStat> ReadProcStat(pid_t pid) {
  const std::string text = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 2));
  ProcStat stat;
  std::string skip;
  fields >> stat.state >> stat.ppid >> stat.pgrp >> stat.session >> stat.ttyNr;
  for (int i = 0; i < 11; ++i) fields >> skip;  // tpgid .. priority
  fields >> stat.nice;
  if (!fields) return std::nullopt;
  return stat;
}

inline std::string ReadComm(pid_t pid) {
  std::string name = ReadFile("/proc/" + std::to_string(pid) + "/comm");
  if (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

inline std::vector<pid_t> AllPids() {
  std::vector<pid_t> pids;
  if (DIR* proc = ::opendir("/proc")) {
    while (const dirent* entry = ::readdir(proc)) {
      const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
      if (pid > 0) pids.push_back(pid);
    }
    ::closedir(proc);
  }
  return pids;
}

// Living (not zombie) processes that run the executable file `path`: a
// test's own copy of a tool, so that the same tool run by another copy of
// the suite beside it is never counted.
inline std::vector<pid_t> LivingProcessesRunning(const std::string& path) {
  std::vector<pid_t> found;
  std::error_code error;
  const std::filesystem::path wanted = std::filesystem::canonical(path, error);
  if (error) return found;
  for (pid_t pid : AllPids()) {
    const auto stat = ReadProcStat(pid);
    if (!stat || stat->state == 'Z') continue;
    const auto running = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error);
    if (!error && running == wanted) found.push_back(pid);
  }
  return found;
}

// Children of this process, zombies included: after every test none may
// remain.
inline std::vector<pid_t> ChildrenOfThisProcess() {
  std::vector<pid_t> found;
  for (pid_t pid : AllPids()) {
    const auto stat = ReadProcStat(pid);
    if (stat && stat->ppid == ::getpid()) found.push_back(pid);
  }
  return found;
}

inline bool IsGoneOrZombie(pid_t pid) {
  const auto stat = ReadProcStat(pid);
  return !stat || stat->state == 'Z' || stat->state == 'X';
}

}  // namespace test_support
