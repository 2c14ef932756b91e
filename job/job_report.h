// Why a mode failed and what a job did: the details of the end-of-run box
// and the job log kept in the user's state folder.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <string>

#include "proc/tool_threads.h"

namespace desktop {
struct UiTexts;
}

namespace job {

// How a tool run ended, as lines for a box's details: its command line,
// why it could not start or how it ended, the output file that is missing
// (when one is), and the last lines it printed.
QString DescribeOutcome(const desktop::UiTexts& texts, const proc::ToolOutcome& outcome,
                        const std::string& missingOutput = {});

// The one line that says why a tool failed, in its own words where it
// gave any: the last line of its output that speaks of an error, else its
// last line, else how it ended.
QString ToolErrorLine(const desktop::UiTexts& texts, const proc::ToolOutcome& outcome);

// One failed mode's block: its name, the stage as its status line showed
// it, the tool's command line, how the tool ended, the output file that is
// missing (when one is), and the last lines the tool printed.
QString DescribeFailure(const desktop::UiTexts& texts, const QString& modeName, const QString& stage,
                        const proc::ToolOutcome& outcome, const std::string& missingOutput);

// A log of plain text lines, each stamped with the local date and time and
// the job it belongs to, so that the lines of programs writing at once can
// be told apart. A log that has reached kRotateAt bytes moves to path + ".1" (replacing an
// older one) before the next lines are written; its folder is made private
// to the user when missing. Write failures are ignored: the log never stops
// a job.
class JobLog {
 public:
  static constexpr qint64 kRotateAt = 1024 * 1024;

  explicit JobLog(std::string path) : path_(std::move(path)) {}
  // Each line of `text` as a line of the job named `job`.
  void Append(const QString& job, const QString& text);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Follows one job after another: its start, each mode's start, end and
// failure, and its end, into the log; keeps the failures of the running job
// for the end-of-run box.
class JobReport {
 public:
  JobReport(const desktop::UiTexts& texts, std::string logPath) : texts_(texts), log_(std::move(logPath)) {}

  // A job's name in the log: this program's process and the source's file
  // name, "4242 clip.avi".
  static QString JobName(const std::string& sourcePath);
  // Closes the entry of a job whose program died under it.
  static void JobInterrupted(const desktop::UiTexts& texts, const std::string& logPath, const QString& jobName);

  void JobStarted(const std::string& sourcePath, const QStringList& modeNames);
  const QString& jobName() const { return job_; }
  // Each stage of a mode; the first stage of a mode starts its clock.
  void StageStarted(int mode);
  void ModeDone(const QString& modeName, const std::string& outputPath);
  void ModeFailed(const QString& modeName, const QString& details);
  void JobEnded();
  void JobHalted();
  // A job that ended before any mode began (its probe failed, or no name
  // could be claimed), with why.
  void JobNotStarted(const QString& reason);
  void JobStopped();

  // The blocks of the failed modes of the running or last job.
  const QString& details() const { return details_; }

 private:
  QString Seconds(const QElapsedTimer& timer) const;

  const desktop::UiTexts& texts_;
  JobLog log_;
  QString job_;
  QString details_;
  int mode_ = 0;
  QElapsedTimer jobClock_;
  QElapsedTimer modeClock_;
};

}  // namespace job
