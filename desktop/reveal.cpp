#include "desktop/reveal.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include "desktop/desktop_open.h"

namespace desktop {

bool RevealInFileManager(const std::string& path, int answerMs) {
  if (path.empty()) return false;
  const QFileInfo file(QString::fromStdString(path));
  if (!file.isFile()) return false;
  const QString folder = file.absolutePath();
  QCoreApplication* application = QCoreApplication::instance();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    OpenWithDesktop(folder, application, {});
    return true;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
      "org.freedesktop.FileManager1", "ShowItems");
  call << QStringList{QUrl::fromLocalFile(file.absoluteFilePath()).toString(QUrl::FullyEncoded)} << QString();
  // The window goes on while the file manager takes its time.
  auto* answer = new QDBusPendingCallWatcher(bus.asyncCall(call, answerMs), application);
  QObject::connect(answer, &QDBusPendingCallWatcher::finished, application, [answer, folder, application] {
    if (answer->isError()) OpenWithDesktop(folder, application, {});
    answer->deleteLater();
  });
  return true;
}

}  // namespace desktop
