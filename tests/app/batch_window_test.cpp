// The batch window in the program's own process, its sources run by
// stand-in tools as real child processes: the list it keeps, each row's
// end, the one after-job action, and runs that match single jobs.
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QScrollBar>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QRegularExpression>
#include <QtTest>

#include "app/batch_window.h"
#include "app/main_window.h"
#include "desktop/message_box.h"
#include "desktop/ui_texts.h"
#include "job/scripts.h"
#include "no_actions.h"
#include "tool_folder.h"

namespace {

// The chooser answered as a user would answer it; the answers asked for
// are counted.
class AnsweredBatch : public app::BatchWindow {
 public:
  AnsweredBatch(app::MainWindow& main, const QString& listPath) : BatchWindow(main, listPath.toStdString()) {}
  QString fps = "30";
  QString wavPath;
  int asked = 0;
  std::vector<std::pair<int, int>> rangesShown;

 protected:
  void askFrameRate(job::Sequence& sequence) override {
    ++asked;
    rangesShown.emplace_back(sequence.first, sequence.last);
    sequence.fps = fps.toStdString();
    sequence.first += 1;
    sequence.wavPath = wavPath.toStdString();
  }
};

// A row's three columns as the list shows them, joined by " | ".
QString RowText(const app::BatchWindow& batch, int index) {
  QTreeWidgetItem* item = batch.rowsView()->topLevelItem(index);
  if (item == nullptr) return "<no row>";
  return QStringList{item->text(0), item->text(1), item->text(2)}.join(" | ");
}

std::vector<job::BatchState> States(const job::BatchList& list) {
  std::vector<job::BatchState> states;
  for (const job::BatchRow& row : list.rows()) states.push_back(row.state);
  return states;
}

// A folder's tool calls with the folder's path taken out, so that two
// folders' calls compare.
std::vector<QStringList> CallsWithin(const ToolFolder& folder) {
  std::vector<QStringList> calls = folder.invocations();
  const QString root = QString::fromStdString(folder.programDir());
  for (QStringList& call : calls) call.replaceInStrings(root, "<folder>/");
  // The two stages of the sound's pipeline start together, and which logs
  // its call first is the scheduler's choice.
  for (std::size_t i = 0; i + 1 < calls.size(); ++i) {
    if (calls[i].first() == "neroAacEnc" && calls[i + 1].first() == "avs2pipemod") std::swap(calls[i], calls[i + 1]);
  }
  return calls;
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

}  // namespace

class BatchWindowTest : public QObject {
  Q_OBJECT

  RecordedActions actions_;
  QList<desktop::MessageRequest> boxes_;

  std::unique_ptr<app::MainWindow> Open(const ToolFolder& folder) {
    app::StartupOptions options;
    options.paths = job::ToolPaths::ForProgramDir(folder.programDir());
    options.system64Bit = false;
    options.afterJobActions = &actions_;
    auto window = std::make_unique<app::MainWindow>(options);
    window->show();
    return window;
  }

  static void Tick(app::MainWindow& window, const QStringList& modes) {
    for (QCheckBox* box : window.findChildren<QCheckBox*>()) box->setChecked(modes.contains(box->text()));
  }

  static bool RunToEnd(app::BatchWindow& batch) {
    batch.start();
    return QTest::qWaitFor([&] { return !batch.running(); }, 60000);
  }

 private slots:
  void init() {
    actions_.calls.clear();
    boxes_.clear();
    desktop::SetMessageHandler([this](const desktop::MessageRequest& request) {
      boxes_ << request;
      return QMessageBox::Ok;
    });
    for (const char* name : {"FAKE_TOOL_ALL", "FAKE_TOOL_X264", "FAKE_TOOL_NEROAACENC", "FAKE_TOOL_MP4BOX",
                             "FAKE_PROBE_FPS", "FAKE_PROBE_AUDIO", "FAKE_PROBE_FAIL"}) {
      qunsetenv(name);
    }
    qputenv("FAKE_TOOL_ALL", "progress=4;step_ms=5");
  }
  void cleanup() { desktop::SetMessageHandler({}); }

  void aFailingSourceInTheMiddleLeavesTheOthersDone() {
    ToolFolder folder;
    qputenv("FAKE_TOOL_MP4BOX", "fail_on=broken_clip;stderr=Error: cannot import broken_clip_preview.mp4");
    auto window = Open(folder);
    Tick(*window, {"Preview", "Standard"});
    window->findChild<QComboBox*>()->setCurrentIndex(4);  // the sound
    QVERIFY(QDir(folder.path("")).mkpath("seq"));
    for (const char* frame : {"seq/shot007.png", "seq/shot008.png", "seq/shot009.png"}) folder.touch(frame);
    const QString clip = folder.touch("clip.avi");
    const QString broken = folder.touch("broken_clip.avi");
    const QString voice = folder.touch("voice.wav");
    const QString sequence = folder.path("seq/shot007.png");
    const QString music = folder.touch("seq/music.wav");

    AnsweredBatch batch(*window, folder.path("test.batch"));
    batch.wavPath = music;
    // A file of another kind is refused with the main window's box; the rest go in order.
    QCOMPARE(batch.addSources({clip, broken, folder.touch("notes.txt"), voice, sequence}), 4);
    QCOMPARE(boxes_.size(), 1);
    QCOMPARE(boxes_[0].text, QString("Unsupported format"));
    boxes_.clear();
    // Only the sequence asked, with the range found, and keeps its answers.
    QCOMPARE(batch.asked, 1);
    QCOMPARE(batch.rangesShown, (std::vector<std::pair<int, int>>{{7, 9}}));
    QCOMPARE(batch.list().row(3).fps, std::string("30"));
    QCOMPARE(batch.list().row(3).first, 8);
    QCOMPARE(batch.list().row(3).wavPath, music.toStdString());

    // What the rows and the line under them show while they run.
    QStringList seen, overall;
    QTimer watch;
    connect(&watch, &QTimer::timeout, this, [&] {
      for (int i = 0; i < batch.rowsView()->topLevelItemCount(); ++i) seen << RowText(batch, i);
      overall << batch.overallText();
    });
    watch.start(2);
    QVERIFY(RunToEnd(batch));
    watch.stop();

    using S = job::BatchState;
    QCOMPARE(States(batch.list()), (std::vector<S>{S::Done, S::Failed, S::Done, S::Done}));
    QCOMPARE(batch.list().row(1).failedModes, (std::vector<int>{1, 2}));
    QVERIFY2(QString::fromStdString(batch.list().row(1).reason).contains("MP4Box"),
             batch.list().row(1).reason.c_str());
    QCOMPARE(batch.list().row(0).outputs,
             (std::vector<std::string>{folder.path("clip_preview.mp4").toStdString(),
                                       folder.path("clip_standard.mp4").toStdString()}));
    QCOMPARE(batch.list().row(2).outputs,
             (std::vector<std::string>{folder.path("voice_preview.m4a").toStdString(),
                                       folder.path("voice_standard.m4a").toStdString()}));
    for (const std::vector<std::string>& outputs : {batch.list().row(0).outputs, batch.list().row(2).outputs}) {
      for (const std::string& output : outputs) QVERIFY2(QFileInfo(QString::fromStdString(output)).size() > 0, output.c_str());
    }
    QVERIFY(QFileInfo(folder.path("seq/shot007_preview.mp4")).size() > 0);
    QCOMPARE(QDir(folder.path("")).entryList({"broken_clip*"}), QStringList{"broken_clip.avi"});

    // The failure is named, in its row with the tool's own error line, and
    // in the one box at the end; the whole reason is the row's tooltip.
    QCOMPARE(RowText(batch, 1), QString("broken_clip.avi | failed: preview, standard | "
                                        "Error: cannot import broken_clip_preview.mp4"));
    QVERIFY(batch.rowsView()->topLevelItem(1)->toolTip(2).contains("Command: "));
    QCOMPARE(RowText(batch, 0), QString("clip.avi | done | clip_preview.mp4, clip_standard.mp4"));
    QCOMPARE(boxes_.size(), 1);
    QCOMPARE(boxes_[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes_[0].text, QString("Failed sources: broken_clip.avi"));
    QCOMPARE(actions_.calls, QStringList{"sound " + folder.path("tools/rnd.wav")});

    const QRegularExpression runningRow(R"(^voice\.wav \| running \d{1,3}%; Audio (preview|standard) \d{1,3}% \| $)");
    QVERIFY2(!seen.filter(runningRow).isEmpty(), qPrintable(seen.join('\n')));
    // A running pass shows the source's figure, its time left, and the pass's own figure.
    QVERIFY2(!seen.filter(QRegularExpression(
                              R"(^clip\.avi \| running \d+%, 0:0\d left; Video preview pass 2 of 2 \d+% \| $)"))
                  .isEmpty(),
             qPrintable(seen.join('\n')));
    QVERIFY2(!overall.filter(QRegularExpression(R"(^[0-3] of 4 done, batch \d{1,3}%, \d+:\d\d left$)")).isEmpty(),
             qPrintable(overall.join('\n')));
    QCOMPARE(batch.overallText(), QString("4 of 4 done, batch 100%"));
    QCOMPARE(batch.overallBar()->value(), 100);

    // The file holds the same rows for the next start.
    job::BatchList reread(folder.path("test.batch").toStdString());
    reread.Load();
    QCOMPARE(reread.rows(), batch.list().rows());
    // Nothing left to run: a second start changes nothing.
    batch.start();
    QVERIFY(!batch.running());
    QCOMPARE(actions_.calls.size(), 1);
  }

  void eachSourceRunsAsItsSingleJobWould() {
    // Each folder logs its tools' calls while it is the newest.
    ToolFolder single;
    single.touch("a.avi");
    single.touch("b.wav");
    {
      auto window = Open(single);
      Tick(*window, {"Preview", "Deluxe"});
      for (const char* source : {"a.avi", "b.wav"}) {
        window->setSource(single.path(source));
        window->StartBtnClick();
        QVERIFY(QTest::qWaitFor([&] { return window->driver().state() == job::JobState::Idle; }, 30000));
      }
    }
    ToolFolder batched;
    batched.touch("a.avi");
    batched.touch("b.wav");
    {
      auto window = Open(batched);
      Tick(*window, {"Preview", "Deluxe"});
      AnsweredBatch batch(*window, batched.path("test.batch"));
      QCOMPARE(batch.addSources({batched.path("a.avi"), batched.path("b.wav")}), 2);
      QVERIFY(RunToEnd(batch));
    }
    QVERIFY(!single.invocations().empty());
    QCOMPARE(CallsWithin(batched), CallsWithin(single));
    QCOMPARE(QDir(batched.path("")).entryList({"*.mp4", "*.m4a"}), QDir(single.path("")).entryList({"*.mp4", "*.m4a"}));
  }

  void stoppingKeepsTheRestAndTheStoppedSourceRunsAgain() {
    ToolFolder folder;
    auto window = Open(folder);
    Tick(*window, {"Preview"});
    AnsweredBatch batch(*window, folder.path("test.batch"));
    QCOMPARE(batch.addSources({folder.touch("one.avi"), folder.touch("two.avi"), folder.touch("three.avi")}), 3);
    qputenv("FAKE_TOOL_ALL", "progress=200;step_ms=20");
    batch.start();
    QVERIFY(QTest::qWaitFor([&] { return batch.list().row(0).state == job::BatchState::Running; }, 10000));
    // Past the naming of its outputs, well into its first pass.
    QVERIFY(QTest::qWaitFor([&] { return window->barValue() >= 5; }, 20000));
    batch.stopCleanly();
    QVERIFY(!batch.running());
    using S = job::BatchState;
    QCOMPARE(States(batch.list()), (std::vector<S>{S::Interrupted, S::Waiting, S::Waiting}));
    QVERIFY(QTest::qWaitFor([&] { return folder.runningTools() == 0; }, 10000));
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}), QStringList{});
    QVERIFY(actions_.calls.isEmpty());
    QVERIFY(boxes_.isEmpty());

    qputenv("FAKE_TOOL_ALL", "progress=4;step_ms=5");
    QVERIFY(RunToEnd(batch));
    QCOMPARE(States(batch.list()), (std::vector<S>{S::Done, S::Done, S::Done}));
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}),
             (QStringList{"one_preview.mp4", "three_preview.mp4", "two_preview.mp4"}));
    QCOMPARE(boxes_.size(), 1);
    QCOMPARE(boxes_[0].text, QString("All tasks are complete!"));
  }

  void rowsMoveAndGoButNotTheRunningOne() {
    ToolFolder folder;
    auto window = Open(folder);
    Tick(*window, {"Preview"});
    AnsweredBatch batch(*window, folder.path("test.batch"));
    const QString a = folder.touch("a.avi"), b = folder.touch("b.avi"), c = folder.touch("c.avi");
    QCOMPARE(batch.addSources({a, b, c}), 3);
    const auto sources = [&] {
      QStringList names;
      for (const job::BatchRow& row : batch.list().rows()) names << QFileInfo(QString::fromStdString(row.source)).fileName();
      return names;
    };
    batch.selectRow(2);
    batch.moveSelected(-1);
    QCOMPARE(sources(), (QStringList{"a.avi", "c.avi", "b.avi"}));
    QCOMPARE(batch.selectedRow(), 1);
    batch.moveSelected(-1);
    batch.moveSelected(-1);  // already first
    QCOMPARE(sources(), (QStringList{"c.avi", "a.avi", "b.avi"}));
    batch.selectRow(2);
    batch.moveSelected(+1);  // already last
    QCOMPARE(sources(), (QStringList{"c.avi", "a.avi", "b.avi"}));

    qputenv("FAKE_TOOL_ALL", "progress=100;step_ms=20");
    batch.start();
    QVERIFY(QTest::qWaitFor([&] { return batch.list().row(0).state == job::BatchState::Running; }, 10000));
    // The running row stays where it is; a waiting one goes.
    batch.selectRow(0);
    batch.removeSelected();
    batch.selectRow(1);
    batch.moveSelected(-1);
    QCOMPARE(sources(), (QStringList{"c.avi", "a.avi", "b.avi"}));
    batch.selectRow(1);
    batch.removeSelected();
    QCOMPARE(sources(), (QStringList{"c.avi", "b.avi"}));
    qputenv("FAKE_TOOL_ALL", "progress=4;step_ms=5");
    QVERIFY(QTest::qWaitFor([&] { return !batch.running(); }, 60000));
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}), (QStringList{"b_preview.mp4", "c_preview.mp4"}));
  }

  // An interrupted row makes only the ticked modes it has not finished.
  // A file a runner made meanwhile under a name the row's run would have
  // had, and a finished output of a mode no longer ticked, stay as they are.
  void anInterruptedRowKeepsWhatItFinished() {
    ToolFolder folder;
    const QString listPath = folder.path("test.batch");
    job::BatchRow interrupted;
    interrupted.source = folder.touch("a.avi").toStdString();
    interrupted.state = job::BatchState::Running;  // as a killed program left it
    interrupted.outputs = {folder.touch("a_preview.mp4", "finished").toStdString(),
                           folder.touch("a_deluxe.mp4", "finished").toStdString()};
    folder.touch("a_standard.mp4", "a runner's");
    {
      job::BatchList list(listPath.toStdString());
      list.Add(interrupted);
    }
    auto window = Open(folder);
    Tick(*window, {"Preview", "Standard"});
    AnsweredBatch batch(*window, listPath);
    QCOMPARE(batch.list().row(0).state, job::BatchState::Interrupted);
    QCOMPARE(RowText(batch, 0), QString("a.avi | interrupted, starts again | a_preview.mp4, a_deluxe.mp4"));
    QVERIFY(RunToEnd(batch));
    QCOMPARE(batch.list().row(0).state, job::BatchState::Done);
    QCOMPARE(Contents(folder.path("a_preview.mp4")), QByteArray("finished"));
    QCOMPARE(Contents(folder.path("a_deluxe.mp4")), QByteArray("finished"));
    QCOMPARE(Contents(folder.path("a_standard.mp4")), QByteArray("a runner's"));
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}),
             (QStringList{"a1_standard.mp4", "a_deluxe.mp4", "a_preview.mp4", "a_standard.mp4"}));
    QCOMPARE(batch.list().row(0).outputs.back(), folder.path("a1_standard.mp4").toStdString());
    // Only the Standard was encoded.
    int previewCalls = 0;
    for (const QStringList& call : folder.invocations()) previewCalls += call.join(' ').contains("_preview");
    QCOMPARE(previewCalls, 0);
  }

  // A list whose file cannot be written says so under its rows, and Start
  // runs nothing until it can be written again. Nothing the list names is
  // ever removed, even a document a damaged or edited list names as output,
  // and the batch leaves the main window's remembered job alone.
  void aListThatCannotBeSavedIsNotRun() {
    ToolFolder folder;
    const QString settings = folder.path("settings");
    QVERIFY(QDir().mkpath(settings));
    const QString document = folder.touch("thesis.odt", "the user's");
    job::BatchRow edited;
    edited.source = folder.touch("a.avi").toStdString();
    edited.state = job::BatchState::Interrupted;
    edited.outputs = {document.toStdString(), folder.path("a_preview.mp4").toStdString()};
    {
      job::BatchList list((settings + "/test.batch").toStdString());
      list.Add(edited);
    }
    // What the main window remembers of its own job stays as it is.
    const QByteArray remembered = "[Meta]\nAuthor=Ann\nPath=" + folder.touch("last.avi").toUtf8() +
                                  "\nPathPrev=" + folder.touch("last_preview.mp4").toUtf8() + "\n";
    folder.touch("kelvarion.ini", remembered);
    auto window = Open(folder);
    Tick(*window, {"Preview"});
    AnsweredBatch batch(*window, settings + "/test.batch");
    QVERIFY(QDir(settings).removeRecursively());  // the disk is gone, say
    batch.addSources({folder.touch("b.avi")});
    auto* problem = batch.findChild<QLabel*>("saveProblem");
    QVERIFY(problem != nullptr && !problem->isHidden());
    QCOMPARE(problem->text(), "The list could not be saved: " + settings + "/test.batch");
    batch.start();
    QVERIFY(!batch.running());
    QVERIFY(folder.invocations().empty());

    QVERIFY(QDir().mkpath(settings));
    QVERIFY(RunToEnd(batch));
    QVERIFY(problem->isHidden());
    QCOMPARE(Contents(document), QByteArray("the user's"));
    QCOMPARE(QDir(folder.path("")).entryList({"*.mp4"}),
             (QStringList{"a_preview.mp4", "b_preview.mp4", "last_preview.mp4"}));
    QCOMPARE(Contents(folder.path("kelvarion.ini")), remembered);
  }

  // A source gone since it was added, and one whose probe fails, fail every
  // ticked mode with their reason; the batch goes on past them.
  void sourcesThatNeverStartFailAndTheBatchGoesOn() {
    ToolFolder folder;
    auto window = Open(folder);
    Tick(*window, {"Preview", "Deluxe"});
    AnsweredBatch batch(*window, folder.path("test.batch"));
    const QString gone = folder.touch("gone.avi");
    QCOMPARE(batch.addSources({gone, folder.touch("kept.avi")}), 2);
    QVERIFY(QFile::remove(gone));
    QVERIFY(RunToEnd(batch));
    QCOMPARE(batch.list().row(0).state, job::BatchState::Failed);
    QCOMPARE(batch.list().row(0).failedModes, (std::vector<int>{1, 3}));
    QCOMPARE(batch.list().row(0).reason, std::string("The file does not exist"));
    QCOMPARE(batch.list().row(1).state, job::BatchState::Done);
    QCOMPARE(boxes_.size(), 1);
    QCOMPARE(boxes_[0].text, QString("Failed sources: gone.avi"));

    qputenv("FAKE_PROBE_FAIL", "1");
    boxes_.clear();
    QCOMPARE(batch.addSources({folder.touch("unreadable.avi")}), 1);
    QVERIFY(RunToEnd(batch));
    QCOMPARE(batch.list().row(2).state, job::BatchState::Failed);
    QCOMPARE(batch.list().row(2).failedModes, (std::vector<int>{1, 3}));
    QVERIFY(!batch.list().row(2).reason.empty());
    QCOMPARE(boxes_.size(), 1);
  }

  // The window lays out with its size: the list takes what the buttons
  // leave, and every column, the state among them, stays in view without
  // sideways scrolling, even for a long name. Esc closes it while idle only.
  void layoutFollowsTheWindowAndEscClosesItWhileIdle() {
    ToolFolder folder;
    auto window = Open(folder);
    Tick(*window, {"Preview"});
    AnsweredBatch batch(*window, folder.path("test.batch"));
    const QString longName = QString::fromUtf8("Очень длинное имя клипа о летнем вечере у озера, снятого с дрона.avi");
    QVERIFY(longName.size() >= 60);
    QCOMPARE(batch.addSources({folder.touch(longName), folder.touch("b.avi")}), 2);
    batch.show();
    QVERIFY(QTest::qWaitForWindowExposed(&batch));
    for (const QSize size : {QSize(480, 220), QSize(640, 320), QSize(1000, 700)}) {
      batch.resize(size);
      QTRY_COMPARE(batch.size(), size);
      QCoreApplication::processEvents();
      QTreeWidget* rows = batch.rowsView();
      const QPushButton* startButton = batch.findChild<QPushButton*>("start");
      QVERIFY2(rows->geometry().right() > size.width() - 150 && rows->geometry().bottom() > size.height() - 60,
               qPrintable(QString("%1x%2").arg(rows->width()).arg(rows->height())));
      QVERIFY(startButton->geometry().bottom() < size.height() && startButton->geometry().right() < size.width());
      QVERIFY(startButton->geometry().left() > rows->geometry().right());
      const QHeaderView* header = rows->header();
      QVERIFY(header->sectionViewportPosition(1) + header->sectionSize(1) <= rows->viewport()->width());
      QVERIFY(header->sectionSize(1) >= rows->fontMetrics().horizontalAdvance("waiting"));
      QVERIFY(header->sectionViewportPosition(0) >= 0);
      QVERIFY(rows->horizontalScrollBar() == nullptr || !rows->horizontalScrollBar()->isVisible());
    }
    QTest::keyClick(batch.rowsView(), Qt::Key_Escape);
    QVERIFY(batch.isHidden());

    batch.show();
    qputenv("FAKE_TOOL_ALL", "progress=50;step_ms=20");
    batch.start();
    QVERIFY(batch.running());
    QTest::keyClick(batch.rowsView(), Qt::Key_Escape);
    QVERIFY(batch.isVisible());
    qputenv("FAKE_TOOL_ALL", "progress=4;step_ms=5");
    QVERIFY(QTest::qWaitFor([&] { return !batch.running(); }, 60000));
  }

  void noModeTickedStartsNothing() {
    ToolFolder folder;
    auto window = Open(folder);
    Tick(*window, {});
    AnsweredBatch batch(*window, folder.path("test.batch"));
    QCOMPARE(batch.addSources({folder.touch("a.avi")}), 1);
    batch.start();
    QVERIFY(!batch.running());
    QCOMPARE(boxes_.size(), 1);
    QCOMPARE(boxes_[0].text, QString("Select a coding mode!"));
    QCOMPARE(batch.list().row(0).state, job::BatchState::Waiting);
    QVERIFY(folder.invocations().empty());
  }
};

QTEST_MAIN(BatchWindowTest)
#include "batch_window_test.moc"
