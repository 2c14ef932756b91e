// The main window on a session bus of the test's own: the launcher entry's
// progress over a whole job and after it, and the right-click reveal.
#include <QCheckBox>
#include <QToolButton>
#include <QtTest>

#include <fstream>

#include "app/batch_window.h"
#include "app/main_window.h"
#include "desktop/message_box.h"
#include "no_actions.h"
#include "tests/support/private_bus.h"
#include "tool_folder.h"

namespace {

PrivateBus* bus = nullptr;

}  // namespace

class DesktopBusTest : public QObject {
  Q_OBJECT

  NoActions actions_;

  std::unique_ptr<app::MainWindow> Open(const ToolFolder& folder) {
    app::StartupOptions options;
    options.paths = job::ToolPaths::ForProgramDir(folder.programDir());
    options.system64Bit = false;
    options.afterJobActions = &actions_;
    auto window = std::make_unique<app::MainWindow>(options);
    window->show();
    return window;
  }

  static QToolButton* ButtonWithHint(QWidget* window, const QString& hint) {
    for (QToolButton* button : window->findChildren<QToolButton*>())
      if (button->toolTip() == hint) return button;
    return nullptr;
  }

  static void StartDeluxeJob(app::MainWindow* window, const ToolFolder& folder) {
    window->setSource(folder.touch("clip.avi"));
    for (QCheckBox* box : window->findChildren<QCheckBox*>()) box->setChecked(box->text() == "Deluxe");
    window->StartBtnClick();
  }

 private slots:
  void init() {
    for (const char* name : {"FAKE_TOOL_ALL", "FAKE_TOOL_X264", "FAKE_TOOL_NEROAACENC", "FAKE_TOOL_MP4BOX"})
      qunsetenv(name);
  }
  void cleanup() { desktop::SetMessageHandler({}); }

  // Idle shows no progress; a run shows its progress, asks for attention
  // while the final box is open and clears everything after it; showing the
  // window again, during the box or after the run, changes nothing.
  void launcherEntryOverAJobAndAfterIt() {
    LauncherRecorder launcher(bus->Connect("launcher"));
    ToolFolder folder;
    qputenv("FAKE_TOOL_X264", "progress=4;step_ms=20");
    auto window = Open(folder);
    QVERIFY(launcher.CatchUp(QDBusConnection::sessionBus()));
    QTRY_COMPARE(launcher.updates.size(), 1);
    QVERIFY(!launcher.updates[0].progressVisible);
    QVERIFY(!launcher.updates[0].urgent);

    int updatesWhenTheBoxOpened = -1;
    desktop::SetMessageHandler([&](const desktop::MessageRequest&) {
      window->showMinimized();
      window->showNormal();
      window->hide();
      window->show();
      launcher.CatchUp(QDBusConnection::sessionBus());
      updatesWhenTheBoxOpened = launcher.updates.size();
      return QMessageBox::Ok;
    });
    StartDeluxeJob(window.get(), folder);
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    window->showMinimized();
    window->showNormal();
    window->hide();
    window->show();
    QVERIFY(launcher.CatchUp(QDBusConnection::sessionBus()));

    const QList<LauncherRecorder::Update>& updates = launcher.updates;
    QVERIFY(updatesWhenTheBoxOpened >= 3);
    const LauncherRecorder::Update& atTheBox = updates[updatesWhenTheBoxOpened - 1];
    QVERIFY(atTheBox.urgent);
    QVERIFY(!atTheBox.progressVisible);
    // Each stage's bar starts again from 0.
    for (int i = 1; i < updatesWhenTheBoxOpened - 1; ++i) {
      QVERIFY(updates[i].progressVisible);
      QVERIFY(updates[i].progress >= 0 && updates[i].progress <= 1);
    }
    // After the box only the idle state, once.
    QCOMPARE(updates.size(), updatesWhenTheBoxOpened + 1);
    QVERIFY(!updates.last().progressVisible);
    QVERIFY(!updates.last().urgent);
    window->close();
  }

  // A batch shows the whole batch's progress, not each source's: the first
  // of two sources within the first half, the second never below it, and
  // the call for attention only once, while the box after the last source
  // is open.
  void launcherEntryOverABatch() {
    LauncherRecorder launcher(bus->Connect("launcher"));
    ToolFolder folder;
    qputenv("FAKE_TOOL_X264", "progress=4;step_ms=20");
    auto window = Open(folder);
    QVERIFY(launcher.CatchUp(QDBusConnection::sessionBus()));
    QTRY_COMPARE(launcher.updates.size(), 1);
    for (QCheckBox* box : window->findChildren<QCheckBox*>()) box->setChecked(box->text() == "Deluxe");
    int boxes = 0;
    int updatesWhenTheBoxOpened = -1;
    desktop::SetMessageHandler([&](const desktop::MessageRequest&) {
      ++boxes;
      launcher.CatchUp(QDBusConnection::sessionBus());
      updatesWhenTheBoxOpened = launcher.updates.size();
      return QMessageBox::Ok;
    });
    app::BatchWindow& batch = window->batchWindow();
    QCOMPARE(batch.addSources({folder.touch("one.avi"), folder.touch("two.avi")}), 2);
    batch.start();
    QTRY_VERIFY_WITH_TIMEOUT(!batch.running(), 30000);
    QVERIFY(launcher.CatchUp(QDBusConnection::sessionBus()));
    QCOMPARE(boxes, 1);

    QList<double> shown;
    int urgent = 0;
    for (const LauncherRecorder::Update& update : launcher.updates) {
      if (update.progressVisible) shown << update.progress;
      urgent += update.urgent;
    }
    QCOMPARE(urgent, 1);
    // The first source fills the first half, stage by stage; once past it,
    // the second source's stages never show less than half.
    const auto past = std::find_if(shown.begin(), shown.end(), [](double value) { return value > 0.5; });
    QVERIFY2(past != shown.begin() && past != shown.end(), "the second source shows past half of the batch");
    QVERIFY(std::all_of(shown.begin(), past, [](double value) { return value >= 0 && value <= 0.5; }));
    QVERIFY(std::all_of(past, shown.end(), [](double value) { return value >= 0.5 && value <= 1; }));
    QCOMPARE(shown.last(), 1.0);
    // The batch ends as a single job does: busy while its box is open, the
    // idle state once after it.
    QVERIFY(launcher.updates[updatesWhenTheBoxOpened - 1].urgent);
    QCOMPARE(launcher.updates.size(), updatesWhenTheBoxOpened + 1);
    QVERIFY(!launcher.updates.last().progressVisible);
    QVERIFY(!launcher.updates.last().urgent);
    window->close();
  }

  // One right-click reveals once; during a job the buttons reveal nothing.
  void rightClickRevealsOnceAndOnlyWhileIdle() {
    FileManagerStub fileManager(bus->Connect("file-manager"));
    ToolFolder folder;
    const QString preview = folder.touch("clip_preview.mp4");
    std::ofstream(folder.programDir() + "kelvarion.ini") << "[Meta]\nPathPrev=" << preview.toStdString() << "\n";
    auto window = Open(folder);
    QToolButton* setPrev = ButtonWithHint(window.get(), "Preview mode settings");
    QTest::mouseClick(setPrev, Qt::RightButton);
    QTRY_COMPARE(fileManager.shown, QStringList{QUrl::fromLocalFile(preview).toString()});
    QTest::qWait(200);
    QCOMPARE(fileManager.shown.size(), 1);

    qputenv("FAKE_TOOL_X264", "progress=3;step_ms=100;sleep_ms=1000");
    desktop::SetMessageHandler([](const desktop::MessageRequest&) { return QMessageBox::Ok; });
    StartDeluxeJob(window.get(), folder);
    QTRY_VERIFY(window->driver().runningStage() == job::RunningStage::Video);
    QVERIFY(!setPrev->isEnabled());
    QTest::mouseClick(setPrev, Qt::RightButton);
    QTRY_COMPARE_WITH_TIMEOUT(window->driver().state(), job::JobState::Idle, 30000);
    QCOMPARE(fileManager.shown.size(), 1);
    window->close();
  }
};

int main(int argc, char** argv) { return RunOnPrivateBus<DesktopBusTest>(argc, argv, bus); }
#include "desktop_bus_test.moc"
