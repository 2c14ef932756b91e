// Running the console tools and ffmpeg/ffprobe from the encoder tests.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

struct RunResult {
  int exitCode = -1;
  bool crashed = false;
  QByteArray output;  // standard output and standard error together
};

QString ToolPath(const QString& name);

// Runs a program with the arguments; `input` is fed to its standard input.
// Fails the running test when it does not end within `timeoutMs`.
RunResult Run(const QString& program, const QStringList& args, const QByteArray& input = {}, int timeoutMs = 120000);
RunResult RunTool(const QString& name, const QStringList& args, const QByteArray& input = {});

// Runs ffmpeg quietly and returns whether it succeeded.
bool Ffmpeg(const QStringList& args);

// ffprobe's JSON for the file: {"format": {...}, "streams": [...]}.
QJsonObject Probe(const QString& path);
QJsonObject ProbeStream(const QString& path, int index);
// Number of decoded frames of the first video stream.
int CountFrames(const QString& path);

// MD5 of every decoded frame, in presentation order, with its timestamp
// dropped (a raw stream and an MP4 count time differently).
QStringList FrameHashes(const QString& path, const QString& streamSelector = "0:v:0");

// The warnings ffprobe and ffmpeg print while reading and decoding the file.
QByteArray ReadWarnings(const QString& path);

QByteArray ReadFile(const QString& path);
