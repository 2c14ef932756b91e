#include "tests/tools/encoders/tool_runner.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTest>

QString ToolPath(const QString& name) { return QStringLiteral(KELVARION_TOOLS_DIR "/") + name; }

RunResult Run(const QString& program, const QStringList& args, const QByteArray& input, int timeoutMs) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, args);
  RunResult result;
  if (!process.waitForStarted()) {
    qWarning("cannot start %s", qPrintable(program));
    return result;
  }
  if (!input.isEmpty()) process.write(input);
  process.closeWriteChannel();
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    qWarning("%s did not end in time", qPrintable(program));
    result.crashed = true;
  } else {
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
  }
  result.output = process.readAll();
  return result;
}

RunResult RunTool(const QString& name, const QStringList& args, const QByteArray& input) {
  return Run(ToolPath(name), args, input);
}

bool Ffmpeg(const QStringList& args) {
  const RunResult result = Run("ffmpeg", QStringList{"-v", "error", "-y", "-nostdin"} + args);
  if (result.exitCode != 0) qWarning("ffmpeg failed: %s", result.output.constData());
  return result.exitCode == 0;
}

QJsonObject Probe(const QString& path) {
  QProcess process;
  process.start("ffprobe", {"-v", "error", "-print_format", "json", "-show_format", "-show_streams", path});
  process.waitForFinished(60000);
  return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

QJsonObject ProbeStream(const QString& path, int index) {
  return Probe(path)["streams"].toArray().at(index).toObject();
}

int CountFrames(const QString& path) {
  QProcess process;
  process.start("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                            "stream=nb_read_frames", "-of", "csv=p=0", path});
  process.waitForFinished(60000);
  return process.readAllStandardOutput().trimmed().toInt();
}

QStringList FrameHashes(const QString& path, const QString& streamSelector) {
  QProcess process;
  process.start("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-map", streamSelector, "-f", "framemd5", "-"});
  process.waitForFinished(120000);
  QStringList hashes;
  for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
    if (line.isEmpty() || line.startsWith('#')) continue;
    hashes << QString::fromLatin1(line.split(',').last().trimmed());
  }
  return hashes;
}

QByteArray ReadWarnings(const QString& path) {
  QByteArray warnings;
  QProcess probe;
  probe.start("ffprobe", {"-v", "warning", "-show_packets", "-show_frames", path});
  probe.waitForFinished(60000);
  warnings += probe.readAllStandardError();
  QProcess decode;
  decode.start("ffmpeg", {"-v", "warning", "-nostdin", "-i", path, "-f", "null", "-"});
  decode.waitForFinished(120000);
  warnings += decode.readAllStandardError();
  return warnings;
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
