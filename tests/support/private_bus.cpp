#include "private_bus.h"

#include <QDBusConnectionInterface>
#include <QFile>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kLauncherPath[] = "/com/canonical/unity/launcherentry/kelvarion";
const char kLauncherInterface[] = "com.canonical.Unity.LauncherEntry";
const char kMarkerInterface[] = "org.kelvarion.Test";

}  // namespace

PrivateBus::~PrivateBus() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

bool PrivateBus::Start() {
  if (!dir_.isValid()) return false;
  const QString config = dir_.filePath("bus.conf");
  QFile file(config);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(QString("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
                     " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                     "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>\n"
                     "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                     "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                 .arg(dir_.path())
                 .toUtf8());
  file.close();

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  const QByteArray configArg = "--config-file=" + config.toUtf8();
  pid_ = fork();
  if (pid_ == 0) {
    // The daemon ends with the test, however the test ends.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(pipeFds[1], STDOUT_FILENO);
    // It says on every start that it may not raise its file limit.
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDERR_FILENO);
    execlp("dbus-daemon", "dbus-daemon", "--nofork", "--print-address=1", configArg.constData(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(pipeFds[1]);
  if (pid_ < 0) {
    close(pipeFds[0]);
    return false;
  }
  QByteArray line;
  char c = 0;
  while (read(pipeFds[0], &c, 1) == 1 && c != '\n') line += c;
  close(pipeFds[0]);
  address_ = QString::fromUtf8(line.trimmed());
  if (address_.isEmpty()) return false;
  qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
  return true;
}

QDBusConnection PrivateBus::Connect(const QString& name) const {
  return QDBusConnection::connectToBus(address_, name);
}

FileManagerStub::FileManagerStub(QDBusConnection connection) : connection_(connection) {
  connection_.registerObject("/org/freedesktop/FileManager1", this, QDBusConnection::ExportAllSlots);
  connection_.registerService("org.freedesktop.FileManager1");
}

FileManagerStub::~FileManagerStub() {
  connection_.unregisterService("org.freedesktop.FileManager1");
  connection_.unregisterObject("/org/freedesktop/FileManager1");
}

void FileManagerStub::ShowItems(const QStringList& uris, const QString&, const QDBusMessage& message) {
  shown << uris.join(' ');
  // A silent file manager keeps the caller waiting for an answer that never comes.
  if (silent) message.setDelayedReply(true);
}

LauncherRecorder::LauncherRecorder(QDBusConnection connection) : connection_(connection) {
  connection_.connect(QString(), kLauncherPath, kLauncherInterface, "Update", this,
                      SLOT(OnUpdate(QString, QVariantMap)));
  connection_.connect(QString(), "/", kMarkerInterface, "Marker", this, SLOT(OnMarker()));
}

void LauncherRecorder::OnUpdate(const QString&, const QVariantMap& properties) {
  updates << Update{properties.value("progress").toDouble(), properties.value("progress-visible").toBool(),
                    properties.value("urgent").toBool()};
}

void LauncherRecorder::OnMarker() { ++markersSeen_; }

bool LauncherRecorder::CatchUp(QDBusConnection sender) {
  const int awaited = markersSeen_ + 1;
  sender.send(QDBusMessage::createSignal("/", kMarkerInterface, "Marker"));
  return QTest::qWaitFor([&] { return markersSeen_ >= awaited; }, 10000);
}
