#include "media_fixture.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <vector>

MediaFolder::MediaFolder() { dir_.setAutoRemove(true); }

bool MediaFolder::ffmpeg(const QStringList& args) const {
  QProcess p;
  p.setWorkingDirectory(dir_.path());
  p.start("ffmpeg", QStringList{"-nostdin", "-loglevel", "error", "-y"} + args);
  p.waitForFinished(120000);
  if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return true;
  qWarning("ffmpeg %s: %s", qPrintable(args.join(' ')), p.readAllStandardError().constData());
  return false;
}

QString MediaFolder::script(const QString& name, const QString& text) const {
  write(name, text.toUtf8());
  return path(name);
}

void MediaFolder::write(const QString& name, const QByteArray& bytes) const {
  QFile f(path(name));
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

QByteArray MediaFolder::read(const QString& name) const {
  QFile f(path(name));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ToolRun RunTool(const QStringList& args, const QString& workDir) {
  QProcess p;
  if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
  p.start(AVS2PIPEMOD_PATH, args);
  p.waitForFinished(120000);
  ToolRun run;
  run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  run.out = p.readAllStandardOutput();
  run.err = p.readAllStandardError();
  return run;
}

ReadBack ReadWholeClip(avs::ClipReader& reader) {
  ReadBack back;
  const avs::ClipInfo& info = reader.info();
  while (const AVFrame* frame = reader.NextFrame()) {
    if (frame->width != info.width || frame->height != info.height || frame->format != info.pixelFormat)
      back.problem = QString("frame %1 is %2x%3 format %4").arg(back.frames).arg(frame->width).arg(frame->height).arg(frame->format);
    ++back.frames;
  }
  std::vector<int16_t> buffer(4096 * static_cast<std::size_t>(std::max(info.channels, 1)));
  while (std::size_t n = reader.ReadAudioS16(buffer.data(), 4096)) back.samples += static_cast<int64_t>(n);
  return back;
}

QString Probe(const QString& file, const QString& entry) {
  QProcess p;
  p.start("ffprobe", {"-v", "error", "-show_entries", "stream=" + entry, "-of", "default=nw=1:nk=1", file});
  p.waitForFinished(60000);
  return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}
