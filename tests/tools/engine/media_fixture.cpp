#include "media_fixture.h"

#include "tools/engine/reading.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

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

bool MediaFolder::pixelTypeSet(const QStringList& source) const {
  const std::pair<const char*, const char*> kinds[] = {{"yv12", "yuv420p"}, {"yv24", "yuv444p"},
                                                       {"yuy2", "yuyv422"}, {"rgb24", "bgr24"},
                                                       {"rgb32", "bgra"},   {"y8", "gray"}};
  for (const auto& [name, pixFmt] : kinds) {
    const bool planar = QString(pixFmt).startsWith("yuv4");
    if (!ffmpeg(source + QStringList{"-c:v", planar ? "ffv1" : "rawvideo", "-pix_fmt", pixFmt,
                                     QString(name) + ".avi"}))
      return false;
  }
  return true;
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

double Psnr(const QString& a, const QString& b) {
  QProcess p;
  p.start("ffmpeg", {"-nostdin", "-i", a, "-i", b, "-lavfi", "psnr", "-f", "null", "-"});
  p.waitForFinished(120000);
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return -1;
  QRegularExpressionMatch m = QRegularExpression("average:(inf|[0-9.]+)").match(QString::fromUtf8(p.readAllStandardError()));
  if (!m.hasMatch()) return -1;
  return m.captured(1) == "inf" ? 1000 : m.captured(1).toDouble();
}

QByteArray PictureBytes(const AVFrame& frame) {
  QByteArray bytes;
  const AVPixelFormat format = static_cast<AVPixelFormat>(frame.format);
  const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
  for (int plane = 0; plane < av_pix_fmt_count_planes(format); ++plane) {
    const bool chroma = plane == 1 || plane == 2;
    const int rows = chroma ? AV_CEIL_RSHIFT(frame.height, desc->log2_chroma_h) : frame.height;
    const int width = av_image_get_linesize(format, frame.width, plane);
    for (int y = 0; y < rows; ++y)
      bytes.append(reinterpret_cast<const char*>(frame.data[plane] + static_cast<std::ptrdiff_t>(y) * frame.linesize[plane]), width);
  }
  return bytes;
}

avs::ClipPtr EvaluateClip(const QString& text, const QString& dir) {
  avs::Interpreter interp;
  avs::Value value = interp.RunText(text.toStdString(), "t.avs", dir.toStdString());
  if (!value.isClip()) throw avs::ScriptError("the script gave no clip");
  return value.asClip();
}

avs::FrameRef ScriptFrame(const QString& text, const QString& dir, int64_t n) {
  avs::ClipPtr clip = EvaluateClip(text, dir);
  avs::Reading reading;
  return reading.Frame(*clip, n);
}

QByteArray ScriptPictures(const QString& text, const QString& dir, int64_t* count) {
  avs::ClipPtr clip = EvaluateClip(text, dir);
  avs::Reading reading;
  QByteArray bytes;
  for (int64_t n = 0; n < clip->info().frameCount; ++n) bytes += PictureBytes(*reading.Frame(*clip, n));
  if (count) *count = clip->info().frameCount;
  return bytes;
}

QString EvaluationError(const QString& text, const QString& dir) {
  try {
    EvaluateClip(text, dir);
  } catch (const avs::ScriptError& e) {
    return QString::fromStdString(e.what());
  }
  return "no error";
}
