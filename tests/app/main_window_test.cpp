// The main window driven as a user drives it, with stand-in tools running
// as real child processes.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QtTest>

#include <fstream>

#include "app/batch_window.h"
#include "app/main_window.h"
#include "desktop/help.h"
#include "desktop/language.h"
#include "proc/progress_message.h"
#include "desktop/message_box.h"
#include "no_actions.h"
#include "tool_folder.h"

namespace {

struct Messages {
  QStringList texts;
  QStringList details;
  QList<QPoint> positions;
  QList<QMessageBox::Icon> icons;
  QStringList titles;
  QMessageBox::StandardButton answer = QMessageBox::No;
  std::function<void()> onQuestion;
  std::function<void()> onBox;  // called for every box as it shows
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

  Messages messages_;
  RecordedActions actions_;

  std::unique_ptr<app::MainWindow> Open(const ToolFolder& folder, bool russian = false,
                                        const QStringList& arguments = {}) {
    app::StartupOptions options;
    options.paths = job::ToolPaths::ForProgramDir(folder.programDir());
    options.arguments = arguments;
    options.russianUi = russian;
    options.system64Bit = false;
    options.afterJobActions = &actions_;
    auto window = std::make_unique<app::MainWindow>(options);
    window->show();
    return window;
  }

  template <typename T>
  static T* Child(QWidget* window, const std::function<bool(T*)>& match) {
    for (T* w : window->findChildren<T*>()) {
      if (match(w)) return w;
    }
    return nullptr;
  }
  static QCheckBox* Box(QWidget* w, const QString& text) {
    return Child<QCheckBox>(w, [&](QCheckBox* b) { return b->text() == text; });
  }
  static QLineEdit* EditAt(QWidget* w, int x, int y) {
    return Child<QLineEdit>(w, [&](QLineEdit* e) { return e->geometry().topLeft() == QPoint(x, y); });
  }

  // One mode of a job on clip.avi, the muxer told when to fail; whether the
  // mode's output stands afterwards.
  bool MuxWithFailure(const char* failOn, const QString& mode, bool sideCar, bool sound = true) {
    messages_.texts.clear();
    ToolFolder folder;
    qputenv("FAKE_TOOL_MP4BOX", QByteArray("fail_on=") + failOn);
    qputenv("FAKE_PROBE_AUDIO", sound ? "true" : "false");
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    if (sideCar) folder.touch("clip.m4a");
    Box(window.get(), mode)->setChecked(true);
    window->StartBtnClick();
    const bool ended = QTest::qWaitFor([&] { return window->driver().state() == job::JobState::Idle; }, 30000);
    window->close();
    return ended && QFile::exists(folder.path("clip_" + mode.toLower() + ".mp4"));
  }

 private slots:
  void init() {
    messages_ = Messages();
    actions_.calls.clear();
    desktop::SetMessageHandler([this](const desktop::MessageRequest& r) {
      messages_.texts << r.text;
      messages_.details << r.details;
      messages_.positions << r.topLeft;
      messages_.icons << r.icon;
      messages_.titles << r.title;
      if (messages_.onBox) messages_.onBox();
      if (r.yesNo && messages_.onQuestion) messages_.onQuestion();
      return r.yesNo ? messages_.answer : QMessageBox::Ok;
    });
    for (const char* name : {"FAKE_TOOL_ALL", "FAKE_TOOL_X264", "FAKE_TOOL_NEROAACENC", "FAKE_TOOL_MP4BOX",
                             "FAKE_PROBE_FPS", "FAKE_PROBE_AUDIO", "FAKE_PROBE_FAIL"}) {
      qunsetenv(name);
    }
  }

  void layoutAndLanguages() {
    ToolFolder folder;
    auto en = Open(folder, false);
    QCOMPARE(en->size(), QSize(330, 397));
    QCOMPARE(en->windowTitle(), QString("Kelvarion 4.0"));
    QCOMPARE(en->applicationTitle(), QString("KVR 4.0.0"));
    QVERIFY(Box(en.get(), "Preview") && Box(en.get(), "Standard") && Box(en.get(), "Deluxe"));
    QCOMPARE(Box(en.get(), "Preview")->parentWidget()->geometry(), QRect(10, 20, 90, 70));
    QCOMPARE(Box(en.get(), "Deluxe")->parentWidget()->geometry(), QRect(110, 20, 90, 70));
    QCOMPARE(Box(en.get(), "Standard")->parentWidget()->geometry(), QRect(210, 20, 90, 70));
    auto* combo = en->findChild<QComboBox*>();
    QCOMPARE(combo->count(), 5);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->itemText(4), QString("Play sound"));
    QCOMPARE(combo->geometry(), QRect(96, 288, 137, 21));
    auto* start = en->findChild<QPushButton*>();
    QCOMPARE(start->text(), QString("Start"));
    QCOMPARE(start->geometry(), QRect(127, 363, 75, 25));
    QVERIFY(start->isDefault());
    QCOMPARE(EditAt(en.get(), 8, 40)->maxLength(), 50);
    en->close();

    auto ru = Open(folder, true);
    QVERIFY(Box(ru.get(), "Превью") && Box(ru.get(), "Стандарт") && Box(ru.get(), "Делюкс"));
    QCOMPARE(ru->findChild<QPushButton*>()->text(), QString("Старт"));
    QCOMPARE(ru->findChild<QComboBox*>()->itemText(1), QString("Выключение"));
    ru->close();
  }

  void opensCentredOnTheScreen() {
    ToolFolder folder;
    auto window = Open(folder);
    const QRect screen = window->screen()->availableGeometry();
    QVERIFY(qAbs(window->frameGeometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(window->frameGeometry().center().y() - screen.center().y()) <= 1);
    window->close();
  }

  // Enter in either tag edit or on a check box, or the keypad's Enter in
  // the list, presses Start; a held key presses it once. Enter on a focused
  // button presses that button.
  void enterPressesStart() {
    ToolFolder folder;
    auto window = Open(folder);
    QLineEdit* author = EditAt(window.get(), 8, 40);
    QLineEdit* title = EditAt(window.get(), 160, 40);
    QTest::keyClick(author, Qt::Key_Return);
    QCOMPARE(messages_.texts, QStringList{"Select a file to encode!"});
    QTest::keyClick(window->findChild<QComboBox*>(), Qt::Key_Enter);
    QCOMPARE(messages_.texts.size(), 2);
    QKeyEvent held(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r", true);
    QCoreApplication::sendEvent(title, &held);
    QCOMPARE(messages_.texts.size(), 2);

    // Enter on a focused button presses that button, not Start: each
    // settings button opens its dialog, the help button the help.
    struct Pressed {
      const char* hint;
      QString opens;  // the dialog's caption; empty: the help's error box
    };
    for (const Pressed& pressed : {Pressed{"Preview mode settings", "Preview mode settings"},
                                   Pressed{"Standard mode settings", "Standard mode settings"},
                                   Pressed{"Display help", {}}}) {
      auto* button = Child<QToolButton>(window.get(), [&](QToolButton* b) { return b->toolTip() == pressed.hint; });
      QVERIFY2(button != nullptr, pressed.hint);
      QString opened;
      QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
          opened = modal->windowTitle();
          modal->close();
        }
      });
      const qsizetype boxesBefore = messages_.texts.size();
      QTest::keyClick(button, Qt::Key_Return);
      if (pressed.opens.isEmpty()) {
        QCOMPARE(messages_.texts.mid(boxesBefore), QStringList{"Error loading help file."});
      } else {
        QCOMPARE(opened, pressed.opens);
        QCOMPARE(messages_.texts.size(), boxesBefore);
      }
    }
    // A check box has no press of its own: Enter there presses Start.
    const qsizetype boxesBefore = messages_.texts.size();
    QTest::keyClick(Box(window.get(), "Preview"), Qt::Key_Return);
    QCOMPARE(messages_.texts.mid(boxesBefore), QStringList{"Select a file to encode!"});
    for (QCheckBox* box : window->findChildren<QCheckBox*>()) box->setChecked(false);

    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Deluxe")->setChecked(true);
    QTest::keyClick(title, Qt::Key_Return);
    QCOMPARE(window->driver().state(), job::JobState::Running);
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QCOMPARE(messages_.texts.last(), QString("All tasks are complete!"));
    window->close();
  }

  void captionSwitches() {
    ToolFolder folder;
    auto debug = Open(folder, false, {"DEBUG"});
    QCOMPARE(debug->windowTitle(), QString("Kelvarion 4.0 debug"));
    QVERIFY(debug->debugMode());
    debug->close();
    auto secondOnly = Open(folder, false, {"x", "debug"});
    QVERIFY(!secondOnly->debugMode());
    secondOnly->close();

    app::StartupOptions options;
    options.paths = job::ToolPaths::ForProgramDir(folder.programDir());
    options.arguments = {"-32"};
    options.system64Bit = true;
    options.afterJobActions = &actions_;
    app::MainWindow forced(options);
    QCOMPARE(forced.windowTitle(), QString("Kelvarion 4.0 - 32bit"));
    QCOMPARE(forced.videoEncoderPath(), folder.programDir() + "tools/x264");
    options.arguments = {};
    app::MainWindow wide(options);
    QCOMPARE(wide.videoEncoderPath(), folder.programDir() + "tools/x264_64");
  }

  void settingsRestoredAtStart() {
    ToolFolder folder;
    const QString source = folder.touch("clip.AVI");
    std::ofstream(folder.programDir() + "kelvarion.ini")
        << "[Meta]\nAuthor=" << QString(60, QChar(0x0416)).toStdString() << "\nClip=A title of some length\nPath=" << source.toStdString()
        << "\n[Flags]\nStd=1\n";
    auto window = Open(folder);
    QCOMPARE(window->author(), QString(50, QChar(0x0416)));
    // Both tags show their beginning.
    QCOMPARE(EditAt(window.get(), 8, 40)->cursorPosition(), 0);
    QCOMPARE(EditAt(window.get(), 160, 40)->cursorPosition(), 0);
    QCOMPARE(window->sourcePath(), source);
    QCOMPARE(window->lastSourceDir(), folder.path("") + "/");
    QVERIFY(window->modeTicked(2));
    QVERIFY(!window->modeTicked(1));
    window->close();

    std::ofstream(folder.programDir() + "kelvarion.ini") << "[Meta]\nPath=" << folder.path("clip.mp4").toStdString();
    folder.touch("clip.mp4");
    auto other = Open(folder);
    QVERIFY(other->sourcePath().isEmpty());
    other->close();
  }

  void startRefusals() {
    ToolFolder folder;
    auto window = Open(folder);
    window->StartBtnClick();
    QCOMPARE(messages_.texts, QStringList{"Select a file to encode!"});
    QCOMPARE(messages_.positions.first(), window->frameGeometry().topLeft() + QPoint(75, 130));
    QCOMPARE(messages_.icons.first(), QMessageBox::Critical);
    QCOMPARE(messages_.titles.first(), QString("Error"));
    window->setSource(folder.touch("clip.avi"));
    window->StartBtnClick();
    QCOMPARE(messages_.texts.last(), QString("Select a coding mode!"));
    QVERIFY(folder.invocations().empty());
    // The settings were saved before the checks.
    std::ifstream ini(folder.programDir() + "kelvarion.ini");
    std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    QVERIFY(text.find("Path=" + folder.path("clip.avi").toStdString()) != std::string::npos);
    QVERIFY(text.find("Prev=0") != std::string::npos);
    window->close();
  }

  // A probe that finds nothing shows "File not found", and its details the
  // real reason; the window stays ready.
  void probeFailureNamesItsReason_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("details");  // lines the details hold; <tools> is the tool folder
    QTest::newRow("the probe's own message")
        << "message" << QStringList{"Exit code: 1", "  AviSource: clip.avi is no AVI file (no RIFF header)"};
    QTest::newRow("the probe tool missing")
        << "missing"
        << QStringList{"The program could not be started.", "  <tools>/avs2pipemod: No such file or directory"};
    QTest::newRow("the probe tool not executable")
        << "not executable"
        << QStringList{"The program could not be started.", "  <tools>/avs2pipemod: Permission denied"};
    QTest::newRow("no folder for the intermediate files")
        << "temp folder"
        << QStringList{"The working folder cannot be used: <tools>/temp: is not a folder"};
  }
  void probeFailureNamesItsReason() {
    QFETCH(QString, fault);
    QFETCH(QStringList, details);
    ToolFolder folder;
    const QString probe = folder.path("tools/avs2pipemod");
    if (fault == "message") {
      qputenv("FAKE_PROBE_FAIL", "1");
      qputenv("FAKE_PROBE_MESSAGE", "AviSource: clip.avi is no AVI file (no RIFF header)");
    } else if (fault == "missing") {
      QVERIFY(QFile::remove(probe));
    } else if (fault == "not executable") {
      QVERIFY(QFile::setPermissions(probe, QFile::ReadOwner | QFile::WriteOwner));
    } else {
      QVERIFY(QDir(folder.path("tools/temp")).removeRecursively());
      folder.touch("tools/temp");
    }
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Preview")->setChecked(true);
    window->StartBtnClick();
    qunsetenv("FAKE_PROBE_FAIL");
    qunsetenv("FAKE_PROBE_MESSAGE");
    QCOMPARE(messages_.texts, QStringList{"File not found"});
    QCOMPARE(messages_.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    for (QString line : details) {
      line.replace("<tools>", folder.path("tools"));
      QVERIFY2(messages_.details[0].contains(line), qPrintable(messages_.details[0]));
    }
    if (fault != "temp folder") {
      QVERIFY2(messages_.details[0].startsWith("Command: \"" + probe + "\" -info"), qPrintable(messages_.details[0]));
    }
    // The one line a batch row shows of it.
    QCOMPARE(window->driver().failureLine(), details.last().trimmed().replace("<tools>", folder.path("tools")));
    QCOMPARE(window->driver().state(), job::JobState::Idle);
    QVERIFY(Box(window.get(), "Preview")->isEnabled());
    window->close();
  }

  void probeFailureLeavesTheWindowReady() {
    ToolFolder folder;
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Preview")->setChecked(true);
    qputenv("FAKE_PROBE_FPS", "fast");
    window->StartBtnClick();
    QCOMPARE(messages_.texts.last(), QString("'fast' is not a valid floating point value"));
    window->close();
  }

  void previewAndStandardRunInOrder() {
    ToolFolder folder;
    qputenv("FAKE_TOOL_X264", "progress=5;step_ms=5");
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Preview")->setChecked(true);
    Box(window.get(), "Standard")->setChecked(true);
    window->findChild<QComboBox*>()->setCurrentIndex(4);
    window->StartBtnClick();
    QCOMPARE(window->findChild<QPushButton*>()->text(), QString("Halt"));
    QVERIFY(!Box(window.get(), "Deluxe")->isEnabled());
    QVERIFY(window->findChild<QComboBox*>()->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);

    QStringList stages;
    for (const QStringList& call : folder.invocations()) {
      QString stage = call[0];
      if (stage == "x264") stage += " " + call[call.indexOf("--pass") + 1];
      if (stage == "avs2pipemod") stage += " " + call[1];
      // The two sides of the sound pipe start together, in either order.
      if (stage == "neroAacEnc") continue;
      stages << stage;
    }
    const QStringList mode = {"x264 1", "x264 2", "avs2pipemod -extwav=16bit", "MP4Box", "MP4Box", "MP4Box"};
    QCOMPARE(stages, QStringList{"avs2pipemod -info"} + mode + mode);
    QCOMPARE(folder.toolNames().count("neroAacEnc"), 2);

    QCOMPARE(messages_.texts, QStringList{"All tasks are complete!"});
    QCOMPARE(messages_.positions.first(), window->frameGeometry().topLeft() + QPoint(115, 170));
    QCOMPARE(actions_.calls, QStringList{"sound " + folder.path("tools/rnd.wav")});
    QVERIFY(QFile::exists(folder.path("clip_preview.mp4")));
    QVERIFY(QFile::exists(folder.path("clip_standard.mp4")));
    QCOMPARE(QDir(folder.tempDir()).entryList(QDir::Files), QStringList());
    QCOMPARE(window->windowTitle(), QString("Kelvarion 4.0"));
    QCOMPARE(window->applicationTitle(), QString("KVR 4.0.0"));
    QCOMPARE(window->findChild<QPushButton*>()->text(), QString("Start"));
    QVERIFY(Box(window.get(), "Deluxe")->isEnabled());
    QCOMPARE(window->findChild<QProgressBar*>()->value(), 0);
    std::ifstream ini(folder.programDir() + "kelvarion.ini");
    std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    QVERIFY(text.find("PathPrev=" + folder.path("clip_preview.mp4").toStdString()) != std::string::npos);
    QVERIFY(text.find("PathStandard=" + folder.path("clip_standard.mp4").toStdString()) != std::string::npos);

    // A second job numbers its outputs.
    window->findChild<QComboBox*>()->setCurrentIndex(0);
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QVERIFY(QFile::exists(folder.path("clip1_preview.mp4")));
    QVERIFY(QFile::exists(folder.path("clip1_standard.mp4")));
    window->close();
  }

  // The end-of-run box has no icon, so it carries the application title of
  // that moment; the idle title comes back once it is closed.
  void endOfRunBoxCarriesTheApplicationTitle_data() {
    QTest::addColumn<bool>("russian");
    QTest::addColumn<QString>("title");
    QTest::newRow("Russian") << true << QString::fromUtf8("Готово! - KVR 4.0.0");
    QTest::newRow("English") << false << QString("Done! - KVR 4.0.0");
  }
  void endOfRunBoxCarriesTheApplicationTitle() {
    QFETCH(bool, russian);
    QFETCH(QString, title);
    ToolFolder folder;
    auto window = Open(folder, russian);
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), russian ? QString::fromUtf8("Делюкс") : QString("Deluxe"))->setChecked(true);
    // The caption keeps its percentage while the box is open.
    QString captionAtTheBox;
    messages_.onBox = [&] { captionAtTheBox = window->windowTitle(); };
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QCOMPARE(messages_.texts.size(), 1);
    QCOMPARE(messages_.icons.first(), QMessageBox::NoIcon);
    QCOMPARE(messages_.titles.first(), title);
    QCOMPARE(captionAtTheBox, QString("100% - Kelvarion 4.0"));
    QCOMPARE(window->applicationTitle(), QString("KVR 4.0.0"));
    QCOMPARE(window->windowTitle(), QString("Kelvarion 4.0"));
    window->close();
  }

  void titlesFollowTheEncoder() {
    ToolFolder folder;
    qputenv("FAKE_TOOL_X264", "progress=20;step_ms=30;sleep_ms=300");
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Deluxe")->setChecked(true);
    window->StartBtnClick();
    QTRY_VERIFY_WITH_TIMEOUT(window->findChild<QProgressBar*>()->value() >= 45, 10000);
    const QString figure = QString::number(window->findChild<QProgressBar*>()->value());
    QVERIFY(window->windowTitle() == figure + "% - Kelvarion 4.0" || window->windowTitle().endsWith("% - Kelvarion 4.0"));
    QVERIFY(window->applicationTitle().endsWith("% - KVR 4.0.0"));
    QCOMPARE(window->findChild<QLabel*>("", Qt::FindChildrenRecursively) != nullptr, true);
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    window->close();
  }

  // The box names the failed modes; its details and the job log tell the
  // stage, the command line, the exit and the last twenty lines of output.
  void failedModesAreNamedAndExplained() {
    ToolFolder folder;
    QString output;
    for (int i = 1; i <= 25; ++i) output += QString("x264 [error]: line %1\n").arg(i);
    qputenv("FAKE_TOOL_X264", ("exit=3;write=0;stdout=" + output).toUtf8());
    const QString log = qEnvironmentVariable("XDG_STATE_HOME") + "/kelvarion/kelvarion.log";
    QFile::remove(log);
    auto window = Open(folder);
    const QString clip = folder.touch("clip.avi");
    window->setSource(clip);
    Box(window.get(), "Preview")->setChecked(true);
    Box(window.get(), "Deluxe")->setChecked(true);
    // A failed pass never shows 100 %, neither in the bar nor in the caption.
    QStringList captions;
    QList<int> bars;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
      captions << window->windowTitle();
      bars << window->barValue();
    });
    watch.start(1);
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    watch.stop();
    QVERIFY2(!captions.contains("100% - Kelvarion 4.0"), qPrintable(captions.join('\n')));
    QVERIFY(!bars.contains(100));
    // A failed pass skips the rest of its mode; the next mode still runs.
    QCOMPARE(folder.toolNames(), (QStringList{"avs2pipemod", "x264", "x264"}));
    QCOMPARE(messages_.texts, QStringList{"Encoding failed: preview, deluxe"});
    QCOMPARE(window->driver().failureLine(), QString("x264 [error]: line 25"));
    const QString tools = folder.path("tools");
    const QString preview = messages_.details.last().section("\n\n", 0, 0);
    const QString deluxe = messages_.details.last().section("\n\n", 1);
    QVERIFY2(preview.startsWith("preview\nStage: Video preview pass 1 of 2\nCommand: \"" + tools + "/x264\" "), qPrintable(preview));
    QVERIFY(preview.contains("\nExit code: 3\nLast lines of output:\n  x264 [error]: line 6\n"));
    QVERIFY(preview.endsWith("  x264 [error]: line 25"));
    QVERIFY(!preview.contains("line 5\n"));
    QVERIFY2(deluxe.startsWith("deluxe\nStage: Video deluxe\nCommand: \"" + tools + "/x264\" "), qPrintable(deluxe));
    const QString logged = QString::fromUtf8([&] { QFile f(log); f.open(QIODevice::ReadOnly); return f.readAll(); }());
    QVERIFY2(logged.contains(" Job: " + clip + "\n"), qPrintable(logged));
    QVERIFY(logged.contains(" Modes: preview, deluxe\n"));
    QVERIFY(logged.contains(" preview: failed after "));
    QVERIFY(logged.contains(" Exit code: 3\n"));
    QVERIFY(logged.contains(" Job finished in "));

    // A muxer that writes nothing fails its mode too.
    qunsetenv("FAKE_TOOL_X264");
    qputenv("FAKE_TOOL_MP4BOX", "write=0");
    QFile::remove(folder.logPath());
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QCOMPARE(messages_.texts.last(), QString("Encoding failed: preview, deluxe"));
    QVERIFY(window->driver().modeFailed(job::kDeluxe));
    QVERIFY2(messages_.details.last().contains("\nStage: Muxing deluxe\nCommand: \"" + tools + "/MP4Box\" "),
             qPrintable(messages_.details.last()));
    QVERIFY(messages_.details.last().contains("\nExit code: 0\nNo output file: " + folder.path("clip_deluxe.mp4")));
    window->close();
  }

  void silentSourceSkipsTheSound() {
    ToolFolder folder;
    qputenv("FAKE_PROBE_AUDIO", "false");
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Deluxe")->setChecked(true);
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QCOMPARE(folder.toolNames(), (QStringList{"avs2pipemod", "x264", "MP4Box", "MP4Box", "MP4Box"}));
    QCOMPARE(messages_.texts, QStringList{"All tasks are complete!"});
    window->close();
  }

  void sideCarSoundIsMuxedForDeluxe() {
    ToolFolder folder;
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    folder.touch("clip.m4a");
    Box(window.get(), "Deluxe")->setChecked(true);
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    const std::vector<QStringList> calls = folder.invocations();
    QCOMPARE(folder.toolNames(), (QStringList{"avs2pipemod", "x264", "MP4Box", "MP4Box", "MP4Box"}));
    QCOMPARE(calls[3][4], folder.path("clip.m4a"));
    window->close();
  }

  void soundThatCannotBeJoinedFailsTheMode() {
    // A broken side-car: the command that joins it fails, and the silent
    // file of the first command must not pass for the mode's output.
    QVERIFY(!MuxWithFailure("clip.m4a", "Deluxe", true));
    QCOMPARE(messages_.texts, QStringList{"Encoding failed: deluxe"});
    // A tag command that fails.
    QVERIFY(!MuxWithFailure("-itags", "Preview", false));
    QCOMPARE(messages_.texts, QStringList{"Encoding failed: preview"});
    // A source without sound: the joining command fails for want of a sound
    // file, which is the expected course, and the video-only file stands.
    QVERIFY(MuxWithFailure("Snd.m4a", "Preview", false, false));
    QCOMPARE(messages_.texts, QStringList{"All tasks are complete!"});
  }

  void pastedLineBreaksInTagsBecomeBlanks() {
    ToolFolder folder;
    auto window = Open(folder);
    QLineEdit* author = EditAt(window.get(), 8, 40);
    QGuiApplication::clipboard()->setText("Ann\r\nLee\n[Flags]");
    author->setFocus();
    QTest::keySequence(author, QKeySequence::Paste);
    QCOMPARE(author->text(), QString("Ann Lee [Flags]"));
    window->close();
  }

  void lineBreakInTheSourceNameIsRefused() {
    // "x\ny.wav" once made the sound command write over "x" beside it.
    ToolFolder folder;
    const QString victim = folder.touch("x", "keep me");
    auto window = Open(folder);
    window->setSource(folder.touch("x\ny.wav"));
    Box(window.get(), "Preview")->setChecked(true);
    window->StartBtnClick();
    QCOMPARE(window->driver().state(), job::JobState::Idle);
    QCOMPARE(messages_.texts, QStringList{"The file name holds a line break or three quotes in a row. Rename the file."});
    QVERIFY(folder.invocations().empty());
    QFile kept(victim);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me"));
    window->close();
  }

  void wavSourceWithSideCarNeverMuxes() {
    ToolFolder folder;
    auto window = Open(folder);
    window->setSource(folder.touch("song.wav"));
    folder.touch("song.m4a");
    Box(window.get(), "Standard")->setChecked(true);
    Box(window.get(), "Deluxe")->setChecked(true);
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QVERIFY(!folder.toolNames().contains("MP4Box"));
    QVERIFY(QFile::exists(folder.path("song_standard.m4a")));
    QVERIFY(QFile::exists(folder.path("song_deluxe.m4a")));
    QCOMPARE(messages_.texts, QStringList{"All tasks are complete!"});
    window->close();
  }

  void wavSourceWritesSoundFiles() {
    ToolFolder folder;
    auto window = Open(folder);
    window->setSource(folder.touch("song.wav"));
    Box(window.get(), "Preview")->setChecked(true);
    Box(window.get(), "Deluxe")->setChecked(true);
    // Nothing is probed for a sound source: the probe's files stay untouched.
    folder.touch("tools/temp/fps.txt", "7\n");
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    for (const QStringList& call : folder.invocations()) QVERIFY(!call.contains("-info"));
    QVERIFY(QFile::exists(folder.path("tools/temp/fps.txt")));
    QStringList names = folder.toolNames();
    names.removeAll("avs2pipemod");
    QCOMPARE(names, (QStringList{"neroAacEnc", "neroAacEnc"}));
    QVERIFY(QFile::exists(folder.path("song_preview.m4a")));
    QVERIFY(QFile::exists(folder.path("song_deluxe.m4a")));
    QCOMPARE(messages_.texts, QStringList{"All tasks are complete!"});
    window->close();
  }

  void debugModeKeepsTheLastModesFiles() {
    ToolFolder folder;
    auto window = Open(folder, false, {"debug"});
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Preview")->setChecked(true);
    Box(window.get(), "Deluxe")->setChecked(true);
    window->StartBtnClick();
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QFile log(folder.path("tools/temp/DebugInfo.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    // Preview: two passes, the command file and the mux; Deluxe: one pass,
    // the command file and the mux.
    QCOMPARE(lines.size() - 1, 7);
    QVERIFY(lines[0].contains("--pass 1"));
    QVERIFY(lines[0].endsWith("\r"));
    QVERIFY(QFile::exists(folder.path("tools/temp/Vid.avs")));
    // No tags in debug mode.
    QCOMPARE(folder.invocations().back().size(), 2);
    window->close();
  }

  void quittingDuringEachStage_data() {
    QTest::addColumn<int>("stage");
    QTest::newRow("video") << int(job::RunningStage::Video);
    QTest::newRow("audio") << int(job::RunningStage::Audio);
    QTest::newRow("mux") << int(job::RunningStage::Mux);
  }
  void quittingDuringEachStage() {
    QFETCH(int, stage);
    ToolFolder folder;
    const char* slow = "sleep_ms=30000;ignore_term=1;spawn=1;progress=2";
    // Only the aimed stage is slow: a slow stage left from the row before
    // would hold the job up for half a minute before the one aimed at.
    for (const char* tool : {"FAKE_TOOL_X264", "FAKE_TOOL_NEROAACENC", "FAKE_TOOL_MP4BOX"}) qunsetenv(tool);
    qputenv(stage == int(job::RunningStage::Video)   ? "FAKE_TOOL_X264"
            : stage == int(job::RunningStage::Audio) ? "FAKE_TOOL_NEROAACENC"
                                                     : "FAKE_TOOL_MP4BOX",
            slow);
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Deluxe")->setChecked(true);
    window->StartBtnClick();
    // The stages before run the stand-ins to their end; a loaded machine
    // makes that slow, so the bound only keeps a broken job from hanging.
    QTRY_VERIFY_WITH_TIMEOUT(int(window->driver().runningStage()) == stage && folder.runningTools() > 0, 60000);
    QTest::qWait(300);

    // No: the job goes on untouched.
    const int before = window->findChild<QProgressBar*>()->value();
    const QString status = Child<QLabel>(window.get(), [](QLabel* l) { return l->geometry().top() == 314; })->text();
    messages_.answer = QMessageBox::No;
    window->StartBtnClick();
    QCOMPARE(messages_.texts.last(), QString("Encoding in progress. Halt and quit?"));
    QCOMPARE(messages_.positions.last(), window->frameGeometry().topLeft() + QPoint(45, 130));
    QCOMPARE(messages_.icons.last(), QMessageBox::Warning);
    QCOMPARE(messages_.titles.last(), QString("Warning"));
    QVERIFY(window->isVisible());
    QCOMPARE(window->driver().state(), job::JobState::Running);
    QCOMPARE(Child<QLabel>(window.get(), [](QLabel* l) { return l->geometry().top() == 314; })->text(), status);
    if (stage == int(job::RunningStage::Video)) QCOMPARE(window->findChild<QProgressBar*>()->value(), before);

    // Yes: every process of the job ends and the temporary folder empties.
    messages_.answer = QMessageBox::Yes;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!window->close() || !window->isVisible());
    QVERIFY(timer.elapsed() < 5000);
    QTRY_COMPARE_WITH_TIMEOUT(folder.runningTools(), 0, 5000);
    QCOMPARE(QDir(folder.tempDir()).entryList(QDir::Files), QStringList());
    for (const char* tool : {"FAKE_TOOL_X264", "FAKE_TOOL_NEROAACENC", "FAKE_TOOL_MP4BOX"}) qunsetenv(tool);
  }

  // A batch asks on closing as a job does; Yes stops its running source
  // cleanly and keeps the list, No lets it go on. F3 opens it, F2 and Start
  // start nothing of their own meanwhile.
  void closingDuringABatch() {
    ToolFolder folder;
    qputenv("FAKE_TOOL_ALL", "progress=100;step_ms=50");
    auto window = Open(folder);
    Box(window.get(), "Preview")->setChecked(true);
    QTest::keyClick(window.get(), Qt::Key_F3);
    app::BatchWindow& batch = window->batchWindow();
    QVERIFY(batch.isVisible());
    QCOMPARE(batch.windowTitle(), QString("Batch"));
    QCOMPARE(batch.addSources({folder.touch("one.avi"), folder.touch("two.avi")}), 2);
    batch.start();
    QVERIFY2(batch.running(), qPrintable(messages_.texts.join('|')));
    QTRY_VERIFY_WITH_TIMEOUT(folder.runningTools() > 0, 10000);
    QTest::keyClick(window.get(), Qt::Key_F2);
    QVERIFY(!Child<QWidget>(window.get(), [](QWidget* w) { return w->windowTitle() == "mp4 Muxer"; })->isVisible());

    messages_.answer = QMessageBox::No;
    window->StartBtnClick();
    QCOMPARE(messages_.texts.last(), QString("Encoding in progress. Halt and quit?"));
    QVERIFY(window->isVisible());
    QVERIFY(batch.running());

    messages_.answer = QMessageBox::Yes;
    window->close();
    QVERIFY(!batch.running());
    QTRY_COMPARE_WITH_TIMEOUT(folder.runningTools(), 0, 5000);
    job::BatchList kept(window->batchListPath());
    kept.Load();
    QCOMPARE(kept.size(), 2);
    QCOMPARE(kept.row(0).state, job::BatchState::Interrupted);
    QCOMPARE(kept.row(1).state, job::BatchState::Waiting);
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}), QStringList());
    QCOMPARE(QDir(folder.tempDir()).entryList(QDir::Files), QStringList());
    QVERIFY(actions_.calls.isEmpty());
  }

  void helpKeysAndMissingHelp() {
    ToolFolder folder;
    QStringList opened;
    desktop::SetUrlOpener([&](const QString& file) { opened << file; });
    auto window = Open(folder, true);
    window->DisplayHelp();
    QCOMPARE(messages_.texts, QStringList{"Не удалось загрузить файл справки."});
    QCOMPARE(messages_.positions.first(), window->frameGeometry().topLeft() + QPoint(33, 130));
    folder.touch("Help.html", "<html></html>");
    QTest::keyClick(window.get(), Qt::Key_F1);
    QCOMPARE(opened, QStringList{folder.path("Help.html")});
    desktop::SetUrlOpener({});
    window->close();
  }

  // F1 hands the help file to the desktop's program for it; with none, an
  // error box says so. The desktop's choice comes from the XDG folders,
  // which point into the test's own folder here.
  void helpWithoutAProgramSaysSo() {
    ToolFolder folder;
    const QString help = folder.touch("Help.html", "<html><title>Help</title></html>");
    QTemporaryDir xdg;
    QDir(xdg.path()).mkpath("data/applications");
    QDir(xdg.path()).mkpath("config");
    QList<std::pair<const char*, QByteArray>> saved;
    for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
      saved.append({name, qgetenv(name)});
    qputenv("XDG_DATA_HOME", xdg.filePath("data").toUtf8());
    qputenv("XDG_DATA_DIRS", xdg.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", xdg.filePath("config").toUtf8());
    qputenv("XDG_CONFIG_DIRS", xdg.filePath("config").toUtf8());

    auto window = Open(folder, true);
    QTest::keyClick(window.get(), Qt::Key_F1);
    QTRY_COMPARE(messages_.texts, QStringList{QString::fromUtf8("Не найдена программа для просмотра справки.")});
    QCOMPARE(messages_.icons.first(), QMessageBox::Critical);
    QCOMPARE(messages_.positions.first(), window->frameGeometry().topLeft() + QPoint(33, 130));

    const QString viewer = xdg.filePath("viewer.sh"), viewed = xdg.filePath("viewed.txt");
    QFile script(viewer);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QString("#!/bin/sh\nprintf '%s\\n' \"$1\" > '%1'\n").arg(viewed).toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    QFile entry(xdg.filePath("data/applications/viewer.desktop"));
    QVERIFY(entry.open(QIODevice::WriteOnly));
    entry.write(("[Desktop Entry]\nType=Application\nName=Viewer\nExec=" + viewer +
                 " %f\nMimeType=text/html;text/plain;\n").toUtf8());
    entry.close();
    QFile defaults(xdg.filePath("config/mimeapps.list"));
    QVERIFY(defaults.open(QIODevice::WriteOnly));
    defaults.write("[Default Applications]\ntext/html=viewer.desktop\ntext/plain=viewer.desktop\n");
    defaults.close();

    messages_.texts.clear();
    QTest::keyClick(window.get(), Qt::Key_F1);
    QTRY_VERIFY(QFile::exists(viewed));
    QFile shown(viewed);
    QVERIFY(shown.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(shown.readAll()).trimmed(), help);
    QTest::qWait(200);
    QCOMPARE(messages_.texts, QStringList());
    window->close();
    for (const auto& [name, value] : saved) {
      if (value.isNull()) qunsetenv(name);
      else qputenv(name, value);
    }
  }

  void languageFromTheEnvironment_data() {
    QTest::addColumn<QByteArray>("lang");
    QTest::addColumn<QString>("start");
    QTest::newRow("ru") << QByteArray("ru_RU.UTF-8") << "Старт";
    QTest::newRow("en") << QByteArray("en_US.UTF-8") << "Start";
    QTest::newRow("C") << QByteArray("C") << "Start";
  }
  void languageFromTheEnvironment() {
    QFETCH(QByteArray, lang);
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) qunsetenv(name);
    qputenv("LANG", lang);
    ToolFolder folder;
    app::StartupOptions options;
    options.paths = job::ToolPaths::ForProgramDir(folder.programDir());
    options.russianUi = desktop::IsRussianUi();
    options.afterJobActions = &actions_;
    app::MainWindow window(options);
    QTEST(window.findChild<QPushButton*>()->text(), "start");
  }

  // Closing while idle asks nothing; F2 opens the muxer only while idle;
  // reports that belong to no running stage change nothing.
  void idleRulesAndStrayReports() {
    ToolFolder folder;
    qputenv("FAKE_TOOL_X264", "progress=3;step_ms=100;sleep_ms=1500");
    auto window = Open(folder);
    window->setSource(folder.touch("clip.avi"));
    Box(window.get(), "Deluxe")->setChecked(true);
    window->StartBtnClick();
    QTRY_VERIFY_WITH_TIMEOUT(window->driver().runningStage() == job::RunningStage::Video, 5000);
    QTest::keyClick(window.get(), Qt::Key_F2);
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top != window.get()) QVERIFY2(!top->isVisible(), qPrintable(top->windowTitle()));
    }
    // A late mux or sound completion during the video stage starts nothing.
    proc::PostProgress(&window->driver(), proc::kCompletionCode, proc::kStageMux);
    proc::PostProgress(&window->driver(), proc::kCompletionCode, proc::kStageAudio);
    QTest::qWait(100);
    QCOMPARE(window->driver().runningStage(), job::RunningStage::Video);
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QCOMPARE(folder.toolNames().count("MP4Box"), 3);
    // And after the end, a stray completion is ignored too.
    proc::PostProgress(&window->driver(), proc::kCompletionCode, proc::kStageVideo);
    QTest::qWait(100);
    QCOMPARE(window->driver().state(), job::JobState::Idle);
    QCOMPARE(messages_.texts, QStringList{"All tasks are complete!"});

    QTest::keyClick(window.get(), Qt::Key_F2);
    bool muxerShown = false;
    for (QWidget* top : QApplication::topLevelWidgets()) muxerShown |= top != window.get() && top->isVisible();
    QVERIFY(muxerShown);
    QVERIFY(window->close());
    QCOMPARE(messages_.texts.size(), 1);
  }

  void droppedFiles() {
    ToolFolder folder;
    auto window = Open(folder);
    const QString clip = folder.touch("clip.avi");
    QVERIFY(window->dropFile(clip));
    QCOMPARE(window->sourcePath(), clip);
    QVERIFY(window->lastSourceDir().isEmpty());
    QVERIFY(!window->dropFile(folder.touch("movie.mp4")));
    QCOMPARE(messages_.texts, QStringList{"Unsupported format"});
    QCOMPARE(window->sourcePath(), clip);
    window->close();
  }

  // A file on the command line is taken as a drop, after a switch too; it
  // wins over the source restored from the settings.
  void sourceOnTheCommandLine() {
    ToolFolder folder;
    const QString restored = folder.touch("old.avi");
    std::ofstream(folder.programDir() + "kelvarion.ini") << "[Meta]\nPath=" << restored.toStdString();
    const QString clip = folder.touch("new clip.AVS");
    auto window = Open(folder, false, {clip});
    QCOMPARE(window->sourcePath(), restored);
    window->OpenSourceArgument();
    QCOMPARE(window->sourcePath(), clip);
    window->close();

    // Relative to the current folder.
    const QString saved = QDir::currentPath();
    QDir::setCurrent(folder.path(""));
    auto debug = Open(folder, false, {"debug", "new clip.AVS"});
    debug->OpenSourceArgument();
    QDir::setCurrent(saved);
    QVERIFY(debug->debugMode());
    QCOMPARE(debug->sourcePath(), clip);
    debug->close();
    QVERIFY(messages_.texts.isEmpty());

    // Another kind: the drop's message, and the restored source stays.
    auto refused = Open(folder, false, {"-32", folder.touch("notes.txt")});
    refused->OpenSourceArgument();
    QCOMPARE(messages_.texts, QStringList{"Unsupported format"});
    QCOMPARE(refused->sourcePath(), restored);
    refused->close();

    // A path that names no file changes nothing and shows no box.
    auto missing = Open(folder, false, {folder.path("gone.avi")});
    missing->OpenSourceArgument();
    QCOMPARE(missing->sourcePath(), restored);
    QCOMPARE(messages_.texts.size(), 1);
    missing->close();

    // Several files, as the file manager passes those opened together,
    // become rows of the batch window, which shows itself; the source stays.
    const QString second = folder.touch("second.avi");
    auto several = Open(folder, false, {clip, folder.path("gone.avi"), second, folder.touch("notes.txt")});
    several->OpenSourceArgument();
    QCOMPARE(several->sourcePath(), restored);
    QTRY_VERIFY(several->batchWindow().isVisible());
    QCOMPARE(several->batchWindow().list().size(), 2);
    QCOMPARE(several->batchWindow().list().row(0).source, clip.toStdString());
    QCOMPARE(several->batchWindow().list().row(1).source, second.toStdString());
    QCOMPARE(messages_.texts.mid(1), QStringList{"Unsupported format"});
    several->close();
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
