// The job runner without a window, started as the real program with stand-in
// tools and no display: its exit codes, progress lines and failure reports,
// the settings file it leaves alone, and runners that run at once.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "app/job_runner.h"
#include "tests/app/live_program.h"
#include "tests/app/tool_folder.h"

namespace {

struct Run {
  int exitCode = -1;
  QStringList out;
  QString err;
};

}  // namespace

class JobRunnerTest : public QObject {
  Q_OBJECT

  QTemporaryDir tmp_;  // the runners' TMPDIR, where their private folders go

  // The program as a compute node starts it: no display, and no runtime
  // folder either, which the toolkit would complain of.
  QProcess* StartProgram(const ToolFolder& folder, const QStringList& arguments, const QString& toolSettings = {}) {
    auto* process = new QProcess(this);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.remove("XDG_RUNTIME_DIR");
    env.insert("TMPDIR", tmp_.path());
    env.insert("FAKE_TOOL_ALL", "progress=5;step_ms=10");
    if (!toolSettings.isEmpty()) env.insert("FAKE_TOOL_MP4BOX", toolSettings);
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(folder.path(""));
    process->start(folder.path("kelvarion"), arguments);
    return process;
  }
  QProcess* Start(const ToolFolder& folder, const QStringList& arguments, const QString& toolSettings = {}) {
    return StartProgram(folder, QStringList{"--job"} + arguments, toolSettings);
  }

  static Run Finish(QProcess* process) {
    Run run;
    if (!process->waitForFinished(60000)) return run;
    run.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    run.out = QString::fromUtf8(process->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process->readAllStandardError());
    return run;
  }

  static void Prepare(ToolFolder& folder) { QVERIFY(LiveProgram::CopyProgramInto(folder.path(""))); }

  QStringList LeftoverTempFolders() const { return QDir(tmp_.path()).entryList({"kelvarion-job-*"}, QDir::Dirs); }

  static QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }

 private slots:
  void argumentFaultsGiveTheUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no source") << QStringList{};
    QTest::newRow("unknown mode") << QStringList{"a.avi", "--modes", "preview,fast"};
    QTest::newRow("option without value") << QStringList{"a.avi", "--author"};
    QTest::newRow("unknown option") << QStringList{"a.avi", "--colour", "red"};
    QTest::newRow("range without rate") << QStringList{"s001.png", "--first", "1"};
    QTest::newRow("range backwards") << QStringList{"s001.png", "--fps", "25", "--first", "9", "--last", "3"};
    QTest::newRow("frame not a number") << QStringList{"s001.png", "--fps", "25", "--last", "x"};
  }
  void argumentFaultsGiveTheUsage() {
    QFETCH(QStringList, arguments);
    QString error;
    QVERIFY(!app::ParseRunnerArguments(arguments, &error));
    QVERIFY(!error.isEmpty());

    ToolFolder folder;
    Prepare(folder);
    const Run run = Finish(Start(folder, arguments));
    QCOMPARE(run.exitCode, app::kRunnerUsage);
    QVERIFY2(run.err.contains("usage: kelvarion --job"), qPrintable(run.err));
    QVERIFY(folder.invocations().empty());
  }

  // --help and --version answer without a display; the window without one
  // says so in one line that names the runner.
  void helpVersionAndNoDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");  // texts the standard output holds
    QTest::addColumn<QString>("err");      // the whole standard error
    const QStringList help{"usage: kelvarion [debug | -32] [FILE...]", "kelvarion --job SOURCE...", "--settings FILE",
                           "Exit codes: 0"};
    QTest::newRow("--help") << QStringList{"--help"} << 0 << help << "";
    QTest::newRow("-h") << QStringList{"-h"} << 0 << help << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << QStringList{"kelvarion 4.0.0.0"} << "";
    QTest::newRow("window") << QStringList{} << 1 << QStringList{}
                            << "kelvarion: no display to open the window on; to encode without one, run kelvarion "
                               "--job SOURCE... (see kelvarion --help)\n";
    QTest::newRow("window with a file") << QStringList{"debug", "clip.avi"} << 1 << QStringList{}
                                        << "kelvarion: no display to open the window on; to encode without one, run "
                                           "kelvarion --job SOURCE... (see kelvarion --help)\n";
  }
  void helpVersionAndNoDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    ToolFolder folder;
    Prepare(folder);
    QProcess* process = StartProgram(folder, arguments);
    QVERIFY(process->waitForFinished(30000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), exitCode);
    const QString shown = QString::fromUtf8(process->readAllStandardOutput());
    for (const QString& text : out) QVERIFY2(shown.contains(text), qPrintable(shown));
    if (out.isEmpty()) QCOMPARE(shown, QString());
    QCOMPARE(QString::fromUtf8(process->readAllStandardError()), err);
    QVERIFY(!QFileInfo::exists(folder.path("kelvarion.ini")));
  }

  // Sources refused before any tool runs name their real reason; the rest
  // of the list still runs.
  void refusedSourcesNameTheirReason() {
    ToolFolder folder;
    Prepare(folder);
    const QString video = folder.touch("film.mp4");
    QVERIFY(QDir(folder.path("")).mkpath("folder.avi"));
    const QString clip = folder.touch("clip.avi");
    const Run run = Finish(Start(folder, {video, folder.path("folder.avi"), clip}));
    QCOMPARE(run.exitCode, app::kRunnerSomeFailed);
    QVERIFY2(run.err.contains("kelvarion: " + video + " failed: preview\nkelvarion:   Unsupported format: a source is "
                              "an AVI file, an AviSynth (.avs) or VapourSynth (.vpy) script, a WAV file, or a picture "
                              "of a PNG or JPEG sequence\n"),
             qPrintable(run.err));
    QVERIFY2(run.err.contains(folder.path("folder.avi") + " failed: preview\nkelvarion:   the source is not a file\n"),
             qPrintable(run.err));
    QVERIFY(!run.err.contains("File not found"));
    QVERIFY(QFileInfo(folder.path("clip_preview.mp4")).size() > 0);
    QCOMPARE(folder.toolNames().filter("avs2pipemod").size(), 2);  // the clip's probe and its sound only
  }

  // Faults of the command line that only the files show: a sequence
  // without its rate, a settings file that is not there.
  void usageFaultsOfTheFiles_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason");
    QTest::newRow("sequence without --fps") << QStringList{"clip.avi", "shot001.png"}
                                            << "shot001.png is an image sequence and needs --fps";
    QTest::newRow("settings file missing") << QStringList{"clip.avi", "--settings", "none.ini"}
                                           << "--settings names no file: none.ini";
  }
  void usageFaultsOfTheFiles() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);
    ToolFolder folder;
    Prepare(folder);
    folder.touch("clip.avi");
    folder.touch("shot001.png");
    const Run run = Finish(Start(folder, arguments));
    QCOMPARE(run.exitCode, app::kRunnerUsage);
    QVERIFY2(run.err.startsWith("kelvarion: ") && run.err.contains(reason), qPrintable(run.err));
    QVERIFY(folder.invocations().empty());
  }

  void argumentsAreRead() {
    QString error;
    const auto options = app::ParseRunnerArguments(
        {"s001.png", "--modes", "Deluxe,standard", "--author", "Ann", "--fps", "30", "--first", "2", "--last", "8",
         "--wav", "a.wav", "more.avi", "--settings", "k.ini"},
        &error);
    QVERIFY2(options, qPrintable(error));
    // Relative paths are taken from where the runner starts.
    QCOMPARE(options->sources, (QStringList{QDir::current().filePath("s001.png"), QDir::current().filePath("more.avi")}));
    QCOMPARE(options->wavPath, QDir::current().filePath("a.wav"));
    QVERIFY(!options->modes[1] && options->modes[2] && options->modes[3]);
    QCOMPARE(options->author, QString("Ann"));
    QCOMPARE(*options->first, 2);
    QCOMPARE(*options->last, 8);
    QCOMPARE(options->settingsFile, QString("k.ini"));
    // Without --modes a runner makes the Preview.
    const auto plain = app::ParseRunnerArguments({"a.avi"}, &error);
    QVERIFY(plain && plain->modes[1] && !plain->modes[2] && !plain->modes[3]);
  }

  void everySourceDoneWithProgressLinesAndNoDisplay() {
    ToolFolder folder;
    Prepare(folder);
    const QString a = folder.touch("a.avi");
    const QString b = folder.touch("b b.avi");
    const QString settings = folder.touch("kelvarion.ini", "[Meta]\r\nAuthor=Kept\r\n");
    QVERIFY(QFileInfo(b).fileName() == "b b.avi");
    // A source named relative to the runner's folder, as a shell user gives it.
    const Run run = Finish(Start(folder, {a, "b b.avi", "--modes", "preview,deluxe", "--title", "Trip"}));
    QVERIFY2(run.exitCode == app::kRunnerAllDone, qPrintable(run.err));
    // Nothing but its own lines, though the toolkit finds no runtime folder.
    QCOMPARE(run.err, QString());
    for (const char* name : {"a_preview.mp4", "a_deluxe.mp4", "b b_preview.mp4", "b b_deluxe.mp4"}) {
      QVERIFY2(QFileInfo(folder.path(name)).size() > 0, name);
    }
    QVERIFY(!QFileInfo::exists(folder.path("a_standard.mp4")));

    // Each line: the stage's figure, the source's, and its time left while
    // the encoder gives an estimate.
    const QRegularExpression form(
        R"(^kelvarion: (a\.avi|b b\.avi) (preview|deluxe) (pass [12]/2|video|audio|mux) \d{1,3}% )"
        R"(\(source (\d{1,3})%(, \d+:\d\d left)?\)$)");
    QMap<QString, int> sourcePercent;
    for (const QString& line : run.out) {
      const QRegularExpressionMatch match = form.match(line);
      QVERIFY2(match.hasMatch(), qPrintable(line));
      // The source's figure never goes back.
      QVERIFY2(match.captured(4).toInt() >= sourcePercent.value(match.captured(1)), qPrintable(line));
      sourcePercent[match.captured(1)] = match.captured(4).toInt();
    }
    QVERIFY(!run.out.filter(" left)").isEmpty());
    // Preview's two passes and sound-and-mux, Deluxe's one pass and its sound-and-mux: five parts.
    for (const char* expected :
         {"kelvarion: a.avi preview pass 1/2 100% (source 20%)", "kelvarion: a.avi preview pass 2/2 100% (source 40%)",
          "kelvarion: b b.avi deluxe video 100% (source 80%)", "kelvarion: b b.avi preview audio 100% (source 40%)"}) {
      QVERIFY2(run.out.contains(expected), expected);
    }
    // The Preview comes before the Deluxe, and the first source before the second.
    QVERIFY(run.out.indexOf(QRegularExpression(".*a.avi preview.*")) >= 0);
    QVERIFY(run.out.indexOf(QRegularExpression(".*a.avi deluxe.*")) > run.out.indexOf(QRegularExpression(".*a.avi preview.*")));
    QVERIFY(run.out.indexOf(QRegularExpression(".*b b.avi.*")) > run.out.lastIndexOf(QRegularExpression(".*a.avi.*")));

    QCOMPARE(Contents(settings), QByteArray("[Meta]\r\nAuthor=Kept\r\n"));
    QVERIFY(LeftoverTempFolders().isEmpty());
    QVERIFY(QDir(folder.tempDir()).isEmpty());
  }

  void settingsComeFromTheNamedFileWhichStaysUnwritten() {
    ToolFolder folder;
    Prepare(folder);
    const QString clip = folder.touch("clip.avi");
    // A Standard made in one pass shows as "video", not as a pass of two.
    const QString settings = folder.touch("elsewhere.ini", "[Flags]\nDLX=1\n");
    const Run run = Finish(Start(folder, {clip, "--modes", "standard", "--settings", settings}));
    QVERIFY2(run.exitCode == app::kRunnerAllDone, qPrintable(run.err));
    QVERIFY(run.out.contains("kelvarion: clip.avi standard video 100% (source 50%)"));
    QVERIFY(!run.out.filter("pass").size());
    QCOMPARE(Contents(settings), QByteArray("[Flags]\nDLX=1\n"));
    QVERIFY(!QFileInfo::exists(folder.path("kelvarion.ini")));
  }

  void aFailingSourceIsNamedAndTheOthersStillRun() {
    ToolFolder folder;
    Prepare(folder);
    const QString first = folder.touch("one.avi");
    const QString broken = folder.touch("broken_clip.avi");
    const QString last = folder.touch("three.avi");
    const QString missing = folder.path("gone.avi");
    const Run run = Finish(
        Start(folder, {first, broken, missing, last, "--modes", "preview,standard"}, "fail_on=broken_clip"));
    QCOMPARE(run.exitCode, app::kRunnerSomeFailed);
    QVERIFY2(run.err.contains("kelvarion: " + broken + " failed: preview, standard"), qPrintable(run.err));
    QVERIFY2(run.err.contains("kelvarion: " + missing + " failed: preview, standard\nkelvarion:   the source does not exist"),
             qPrintable(run.err));
    QVERIFY2(run.err.contains("kelvarion: " + missing + " failed: preview, standard"), qPrintable(run.err));
    QVERIFY(!run.err.contains(first) && !run.err.contains(last));
    for (const char* name : {"one_preview.mp4", "one_standard.mp4", "three_preview.mp4", "three_standard.mp4"}) {
      QVERIFY2(QFileInfo(folder.path(name)).size() > 0, name);
    }
    // The failed modes leave neither an output nor the empty file that claimed its name.
    QCOMPARE(QDir(folder.path("")).entryList({"broken_clip*.mp4", "gone*.mp4"}), QStringList{});
    QVERIFY(LeftoverTempFolders().isEmpty());
  }

  void runnersAtOnceOnDifferentSources() {
    ToolFolder folder;
    Prepare(folder);
    const QString a = folder.touch("a.avi");
    const QString b = folder.touch("b.avi");
    QProcess* first = Start(folder, {a, "--modes", "preview,standard"});
    QProcess* second = Start(folder, {b, "--modes", "preview,standard"});
    const Run one = Finish(first);
    const Run two = Finish(second);
    QVERIFY2(one.exitCode == 0 && two.exitCode == 0, qPrintable(one.err + two.err));
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}),
             (QStringList{"a_preview.mp4", "a_standard.mp4", "b_preview.mp4", "b_standard.mp4"}));
    QVERIFY(one.out.filter("b.avi").isEmpty() && two.out.filter("a.avi").isEmpty());
    QVERIFY(LeftoverTempFolders().isEmpty());
  }

  void runnersAtOnceOnTheSameSourceNeverShareAName() {
    ToolFolder folder;
    Prepare(folder);
    const QString clip = folder.touch("clip.avi");
    // Both must be past the naming before either writes an output.
    QProcess* first = Start(folder, {clip});
    QProcess* second = Start(folder, {clip});
    const Run one = Finish(first);
    const Run two = Finish(second);
    QVERIFY2(one.exitCode == 0 && two.exitCode == 0, qPrintable(one.err + two.err));
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}), (QStringList{"clip1_preview.mp4", "clip_preview.mp4"}));
    QVERIFY(QFileInfo(folder.path("clip_preview.mp4")).size() > 0);
    QVERIFY(QFileInfo(folder.path("clip1_preview.mp4")).size() > 0);
  }
};

QTEST_GUILESS_MAIN(JobRunnerTest)
#include "job_runner_test.moc"
