// Jobs side by side, as they run for real: windows, job runners and second
// instances of one user on the same folders, with the real tools on clips
// that ffmpeg makes. Each job must own exactly its files and its processes:
// every job gets complete outputs of its own, none ends or overwrites
// another's, a program that dies or is stopped leaves no tool running and
// nothing written after it, and a folder that takes no file or is a link is
// refused before any encoder starts.
#include <QProcess>
#include <QRegularExpression>
#include <QUuid>
#include <QtTest>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "live_program.h"
#include "whole_job.h"
#include "window_close.h"

namespace {

const char kMarker[] = "KELVARION_SIDE_BY_SIDE";
const int kJobTimeoutMs = 180000;

// ffmpeg's arguments for a clip whose encode lasts a few seconds, so that
// something can happen while it runs.
QStringList LongerAvi(const QString& name, int seconds) {
  const QString length = QString::number(seconds);
  return {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=" + length, "-f", "lavfi", "-i",
          "sine=r=44100:d=" + length, "-ac", "2", "-c:a", "pcm_s16le", "-c:v", "mpeg4", "-q:v", "3", name};
}

QStringList Wav(const QString& name, int seconds) {
  return {"-f", "lavfi", "-i", QString("sine=r=44100:d=%1").arg(seconds), "-ac", "2", "-c:a", "pcm_s16le", name};
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The media folder's files with their sizes.
QMap<QString, qint64> Sizes(const WholeJobFolder& folder) {
  QMap<QString, qint64> sizes;
  for (const QString& name : folder.MediaFiles()) sizes[name] = QFileInfo(folder.media(name)).size();
  return sizes;
}

struct RunnerEnd {
  int exitCode = -1;  // -1 when it did not end by itself
  QStringList out;
  QString err;
};

}  // namespace

class SideBySideTest : public QObject {
  Q_OBJECT

  VirtualDisplay display_;
  QTemporaryDir tmp_;    // the runners' TMPDIR, where their private folders go
  QTemporaryDir state_;  // the user's state folder, where every program logs

  QString Log() const { return QString::fromUtf8(ReadAll(state_.filePath("kelvarion/kelvarion.log"))); }
  QStringList RunnerFolders() const { return QDir(tmp_.path()).entryList({"*kelvarion-job-*"}, QDir::Dirs | QDir::Hidden); }

  // A runner of the folder's program, marked so that its tools can be found.
  QProcess* StartRunner(const WholeJobFolder& folder, const QStringList& arguments, const QByteArray& marker = {}) {
    auto* runner = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"}) env.remove(name);
    env.insert("TMPDIR", tmp_.path());
    env.insert("XDG_STATE_HOME", state_.path());
    if (!marker.isEmpty()) env.insert(kMarker, marker);
    runner->setProcessEnvironment(env);
    runner->start(folder.path("kelvarion"), QStringList{"--job"} + arguments);
    return runner;
  }
  static RunnerEnd Finish(QProcess* runner) {
    RunnerEnd end;
    if (runner->state() != QProcess::NotRunning && !runner->waitForFinished(kJobTimeoutMs)) return end;
    end.exitCode = runner->exitStatus() == QProcess::NormalExit ? runner->exitCode() : -1;
    end.out = QString::fromUtf8(runner->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    end.err = QString::fromUtf8(runner->readAllStandardError());
    return end;
  }
  // Waits until the runner reports a line that holds `text`, keeping what
  // it read for the end.
  static bool WaitForLine(QProcess* runner, const QString& text, QByteArray& seen) {
    QElapsedTimer timer;
    timer.start();
    while (!seen.contains(text.toUtf8()) && timer.elapsed() < kJobTimeoutMs) {
      runner->waitForReadyRead(100);
      seen += runner->readAllStandardOutput();
    }
    return seen.contains(text.toUtf8());
  }

  // A window of the folder's program started with `arguments`, once it
  // shows (null when it does not), its id in `main`. Its boxes go to
  // `messages` (or show when that is empty); it logs where every program does.
  std::unique_ptr<LiveProgram> OpenWindow(const WholeJobFolder& folder, const QByteArray& marker,
                                          const QString& messages, const QStringList& arguments, QString* main) {
    auto program = std::make_unique<LiveProgram>(display_, folder.programDir());
    SpeakIn(*program, EnglishUi());
    program->SetEnvironment("XDG_STATE_HOME", state_.path());
    program->SetEnvironment("TMPDIR", tmp_.path());
    program->SetEnvironment(kMarker, marker);
    if (!messages.isEmpty()) program->SetEnvironment("KELVARION_MESSAGE_LOG", messages);
    if (!program->Start(arguments)) return nullptr;
    *main = program->WaitForWindow("Kelvarion 4.0");
    return main->isEmpty() ? nullptr : std::move(program);
  }

  // The marked tool whose executable's name is `name`, once one runs.
  static bool WaitForTool(const QByteArray& marker, const QString& name) {
    return QTest::qWaitFor(
        [&] {
          for (const MarkedProcess& p : MarkedProcesses(kMarker, marker)) {
            if (QFileInfo(p.exe).fileName() == name) return true;
          }
          return false;
        },
        kJobTimeoutMs);
  }

  static void CheckClip(const QString& file, int frames) {
    const QJsonObject probe = Probe(file);
    QCOMPARE(StreamOf(probe, "video")["nb_read_frames"].toString().toInt(), frames);
    QCOMPARE(StreamOf(probe, "audio")["codec_name"].toString(), QString("aac"));
  }
  static void CheckSound(const QString& file, double seconds) {
    const QJsonObject audio = StreamOf(Probe(file), "audio");
    QCOMPARE(audio["codec_name"].toString(), QString("aac"));
    QVERIFY2(qAbs(audio["duration"].toString().toDouble() - seconds) < 0.1, qPrintable(file));
  }

 private slots:
  void initTestCase() { QVERIFY(display_.Start()); }

  // A window job and a runner on one clip, and four runners on one WAV,
  // all at once: each job makes complete outputs under names of its own.
  void jobsOnOneSourceEachMakeTheirOwn() {
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(TinyAvi("clip.avi", 25, 44100)));
    QVERIFY(folder.Ffmpeg(Wav("song.wav", 2)));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("", "", "", true, false, false)));
    const QString messages = folder.path("messages.log");
    QString main;
    auto window = OpenWindow(folder, "window", messages, {folder.media("clip.avi")}, &main);
    QVERIFY(window);

    QList<QProcess*> runners{StartRunner(folder, {folder.media("clip.avi")})};
    QVERIFY(window->Key(main, "Return"));
    for (int i = 0; i < 4; ++i) runners << StartRunner(folder, {folder.media("song.wav"), "--modes", "preview,standard"});
    for (QProcess* runner : runners) {
      const RunnerEnd end = Finish(runner);
      QVERIFY2(end.exitCode == 0, qPrintable(end.err));
    }
    const QList<LoggedBox> boxes = WaitForBoxes(messages, 1, kJobTimeoutMs);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, EnglishUi().allDone);

    QCOMPARE(folder.MediaFiles(),
             (QStringList{"clip.avi", "clip1_preview.mp4", "clip_preview.mp4", "song.wav", "song1_preview.m4a",
                          "song1_standard.m4a", "song2_preview.m4a", "song2_standard.m4a", "song3_preview.m4a",
                          "song3_standard.m4a", "song_preview.m4a", "song_standard.m4a"}));
    for (const char* clip : {"clip_preview.mp4", "clip1_preview.mp4"}) CheckClip(folder.media(clip), 25);
    for (const QString& song : folder.MediaFiles().filter(".m4a")) CheckSound(folder.media(song), 2.0);
    QVERIFY(RunnerFolders().isEmpty());
  }

  // Closing an idle window and a working one ends only their own tools: a
  // runner started from the same program folder encodes to its end.
  void closingWindowsLeavesARunnerEncoding() {
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(LongerAvi("long.avi", 6)));
    QVERIFY(folder.Ffmpeg(LongerAvi("other.avi", 6)));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("", "", "", true, false, false)));
    QProcess* runner = StartRunner(folder, {folder.media("long.avi")});
    QByteArray seen;
    QVERIFY(WaitForLine(runner, "long.avi preview pass 1/2", seen));

    {
      QString main;
      auto idle = OpenWindow(folder, "idle", {}, {}, &main);
      QVERIFY(idle);
      QVERIFY(SendDeleteWindow(display_.name(), main));
      QVERIFY(idle->WaitForExit(20000));
    }
    {
      QString main;
      auto working = OpenWindow(folder, "working", {}, {folder.media("other.avi")}, &main);
      QVERIFY(working);
      QVERIFY(working->Key(main, "Return"));
      QVERIFY(WaitForTool("working", "x264_64"));
      QVERIFY(SendDeleteWindow(display_.name(), main));
      const QString question = working->WaitForWindow("Warning", 20000);
      QVERIFY(!question.isEmpty());
      QVERIFY(working->Key(question, "alt+y"));
      QVERIFY(working->WaitForExit(20000));
    }
    const RunnerEnd end = Finish(runner);
    QVERIFY2(end.exitCode == 0, qPrintable(end.err));
    CheckClip(folder.media("long_preview.mp4"), 150);
    // The halted window's job took its claim with it.
    QVERIFY(!QFileInfo::exists(folder.media("other_preview.mp4")));
  }

  // A window killed in the middle of a stage takes its tools with it at
  // once, and nothing is written beside the source after its death; the
  // next program clears the name it had claimed and logs the cut-short job.
  void aKilledWindowLeavesNoToolAndNoLateFile_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("tool");
    QTest::newRow("video") << "long.avi" << "x264_64";
    QTest::newRow("sound") << "song.wav" << "neroAacEnc";
  }
  void aKilledWindowLeavesNoToolAndNoLateFile() {
    QFETCH(QString, source);
    QFETCH(QString, tool);
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(source.endsWith(".wav") ? Wav(source, 120) : LongerAvi(source, 20)));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("", "", "", true, false, false)));
    const QByteArray marker = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    QString main;
    auto window = OpenWindow(folder, marker, folder.path("messages.log"), {folder.media(source)}, &main);
    QVERIFY(window);
    QVERIFY(window->Key(main, "Return"));
    QVERIFY2(WaitForTool(marker, tool), qPrintable(Describe(MarkedProcesses(kMarker, marker))));

    window->Kill();
    QTRY_VERIFY2_WITH_TIMEOUT(MarkedProcesses(kMarker, marker).isEmpty(),
                              qPrintable(Describe(MarkedProcesses(kMarker, marker))), 2000);
    const QMap<QString, qint64> atDeath = Sizes(folder);
    const QString claim = QFileInfo(source).completeBaseName() + "_preview" + (source.endsWith(".wav") ? ".m4a" : ".mp4");
    QCOMPARE(atDeath.value(claim, -1), qint64(0));
    QTest::qWait(3000);
    QCOMPARE(Sizes(folder), atDeath);

    QString nextMain;
    QVERIFY(OpenWindow(folder, "next", {}, {}, &nextMain));
    QVERIFY(!QFileInfo::exists(folder.media(claim)));
    const QRegularExpression interrupted("\\[\\d+ " + QRegularExpression::escape(source) +
                                         "\\] Job interrupted: its program ended before finishing it\n");
    QVERIFY2(Log().contains(interrupted), qPrintable(Log()));
  }

  // Ctrl-C, kill, scancel and parallel's halt stop a runner cleanly: its
  // tools end, its claims and private folder go, the log says it stopped,
  // and its exit code tells the signal.
  void aStoppedRunnerLeavesNothing_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("SIGINT") << int(SIGINT) << 130;
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    QTest::newRow("SIGHUP") << int(SIGHUP) << 129;
  }
  void aStoppedRunnerLeavesNothing() {
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(LongerAvi("long.avi", 20)));
    const QByteArray marker = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    QProcess* runner = StartRunner(folder, {folder.media("long.avi"), "--modes", "preview,standard"}, marker);
    QByteArray seen;
    QVERIFY(WaitForLine(runner, "long.avi preview pass 1/2", seen));
    QVERIFY(QFileInfo::exists(folder.media("long_standard.mp4")));  // claimed at the start
    QCOMPARE(::kill(static_cast<pid_t>(runner->processId()), signal), 0);
    const RunnerEnd end = Finish(runner);
    QCOMPARE(end.exitCode, exitCode);
    QVERIFY2(MarkedProcesses(kMarker, marker).isEmpty(), qPrintable(Describe(MarkedProcesses(kMarker, marker))));
    QCOMPARE(folder.MediaFiles(), QStringList{"long.avi"});
    QVERIFY(RunnerFolders().isEmpty());
    QVERIFY2(Log().contains("long.avi] Job stopped by a signal after "), qPrintable(Log()));
  }

  // A folder that takes no new file (a camera card, a read-only share) ends
  // the job before any tool runs, and the reason names the folder.
  void aReadOnlyOutputFolderStartsNoEncoder() {
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(TinyAvi("clip.avi", 10, 0)));
    const QString media = folder.path("media");
    MountGuard mount(media);
    const bool root = ::geteuid() == 0;
    if (root) {
      if (!mount.MountReadOnly()) QSKIP("the superuser cannot make a read-only mount here");
    } else {
      QVERIFY(QFile::setPermissions(media, QFile::ReadOwner | QFile::ExeOwner));
    }
    const QByteArray marker = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    QProcess* runner = StartRunner(folder, {folder.media("clip.avi"), "--modes", "preview,deluxe"}, marker);
    // No tool of the runner may ever start: none is seen while it runs.
    bool toolSeen = false;
    while (!runner->waitForFinished(20)) toolSeen = toolSeen || MarkedProcesses(kMarker, marker).size() > 1;
    const RunnerEnd end = Finish(runner);
    if (!root) QVERIFY(QFile::setPermissions(media, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(!toolSeen);
    QCOMPARE(end.exitCode, 1);
    QVERIFY2(end.out.isEmpty(), qPrintable(end.out.join('\n')));
    const QString why = media + (root ? ": read-only file system" : ": permission denied");
    QVERIFY2(end.err.contains(why), qPrintable(end.err));
    QVERIFY2(Log().contains("clip.avi] Job not started: " + why), qPrintable(Log()));
  }

  // A second window of the same user from another session (its own runtime
  // folder, so no single-instance lock between them) works in a folder of
  // its own and leaves the running job's files alone.
  void aSecondInstanceLeavesTheRunningJobAlone() {
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(LongerAvi("long.avi", 6)));
    QVERIFY(folder.Write(folder.settingsFile(), SettingsText("", "", "", true, false, false)));
    const QString messages = folder.path("messages.log");
    QString main;
    auto first = OpenWindow(folder, "first", messages, {folder.media("long.avi")}, &main);
    QVERIFY(first);
    QVERIFY(first->Key(main, "Return"));
    QVERIFY(WaitForTool("first", "x264_64"));

    QString other;
    auto second = OpenWindow(folder, "second", folder.path("second.log"), {}, &other);
    QVERIFY(second);
    QVERIFY(SendDeleteWindow(display_.name(), other));
    QVERIFY(second->WaitForExit(20000));

    const QList<LoggedBox> boxes = WaitForBoxes(messages, 1, kJobTimeoutMs);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, EnglishUi().allDone);
    CheckClip(folder.media("long_preview.mp4"), 150);
  }

  // Author and title reach the file exactly as typed, whatever they hold.
  void tagsRoundTrip_data() {
    QTest::addColumn<QString>("author");
    QTest::addColumn<QString>("title");
    QTest::newRow("a tag inside a tag") << "a:tool=b" << "T:name=x";
    QTest::newRow("colons and backslashes") << "C:\\clips\\" << "\\:\\\\::";
    QTest::newRow("quotes") << "Ann \"the\" 'one'" << "\"\"\"";
    QTest::newRow("Cyrillic") << QString::fromUtf8("Аня: сама") << QString::fromUtf8("Ночь:name=день");
  }
  void tagsRoundTrip() {
    QFETCH(QString, author);
    QFETCH(QString, title);
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(TinyAvi("clip.avi", 5, 0)));
    const RunnerEnd end = Finish(StartRunner(folder, {folder.media("clip.avi"), "--author", author, "--title", title}));
    QVERIFY2(end.exitCode == 0, qPrintable(end.err));
    const QJsonObject probe = Probe(folder.media("clip_preview.mp4"));
    QCOMPARE(TagOf(probe, "artist"), author);
    QCOMPARE(TagOf(probe, "title"), title);
  }

  // A settings file kept as a link stays a link, the file it leads to takes
  // the settings; a temporary folder that is a link is never used, and the
  // job stops with a box that names it.
  void linksAreKeptAndNeverFollowedIntoFolders() {
    WholeJobFolder folder;
    QVERIFY(folder.ready());
    QVERIFY(folder.Ffmpeg(TinyAvi("clip.avi", 5, 0)));
    QVERIFY(QDir().mkpath(folder.path("dotfiles")));
    QVERIFY(folder.Write(folder.path("dotfiles/kelvarion.ini"), SettingsText("", "", "", true, false, false)));
    QVERIFY(QFile::link("dotfiles/kelvarion.ini", folder.settingsFile()));
    const QString messages = folder.path("messages.log");
    {
      QString main;
      auto window = OpenWindow(folder, "linked settings", messages, {folder.media("clip.avi")}, &main);
      QVERIFY(window);
      QVERIFY(window->Key(main, "Return"));
      QCOMPARE(WaitForBoxes(messages, 1, kJobTimeoutMs).value(0).text, EnglishUi().allDone);
    }
    QVERIFY(QFileInfo(folder.settingsFile()).isSymLink());
    QVERIFY(ReadAll(folder.path("dotfiles/kelvarion.ini")).contains("Path=" + folder.media("clip.avi").toUtf8()));

    const QString temp = folder.path("tools/temp");
    QVERIFY(QDir(temp).removeRecursively());
    QVERIFY(QDir().mkpath(folder.path("elsewhere")));
    QVERIFY(QFile::setPermissions(folder.path("elsewhere"), QFile::Permissions(0x7755)));
    QVERIFY(QFile::link(folder.path("elsewhere"), temp));
    QFile::remove(messages);
    QString main;
    auto window = OpenWindow(folder, "linked temp", messages, {folder.media("clip.avi")}, &main);
    QVERIFY(window);
    QVERIFY(window->Key(main, "Return"));
    const QList<LoggedBox> boxes = WaitForBoxes(messages, 1, 30000);
    QCOMPARE(boxes.value(0).text, QString("File not found"));
    QVERIFY2(ReadAll(messages).contains("The working folder cannot be used: " + temp.toUtf8() + ": is a symbolic link"),
             ReadAll(messages).constData());
    QVERIFY(QDir(folder.path("elsewhere")).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    QCOMPARE(QFileInfo(folder.path("elsewhere")).permissions() & QFile::ReadOther, QFile::ReadOther);
    QCOMPARE(folder.MediaFiles(), (QStringList{"clip.avi", "clip_preview.mp4"}));
  }
};

QTEST_GUILESS_MAIN(SideBySideTest)
#include "side_by_side_test.moc"
