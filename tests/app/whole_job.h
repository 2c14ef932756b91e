// What the tests that drive whole jobs through the real program share: a
// program folder with the built executable, the real console tools and a
// media folder of clips that ffmpeg makes; the interface's language; the
// boxes the program wrote to its message log; and the outputs as ffprobe
// sees them.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "live_program.h"

class WholeJobFolder {
 public:
  // `programName` is the program folder's own name inside a temporary folder.
  explicit WholeJobFolder(const QString& programName = "program");

  bool ready() const { return ready_; }
  QString programDir() const { return root_; }
  QString path(const QString& relative) const { return root_ + "/" + relative; }
  QString media(const QString& name) const { return path("media/" + name); }
  QString settingsFile() const { return path("kelvarion.ini"); }
  QString messageLog() const { return path("messages.log"); }

  // Runs ffmpeg in the media folder.
  bool Ffmpeg(const QStringList& arguments) const;
  bool Write(const QString& path, const QByteArray& content) const;
  // The names in the media folder, sorted.
  QStringList MediaFiles() const;
  // An executable shell script.
  bool WriteScript(const QString& path, const QByteArray& text) const;

 private:
  QTemporaryDir dir_;
  QString root_;
  bool ready_ = false;
};

// A settings file naming the tags, the remembered source and the ticked modes.
QByteArray SettingsText(const QString& author, const QString& title, const QString& source, bool preview, bool standard,
                        bool deluxe);

// ffmpeg's arguments for a tiny clip: `frames` frames of 64x48 at 25 frames
// a second, with stereo sound of the same length when `soundRate` is not 0.
QStringList TinyAvi(const QString& name, int frames, int soundRate);

struct UiLanguage {
  QString name, lang;
  QString allDone, doneTitle, chooser, openDialog, muxer, unsupported, nameNotCarried, selectMode, selectFile,
      modesFailed, outputsRefused;
};
UiLanguage EnglishUi();
UiLanguage RussianUi();
// Starts the program in `language`, with no locale of the test's own.
void SpeakIn(LiveProgram& program, const UiLanguage& language);

// A box as the program logs it instead of showing it: icon, title, text.
struct LoggedBox {
  QString icon, title, text;
  bool operator==(const LoggedBox&) const = default;
};
// The boxes in the log, without the details lines that follow a failure's box.
QList<LoggedBox> LoggedBoxes(const QString& messageLog);
// Waits until the log holds at least `count` boxes.
QList<LoggedBox> WaitForBoxes(const QString& messageLog, int count, int timeoutMs);

// ffprobe's view of a file, frames counted.
QJsonObject Probe(const QString& file);
QJsonObject StreamOf(const QJsonObject& probe, const QString& type);
QString TagOf(const QJsonObject& probe, const QString& name);
