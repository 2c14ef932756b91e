// The job runner without a window: `kelvarion --job SOURCE...` runs every
// source through the same job driver a window job uses, prints one line per
// progress update and tells by its exit code whether everything was made.
// Several runners may run at once: each keeps its intermediate files in a
// private folder of its own, takes no single-instance lock, never writes the
// settings file and claims its output names atomically.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>

#include "job/tool_paths.h"

namespace app {

struct RunnerOptions {
  QStringList sources;
  bool modes[4] = {false, true, false, false};  // by EncodeMode; Preview when none is named
  QString author;
  QString title;
  // An image sequence's frame rate (the chooser's text), range and sound.
  QString fps;
  std::optional<int> first;
  std::optional<int> last;
  QString wavPath;
  QString settingsFile;  // empty: the program's own
};

// The arguments after "--job"; nullopt with the reason in *error for a
// usage fault.
std::optional<RunnerOptions> ParseRunnerArguments(const QStringList& arguments, QString* error);

QString RunnerUsage();

// Exit codes of the runner.
constexpr int kRunnerAllDone = 0;
constexpr int kRunnerSomeFailed = 1;
constexpr int kRunnerUsage = 2;

// Runs every source in turn; needs a QApplication (any platform, offscreen
// included). Progress goes to standard output, failures to standard error.
int RunJobs(const RunnerOptions& options, job::ToolPaths paths, bool system64Bit);

// The whole command: parses, prints the usage on a fault, runs.
int RunJobCommand(const QStringList& arguments, const job::ToolPaths& paths, bool system64Bit);

}  // namespace app
