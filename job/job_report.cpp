#include "job/job_report.h"

#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "desktop/ui_texts.h"
#include "job/names.h"
#include "platform/cmdline.h"
#include "platform/user_folders.h"

namespace job {

namespace {

// Why a program could not be started: its path and what the system says of it.
QString NotStartedReason(const std::string& command) {
  const std::vector<std::string> words = platform::SplitCommandLine(command);
  if (words.empty() || ::access(words.front().c_str(), X_OK) == 0) return {};
  return QString::fromStdString(words.front()) + ": " + QString::fromLocal8Bit(std::strerror(errno));
}

}  // namespace

QString ToolErrorLine(const desktop::UiTexts& texts, const proc::ToolOutcome& outcome) {
  using Kind = proc::ToolOutcome::Kind;
  if (outcome.kind == Kind::NotStarted) {
    const QString reason = NotStartedReason(outcome.command);
    return reason.isEmpty() ? texts.detailsNotStarted : reason;
  }
  for (auto line = outcome.lastLines.rbegin(); line != outcome.lastLines.rend(); ++line) {
    const QString text = QString::fromStdString(*line).trimmed();
    if (text.contains("error", Qt::CaseInsensitive) || text.contains("ошибка", Qt::CaseInsensitive)) return text;
  }
  if (!outcome.lastLines.empty()) return QString::fromStdString(outcome.lastLines.back()).trimmed();
  if (outcome.kind == Kind::Ended && outcome.status.exited) return texts.detailsExitCode + QString::number(outcome.status.code);
  if (outcome.kind == Kind::Ended) return texts.detailsSignal + QString::number(outcome.status.signal);
  return {};
}

QString DescribeOutcome(const desktop::UiTexts& texts, const proc::ToolOutcome& outcome,
                        const std::string& missingOutput) {
  QStringList lines;
  if (!outcome.command.empty()) lines << texts.detailsCommand + QString::fromStdString(outcome.command);
  using Kind = proc::ToolOutcome::Kind;
  if (outcome.kind == Kind::NotStarted) {
    lines << texts.detailsNotStarted;
    if (const QString reason = NotStartedReason(outcome.command); !reason.isEmpty()) lines << "  " + reason;
  } else if (outcome.kind == Kind::Ended && outcome.status.exited) {
    lines << texts.detailsExitCode + QString::number(outcome.status.code);
  } else if (outcome.kind == Kind::Ended) {
    lines << texts.detailsSignal + QString::number(outcome.status.signal);
  }
  if (!missingOutput.empty()) lines << texts.detailsNoOutputFile + QString::fromStdString(missingOutput);
  if (outcome.kind != Kind::NotRun && outcome.kind != Kind::NotStarted) {
    lines << texts.detailsLastLines;
    if (outcome.lastLines.empty()) lines << "  " + texts.detailsNoLines;
    for (const std::string& line : outcome.lastLines) lines << "  " + QString::fromStdString(line);
  }
  return lines.join('\n');
}

QString DescribeFailure(const desktop::UiTexts& texts, const QString& modeName, const QString& stage,
                        const proc::ToolOutcome& outcome, const std::string& missingOutput) {
  const QString rest = DescribeOutcome(texts, outcome, missingOutput);
  return QStringList{modeName, texts.detailsStage + stage}.join('\n') + (rest.isEmpty() ? "" : "\n" + rest);
}

void JobLog::Append(const QString& job, const QString& text) {
  const QString path = QString::fromStdString(path_);
  platform::MakePrivateFolder(FolderPart(path_));
  if (QFileInfo(path).size() >= kRotateAt) {
    QFile::remove(path + ".1");
    QFile::rename(path, path + ".1");
  }
  QFile file(path);
  if (!file.open(QIODevice::Append | QIODevice::Text)) return;
  const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss ") + "[" + job + "] ";
  QString entry;
  for (const QString& line : text.split('\n')) entry += stamp + line + "\n";
  file.write(entry.toUtf8());
}

QString JobReport::Seconds(const QElapsedTimer& timer) const {
  return QString::number(timer.isValid() ? timer.elapsed() / 1000 : 0) + texts_.logSeconds;
}

QString JobReport::JobName(const std::string& sourcePath) {
  return QString::number(::getpid()) + " " + QString::fromStdString(FileNamePart(sourcePath));
}

void JobReport::JobInterrupted(const desktop::UiTexts& texts, const std::string& logPath, const QString& jobName) {
  JobLog(logPath).Append(jobName, texts.logJobInterrupted);
}

void JobReport::JobStarted(const std::string& sourcePath, const QStringList& modeNames) {
  job_ = JobName(sourcePath);
  details_.clear();
  mode_ = 0;
  jobClock_.start();
  log_.Append(job_, texts_.logJob + QString::fromStdString(sourcePath) + "\n" + texts_.logModes + modeNames.join(", "));
}

void JobReport::StageStarted(int mode) {
  if (mode == mode_) return;
  mode_ = mode;
  modeClock_.start();
}

void JobReport::ModeDone(const QString& modeName, const std::string& outputPath) {
  log_.Append(job_, modeName + ": " + texts_.logDoneIn + Seconds(modeClock_) + ": " + QString::fromStdString(outputPath));
}

void JobReport::ModeFailed(const QString& modeName, const QString& details) {
  if (!details_.isEmpty()) details_ += "\n\n";
  details_ += details;
  log_.Append(job_, modeName + ": " + texts_.logFailedAfter + Seconds(modeClock_) + "\n" + details);
}

void JobReport::JobEnded() { log_.Append(job_, texts_.logJobDone + Seconds(jobClock_)); }

void JobReport::JobNotStarted(const QString& reason) {
  log_.Append(job_, texts_.logJobNotStarted + reason);
}

void JobReport::JobStopped() { log_.Append(job_, texts_.logJobStopped + Seconds(jobClock_)); }

void JobReport::JobHalted() { log_.Append(job_, texts_.logJobHalted + Seconds(jobClock_)); }

}  // namespace job
