#include "whole_job.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QThread>

WholeJobFolder::WholeJobFolder(const QString& programName) : root_(dir_.filePath(programName)) {
  ready_ = dir_.isValid() && QDir().mkpath(root_ + "/media") && LiveProgram::CopyProgramInto(root_) &&
           LiveProgram::LinkBuiltToolsInto(root_);
}

bool WholeJobFolder::Ffmpeg(const QStringList& arguments) const {
  QProcess p;
  p.setWorkingDirectory(path("media"));
  p.start("ffmpeg", QStringList{"-nostdin", "-loglevel", "error", "-y"} + arguments);
  return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool WholeJobFolder::Write(const QString& path, const QByteArray& content) const {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool WholeJobFolder::WriteScript(const QString& path, const QByteArray& text) const {
  return Write(path, text) && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QStringList WholeJobFolder::MediaFiles() const {
  return QDir(path("media")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

QByteArray SettingsText(const QString& author, const QString& title, const QString& source, bool preview, bool standard,
                        bool deluxe) {
  const QString flags = QString("Prev=%1\nStd=%2\nDX=%3\n").arg(int(preview)).arg(int(standard)).arg(int(deluxe));
  return QString("[Meta]\nAuthor=%1\nClip=%2\nPath=%3\n[Flags]\n%4").arg(author, title, source, flags).toUtf8();
}

QStringList TinyAvi(const QString& name, int frames, int soundRate) {
  const QString seconds = QString::number(frames / 25.0);
  QStringList args{"-f", "lavfi", "-i", "testsrc2=s=64x48:r=25:d=" + seconds};
  if (soundRate > 0) {
    const QString sound = QString("sine=r=%1:d=%2").arg(soundRate).arg(seconds);
    args += QStringList{"-f", "lavfi", "-i", sound, "-ac", "2", "-c:a", "pcm_s16le"};
  }
  return args + QStringList{"-c:v", "mpeg4", "-q:v", "3", name};
}

UiLanguage EnglishUi() {
  UiLanguage t;
  t.name = "English";
  t.lang = "en_US.UTF-8";
  t.allDone = "All tasks are complete!";
  t.doneTitle = "Done! - KVR 4.0.0";
  t.chooser = "Choose FPS";
  t.openDialog = "Open";
  t.muxer = "mp4 Muxer";
  t.unsupported = "Unsupported format";
  t.nameNotCarried = "The file name holds a line break or three quotes in a row. Rename the file.";
  t.selectMode = "Select a coding mode!";
  t.selectFile = "Select a file to encode!";
  t.modesFailed = "Encoding failed: ";
  t.outputsRefused = "The outputs cannot be written: ";
  return t;
}

UiLanguage RussianUi() {
  UiLanguage t;
  t.name = "Russian";
  t.lang = "ru_RU.UTF-8";
  t.allDone = QString::fromUtf8("Все задания завершены!");
  t.doneTitle = QString::fromUtf8("Готово! - KVR 4.0.0");
  t.chooser = QString::fromUtf8("Выберите FPS");
  t.openDialog = QString::fromUtf8("Открыть");
  t.muxer = QString::fromUtf8("mp4 Муксер");
  t.unsupported = QString::fromUtf8("Неподдерживаемый формат");
  t.nameNotCarried = QString::fromUtf8("Имя файла содержит перевод строки или три кавычки подряд. Переименуйте файл.");
  t.selectMode = QString::fromUtf8("Выберите режим кодирования!");
  t.selectFile = QString::fromUtf8("Выберите файл для обработки!");
  t.modesFailed = QString::fromUtf8("Не удалось закодировать: ");
  t.outputsRefused = QString::fromUtf8("Результат некуда записать: ");
  return t;
}

void SpeakIn(LiveProgram& program, const UiLanguage& language) {
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) program.SetEnvironment(name, "");
  program.SetEnvironment("LANG", language.lang);
}

QList<LoggedBox> LoggedBoxes(const QString& messageLog) {
  QList<LoggedBox> boxes;
  QFile file(messageLog);
  if (!file.open(QIODevice::ReadOnly)) return boxes;
  static const QStringList icons{"NoIcon", "Information", "Warning", "Critical", "Question"};
  for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
    const QStringList fields = line.split('\t');
    if (fields.size() >= 4 && icons.contains(fields[0])) boxes.append({fields[0], fields[1], fields.mid(3).join('\t')});
  }
  return boxes;
}

QList<LoggedBox> WaitForBoxes(const QString& messageLog, int count, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  QList<LoggedBox> boxes = LoggedBoxes(messageLog);
  while (boxes.size() < count && timer.elapsed() < timeoutMs) {
    QThread::msleep(100);
    boxes = LoggedBoxes(messageLog);
  }
  return boxes;
}

QJsonObject Probe(const QString& file) {
  QProcess p;
  p.start("ffprobe", {"-v", "error", "-count_frames", "-show_streams", "-show_format", "-of", "json", file});
  p.waitForFinished(60000);
  return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QJsonObject StreamOf(const QJsonObject& probe, const QString& type) {
  for (const QJsonValue& stream : probe["streams"].toArray())
    if (stream["codec_type"].toString() == type) return stream.toObject();
  return {};
}

QString TagOf(const QJsonObject& probe, const QString& name) { return probe["format"]["tags"][name].toString(); }
