#include "desktop/after_job.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace desktop {

namespace {

void AskLoginManager(const char* method) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager", method);
  call << false;  // not interactive
  QDBusConnection::systemBus().call(call, QDBus::NoBlock);
}

}  // namespace

void AfterJobActions::Perform(int index, const QString& soundFile) {
  switch (index) {
    case 1: PowerOff(); break;
    case 2: Sleep(); break;
    case 3: Hibernate(); break;
    case 4: PlaySound(soundFile); break;
    default: break;
  }
}

void DesktopAfterJobActions::PowerOff() { AskLoginManager("PowerOff"); }
void DesktopAfterJobActions::Sleep() { AskLoginManager("Suspend"); }
void DesktopAfterJobActions::Hibernate() { AskLoginManager("Hibernate"); }

void DesktopAfterJobActions::PlaySound(const QString& soundFile) {
  if (!QFileInfo(soundFile).isFile()) return;
  for (const char* player : {"paplay", "pw-play", "aplay"}) {
    const QString path = QStandardPaths::findExecutable(player);
    if (!path.isEmpty()) {
      QProcess::startDetached(path, {soundFile});
      return;
    }
  }
}

}  // namespace desktop
