// The real program on a virtual display, in both languages, driven as a
// user drives it: every window and box is pictured into build/screenshots,
// and the titles it shows are checked on the way.
#include <QtTest>

#include <fstream>

#include "job/batch_list.h"
#include "platform/read_file.h"
#include "live_program.h"
#include "tool_folder.h"

struct Language {
  const char* suffix;
  const char* lang;
  QString previewSettings, standardSettings, muxer, openDialog, chooser, allDone, batch;
};
Q_DECLARE_METATYPE(Language)

namespace {

// Places in the main window's client area (the controls' centres).
const QPoint kOpenVideoBtn(32, 41), kSetPrev(62, 222), kSetStd(262, 222), kModeDX(135, 193);
// And in the chooser's.
const QPoint kRateBox(120, 18), kChooserOk(133, 180);

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT

  VirtualDisplay display_;
  QString folder_;

  void Picture(LiveProgram& program, const QString& window, const QString& name, const Language& language) {
    QVERIFY2(!window.isEmpty(), qPrintable(name));
    const QString path = folder_ + "/" + name + "-" + language.suffix + ".png";
    QVERIFY2(program.Capture(window, path), qPrintable(path));
  }

  // Waits for the window, pictures it, and closes it with `key`.
  void PictureAndClose(LiveProgram& program, const QString& title, const QString& name, const QString& key,
                       const Language& language, int timeoutMs = 10000) {
    const QString window = program.WaitForWindow(title, timeoutMs);
    Picture(program, window, name, language);
    QVERIFY(program.Key(window, key));
    QVERIFY2(program.WaitUntilGone(title), qPrintable(title));
  }

 private slots:
  void initTestCase() {
    QVERIFY(display_.Start());
    folder_ = qEnvironmentVariable("KELVARION_BUILD_DIR") + "/screenshots";
    QVERIFY(QDir().mkpath(folder_));
    // Only this run's pictures stay.
    for (const QString& pictures : {folder_, folder_ + "/wm"}) {
      for (const QString& old : QDir(pictures).entryList({"*.png"}, QDir::Files)) QFile::remove(pictures + "/" + old);
    }
  }

  void everyWindow_data() {
    QTest::addColumn<Language>("language");
    QTest::newRow("Russian") << Language{"ru", "ru_RU.UTF-8", QString::fromUtf8("Настройки превью"),
                                        QString::fromUtf8("Настройки стандартной"), QString::fromUtf8("mp4 Муксер"),
                                        QString::fromUtf8("Открыть"), QString::fromUtf8("Выберите FPS"),
                                        QString::fromUtf8("Готово! - KVR 4.0.0"),
                                        QString::fromUtf8("Пакетная обработка")};
    QTest::newRow("English") << Language{"en", "en_US.UTF-8", "Preview mode settings", "Standard mode settings",
                                         "mp4 Muxer", "Open", "Choose FPS", "Done! - KVR 4.0.0", "Batch"};
  }
  void everyWindow() {
    QFETCH(Language, language);
    ToolFolder folder;
    QVERIFY(LiveProgram::CopyProgramInto(folder.path("")));
    QDir(folder.path("")).mkpath("sequence");
    for (const char* frame : {"sequence/shot001.png", "sequence/shot002.png", "sequence/shot003.png"})
      folder.touch(frame);
    std::ofstream(folder.programDir() + "kelvarion.ini")
        << "[Meta]\nAuthor=Anna Kowalska-Smirnova, Studio North\nClip=A long evening by the lake\nPath="
        << folder.path("sequence/shot001.png").toStdString() << "\n";

    LiveProgram program(display_, folder.path(""));
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) program.SetEnvironment(name, "");
    program.SetEnvironment("LANG", language.lang);
    // The video encoder runs long enough to be halted, whichever of its names runs.
    for (const char* name : {"FAKE_TOOL_X264", "FAKE_TOOL_X264_64", "FAKE_TOOL_AVS4X264MOD"})
      program.SetEnvironment(name, "progress=8;step_ms=600");
    QVERIFY(program.Start());

    const QString main = program.WaitForWindow("Kelvarion 4.0");
    Picture(program, main, "main", language);
    // No help file beside this program.
    QVERIFY(program.Key(main, "F1"));
    PictureAndClose(program, "Error", "box-no-help", "Return", language);
    // A source but no mode.
    QVERIFY(program.Key(main, "Return"));
    PictureAndClose(program, "Error", "box-select-mode", "Return", language);

    QVERIFY(program.Click(main, kSetPrev));
    PictureAndClose(program, language.previewSettings, "settings-preview", "Escape", language);
    QVERIFY(program.Click(main, kSetStd));
    PictureAndClose(program, language.standardSettings, "settings-standard", "Escape", language);

    QVERIFY(program.Key(main, "F2"));
    const QString muxer = program.WaitForWindow(language.muxer);
    Picture(program, muxer, "muxer", language);
    QVERIFY(program.Move(muxer, QPoint(0, 0)));

    // The toolkit's own dialog speaks the interface's language.
    QVERIFY(program.Click(main, kOpenVideoBtn));
    PictureAndClose(program, language.openDialog, "open-dialog", "Escape", language);

    // A Deluxe job on the image sequence: the chooser first, refusing 0.
    QVERIFY(program.Click(main, kModeDX));
    QVERIFY(program.Key(main, "Return"));
    const QString chooser = program.WaitForWindow(language.chooser);
    Picture(program, chooser, "chooser", language);
    // Its hints ask for a title and a border, and for moving alone: no
    // close, minimise or maximise button.
    QCOMPARE(program.Property(chooser, "_MOTIF_WM_HINTS"), QString("0x3, 0x4, 0xa, 0x0, 0x0"));
    QVERIFY(program.Click(chooser, kRateBox));
    QVERIFY(program.Key(chooser, "ctrl+a"));
    QVERIFY(program.Type(chooser, "0"));
    QVERIFY(program.Click(chooser, kChooserOk));
    PictureAndClose(program, "KVR 4.0.0", "box-fps-zero", "Return", language);
    QVERIFY(program.Click(chooser, kRateBox));
    QVERIFY(program.Key(chooser, "ctrl+a"));
    QVERIFY(program.Type(chooser, "25"));
    QVERIFY(program.Click(chooser, kChooserOk));
    QVERIFY(program.WaitUntilGone(language.chooser));

    // Halt during the job asks; No lets it go on to its end.
    QVERIFY(program.Key(main, "Return"));
    PictureAndClose(program, "Warning", "box-quit", "Escape", language);
    // The end-of-run box carries the application title of that moment; it
    // comes after the whole job, which a loaded machine makes slow.
    PictureAndClose(program, language.allDone, "box-all-done", "Return", language, 120000);
    QVERIFY(!program.WaitForWindow("Kelvarion 4.0").isEmpty());
  }

  void batchWindow_data() { everyWindow_data(); }
  // The batch window empty, opened with F3 and centred over the main
  // window, and in the middle of a batch that a crash had cut short.
  void batchWindow() {
    QFETCH(Language, language);
    ToolFolder folder;
    QVERIFY(LiveProgram::CopyProgramInto(folder.path("")));
    std::ofstream(folder.programDir() + "kelvarion.ini") << "[Flags]\nPrev=1\nStd=1\n";
    const auto start = [&](LiveProgram& program) {
      for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) program.SetEnvironment(name, "");
      program.SetEnvironment("LANG", language.lang);
      program.SetEnvironment("FAKE_TOOL_ALL", "progress=100;step_ms=100");
      QVERIFY(program.Start());
    };
    {
      LiveProgram program(display_, folder.path(""));
      start(program);
      const QString main = program.WaitForWindow("Kelvarion 4.0");
      QVERIFY(!main.isEmpty());
      QVERIFY(program.Key(main, "F3"));
      const QString batch = program.WaitForWindow(language.batch);
      Picture(program, batch, "batch-empty", language);
      const QPoint offset = program.Geometry(batch).center() - program.Geometry(main).center();
      QVERIFY2(offset.manhattanLength() <= 4, qPrintable(QString("%1,%2").arg(offset.x()).arg(offset.y())));
    }

    std::vector<job::BatchRow> rows(5);
    const char* const names[] = {"evening.avi", "lake_interview.avi", "voice-over.wav", "drone/shot001.png",
                                 "credits.avs"};
    QVERIFY(QDir(folder.path("")).mkpath("drone"));
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i].source = folder.touch(names[i]).toStdString();
    rows[0].state = job::BatchState::Done;
    rows[0].outputs = {folder.touch("evening_preview.mp4").toStdString(),
                       folder.touch("evening_standard.mp4").toStdString()};
    rows[1].state = job::BatchState::Failed;
    rows[1].failedModes = {2};
    rows[1].reason = "MP4Box: exit code 1";
    rows[1].outputs = {folder.touch("lake_interview_preview.mp4").toStdString()};
    rows[2].state = job::BatchState::Interrupted;
    rows[3].fps = "25";
    rows[3].last = 0;
    std::ofstream(folder.programDir() + "kelvarion.batch") << job::FormatBatch(rows);

    LiveProgram program(display_, folder.path(""));
    start(program);
    // The unfinished batch shows by itself.
    const QString batch = program.WaitForWindow(language.batch, 20000);
    QVERIFY(!batch.isEmpty());
    // Start is the window's default button.
    QVERIFY(program.Key(batch, "Return"));
    // The interrupted row runs again; a little way into its first stage.
    const auto running = [&] {
      for (const QStringList& call : folder.invocations()) {
        if (call.join(' ').contains("voice-over")) return true;
      }
      return false;
    };
    QVERIFY(QTest::qWaitFor(running, 20000));
    QTest::qWait(1500);
    Picture(program, batch, "batch-running", language);
  }

  // Under a window manager (openbox), as a desktop shows them: the main
  // window centred by its frame; the "File not found" box placed by its
  // frame, and whole on the screen with its details shown, also on a
  // 1024x600 screen. Pictures in build/screenshots/wm.
  void underAWindowManager_data() {
    QTest::addColumn<Language>("language");
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QPoint>("boxOffset");  // the box's frame from the main window's frame
    Language russian, english;
    russian.suffix = "ru";
    russian.lang = "ru_RU.UTF-8";
    english.suffix = "en";
    english.lang = "en_US.UTF-8";
    QTest::newRow("Russian 1024x768") << russian << QSize(1024, 768) << QPoint(50, 130);
    QTest::newRow("English 1024x768") << english << QSize(1024, 768) << QPoint(75, 130);
    QTest::newRow("English 1024x600") << english << QSize(1024, 600) << QPoint(75, 130);
  }
  void underAWindowManager() {
    QFETCH(Language, language);
    QFETCH(QSize, screen);
    QFETCH(QPoint, boxOffset);
    VirtualDisplay display;
    QVERIFY(display.Start(screen.width(), screen.height()));
    QVERIFY(display.StartWindowManager());
    const QString folder = folder_ + "/wm";
    QVERIFY(QDir().mkpath(folder));
    const QString name = QString("%1-%2x%3").arg(language.suffix).arg(screen.width()).arg(screen.height());

    ToolFolder tools;
    QVERIFY(LiveProgram::CopyProgramInto(tools.path("")));
    std::ofstream(tools.programDir() + "kelvarion.ini")
        << "[Meta]\nPath=" << tools.touch("clip.avi").toStdString() << "\n[Flags]\nPrev=1\n";
    LiveProgram program(display, tools.path(""));
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) program.SetEnvironment(variable, "");
    program.SetEnvironment("LANG", language.lang);
    program.SetEnvironment("FAKE_PROBE_FAIL", "1");
    program.SetEnvironment("FAKE_PROBE_MESSAGE",
                           "AviSource: cannot open clip.avi: the file is no AVI file, its first bytes are no RIFF header");
    QVERIFY(program.Start());

    const QString main = program.WaitForWindow("Kelvarion 4.0");
    QVERIFY(!main.isEmpty());
    const QRect area(QPoint(0, 0), screen);
    QRect mainFrame;
    QPoint off;
    QVERIFY2(QTest::qWaitFor([&] {
               mainFrame = program.FrameGeometry(main);
               off = mainFrame.center() - area.center();
               return mainFrame != program.Geometry(main) && qAbs(off.x()) <= 1 && qAbs(off.y()) <= 1;
             }, 5000),
             qPrintable(QString("%1,%2").arg(off.x()).arg(off.y())));
    QVERIFY(program.Capture(main, folder + "/main-" + name + ".png"));

    QVERIFY(program.Key(main, "Return"));
    const QString box = program.WaitForWindow("Error");
    QVERIFY(!box.isEmpty());
    QRect boxFrame;
    QVERIFY2(QTest::qWaitFor([&] { return (boxFrame = program.FrameGeometry(box)).topLeft() == mainFrame.topLeft() + boxOffset; },
                             5000),
             qPrintable(QString("%1,%2").arg(boxFrame.x() - mainFrame.x()).arg(boxFrame.y() - mainFrame.y())));
    // From OK the next control is "Show Details...".
    QVERIFY(program.Key(box, "Tab"));
    QVERIFY(program.Key(box, "space"));
    QRect expanded;
    QVERIFY(QTest::qWaitFor([&] { return (expanded = program.FrameGeometry(box)).height() > boxFrame.height() + 50; }, 5000));
    QTest::qWait(300);
    expanded = program.FrameGeometry(box);
    QVERIFY2(area.contains(expanded), qPrintable(QString("%1,%2 %3x%4").arg(expanded.x()).arg(expanded.y())
                                                     .arg(expanded.width()).arg(expanded.height())));
    QVERIFY(program.Capture(box, folder + "/details-" + name + ".png"));
    QVERIFY(program.Key(box, "Escape"));
    QVERIFY(program.WaitUntilGone("Error"));
  }

  // The batch window maximised under the window manager, with twenty long
  // Cyrillic names: during a run, just after a source failed, and at its end.
  void batchMaximisedUnderAWindowManager() {
    VirtualDisplay display;
    QVERIFY(display.Start(1024, 768));
    QVERIFY(display.StartWindowManager());
    const QString folder = folder_ + "/wm";
    QVERIFY(QDir().mkpath(folder));
    ToolFolder tools;
    QVERIFY(LiveProgram::CopyProgramInto(tools.path("")));
    std::ofstream(tools.programDir() + "kelvarion.ini") << "[Flags]\nPrev=1\n";
    std::vector<job::BatchRow> rows(20);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const QString clip =
          QString::fromUtf8("Летний вечер у озера, съёмка с квадрокоптера, часть %1%2.avi")
              .arg(i + 1, 2, 10, QChar('0'))
              .arg(i == 16 ? QString::fromUtf8(" (сбой на кадре 0BAD)") : QString::fromUtf8(" — окончательный монтаж"));
      rows[i].source = tools.touch(clip).toStdString();
      if (i < 15) {
        rows[i].state = job::BatchState::Done;
        rows[i].outputs = {tools.touch(QFileInfo(clip).completeBaseName() + "_preview.mp4", "mp4").toStdString()};
      }
    }
    std::ofstream(tools.programDir() + "kelvarion.batch") << job::FormatBatch(rows);

    LiveProgram program(display, tools.path(""));
    for (const char* variable : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) program.SetEnvironment(variable, "");
    program.SetEnvironment("LANG", "ru_RU.UTF-8");
    program.SetEnvironment("FAKE_TOOL_ALL", "progress=5;step_ms=30");
    program.SetEnvironment("FAKE_TOOL_MP4BOX", "fail_on=0BAD;stderr=Error: cannot import the video track (Corrupted Data in file/stream)");
    QVERIFY(program.Start());
    const QString title = QString::fromUtf8("Пакетная обработка");
    const QString batch = program.WaitForWindow(title, 20000);
    QVERIFY(!batch.isEmpty());
    QVERIFY(program.Maximise(batch));
    QVERIFY(QTest::qWaitFor([&] { return program.FrameGeometry(batch).width() >= 1000; }, 5000));
    QTest::qWait(300);
    const QRect client = program.Geometry(batch);
    // Start is the batch window's default button.
    QVERIFY(program.Key(batch, "Return"));
    const auto read = [&] {
      const auto text = platform::ReadWholeFile(tools.programDir() + "kelvarion.batch");
      return text ? job::ParseBatch(*text) : std::vector<job::BatchRow>{};
    };
    // The file reads a running row back as one a crash interrupted.
    QVERIFY(QTest::qWaitFor([&] {
      const std::vector<job::BatchRow> now = read();
      return now.size() == rows.size() && now[16].state == job::BatchState::Failed &&
             now[18].state == job::BatchState::Interrupted;
    }, 60000));
    QTest::qWait(400);
    QVERIFY(program.Capture(batch, folder + "/batch-running.png", false));
    const QString end = program.WaitForWindow("Error", 120000);
    QVERIFY(!end.isEmpty());
    QVERIFY(program.Capture(end, folder + "/batch-end-box.png"));
    QVERIFY(program.Key(end, "Return"));
    QVERIFY(program.WaitUntilGone("Error"));
    QVERIFY(program.Activate(batch));
    QVERIFY(program.Capture(batch, folder + "/batch-after-failure.png"));
    QCOMPARE(program.Geometry(batch).size(), client.size());
  }
};

QTEST_GUILESS_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"
