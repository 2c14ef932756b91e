// A D-Bus session bus of the test's own, and the desktop services that tests
// put on it: a file manager that records what it is asked to show, and a
// listener that records the launcher entry's progress signals.
#pragma once

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QtTest>

#include <sys/types.h>

// A dbus-daemon listening in a temporary folder, with no services to start
// on demand. Start() points DBUS_SESSION_BUS_ADDRESS at it, so it must run
// before anything in the process uses the session bus: first thing in main().
class PrivateBus {
 public:
  PrivateBus() = default;
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;
  ~PrivateBus();  // ends the daemon

  bool Start();
  const QString& address() const { return address_; }
  // A connection of its own to the bus, for the services the test plays.
  QDBusConnection Connect(const QString& name) const;

 private:
  QTemporaryDir dir_;
  QString address_;
  pid_t pid_ = -1;
};

// org.freedesktop.FileManager1 that records the items it is asked to show,
// and answers at once or, while silent, never.
class FileManagerStub : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

 public:
  explicit FileManagerStub(QDBusConnection connection);
  ~FileManagerStub() override;  // leaves the bus

  QStringList shown;  // one entry per call, its URIs joined by blanks
  bool silent = false;

 public slots:
  void ShowItems(const QStringList& uris, const QString& startupId, const QDBusMessage& message);

 private:
  QDBusConnection connection_;
};

// Records every com.canonical.Unity.LauncherEntry Update signal on the bus.
class LauncherRecorder : public QObject {
  Q_OBJECT

 public:
  struct Update {
    double progress = 0;
    bool progressVisible = false;
    bool urgent = false;
  };

  explicit LauncherRecorder(QDBusConnection connection);
  QList<Update> updates;

  // Waits until every signal sent so far through `sender` has arrived:
  // signals of one connection arrive in order, so a marker sent after them
  // arrives last.
  bool CatchUp(QDBusConnection sender);

 private slots:
  void OnUpdate(const QString& app, const QVariantMap& properties);
  void OnMarker();

 private:
  QDBusConnection connection_;
  int markersSeen_ = 0;
};

// The main() of a test whose application talks to a private bus: the bus
// starts before the application, and `bus` points at it while `Test` runs.
template <typename Test>
int RunOnPrivateBus(int argc, char** argv, PrivateBus*& bus) {
  PrivateBus privateBus;
  if (!privateBus.Start()) qFatal("cannot start a private dbus-daemon");
  bus = &privateBus;
  QApplication application(argc, argv);
  Test test;
  return QTest::qExec(&test, argc, argv);
}
