// A temporary program folder whose tools are stand-ins: copies of the test
// tool under the encoders' and muxer's names, and a probe tool that reports
// the frame rate and sound flag it is told.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <string>
#include <vector>

class ToolFolder {
 public:
  ToolFolder();

  std::string programDir() const { return dir_.path().toStdString() + "/"; }
  QString path(const QString& relative) const { return dir_.filePath(relative); }
  QString tempDir() const { return path("tools/temp"); }
  QString logPath() const { return path("tools.log"); }

  // The tools started so far, in order, with their arguments.
  std::vector<QStringList> invocations() const;
  QStringList toolNames() const;

  // Processes still running from the stand-in tools of this folder.
  int runningTools() const;

  // Writes a file of a few bytes.
  QString touch(const QString& relative, const QByteArray& content = "x") const;

 private:
  QTemporaryDir dir_;
};
