// Shared by the engine's tests: a temporary folder to generate media into
// with ffmpeg, scripts written there, and runs of avs2pipemod.
#pragma once

#include "tools/engine/script.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

struct ToolRun {
  int exitCode = -1;
  QByteArray out;
  QByteArray err;
};

class MediaFolder {
 public:
  MediaFolder();
  QString path(const QString& name) const { return dir_.filePath(name); }
  QString dir() const { return dir_.path() + "/"; }
  // Runs ffmpeg quietly with `args`, file names relative to the folder;
  // false (with ffmpeg's message printed) when it fails.
  bool ffmpeg(const QStringList& args) const;
  // The same frames in each of the engine's 8-bit pixel types: yv12.avi and
  // yv24.avi (FFV1), yuy2.avi, rgb24.avi, rgb32.avi and y8.avi (raw), from
  // ffmpeg's input arguments `source`.
  bool pixelTypeSet(const QStringList& source) const;
  // Writes a script file and gives its full path.
  QString script(const QString& name, const QString& text) const;
  void write(const QString& name, const QByteArray& bytes) const;
  QByteArray read(const QString& name) const;

 private:
  QTemporaryDir dir_;
};

ToolRun RunTool(const QStringList& args, const QString& workDir = {});
// Reads every frame and sample of a script; gives the counts read and
// fails the test (through the returned message) on any mismatch with info().
struct ReadBack {
  int64_t frames = 0;
  int64_t samples = 0;
  QString problem;
};
ReadBack ReadWholeClip(avs::ClipReader& reader);
// The clip a script's text evaluates to, as the file "t.avs" in `dir`.
// Throws avs::ScriptError, also when the value is no clip.
avs::ClipPtr EvaluateClip(const QString& text, const QString& dir);
// Frame n of the clip a script's text evaluates to (as EvaluateClip).
avs::FrameRef ScriptFrame(const QString& text, const QString& dir, int64_t n = 0);
// Every picture of that clip, one after another (PictureBytes of each);
// its frame count in `count` when given.
QByteArray ScriptPictures(const QString& text, const QString& dir, int64_t* count = nullptr);
// The message of the error evaluating the script gives, or "no error".
QString EvaluationError(const QString& text, const QString& dir);
// ffprobe's value of one stream entry (e.g. "sample_rate") of a file.
QString Probe(const QString& file, const QString& entry);
// The average PSNR of ffmpeg's psnr filter between two videos; -1 when
// ffmpeg fails (and 1000 for identical pictures).
double Psnr(const QString& a, const QString& b);
// The bytes of a frame's visible pixels, plane after plane.
QByteArray PictureBytes(const AVFrame& frame);
