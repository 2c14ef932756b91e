// The after-job list and the launcher-entry progress without a session bus.
#include <QtTest>

#include "desktop/after_job.h"
#include "desktop/taskbar.h"

namespace {

class Recorder : public desktop::AfterJobActions {
 public:
  QStringList calls;
  void PowerOff() override { calls << "off"; }
  void Sleep() override { calls << "sleep"; }
  void Hibernate() override { calls << "hibernate"; }
  void PlaySound(const QString& file) override { calls << "sound:" + file; }
};

}  // namespace

class DesktopServicesTest : public QObject {
  Q_OBJECT

 private slots:
  void afterJobIndexes() {
    Recorder r;
    for (int index = 0; index <= 5; ++index) r.Perform(index, "/t/rnd.wav");
    QCOMPARE(r.calls, (QStringList{"off", "sleep", "hibernate", "sound:/t/rnd.wav"}));
  }

  // With no session bus every operation does nothing and says so.
  void noBusNoProgress() {
    desktop::TaskbarProgress taskbar;
    QVERIFY(!taskbar.Init());
    QVERIFY(!taskbar.Ready());
    QVERIFY(!taskbar.SetState(desktop::TaskbarState::Normal));
    QVERIFY(!taskbar.SetValue(45, 100));
  }
};

int main(int argc, char** argv) {
  // The bus address must be gone before the first connection is tried.
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/kelvarion-test-bus");
  QCoreApplication app(argc, argv);
  DesktopServicesTest test;
  return QTest::qExec(&test, argc, argv);
}
#include "desktop_services_test.moc"
