#include "desktop/reveal.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

namespace desktop {

namespace {

// A file manager that is started on demand by the bus may need a moment.
constexpr int kShowItemsTimeoutMs = 5000;

bool AskFileManagerToShow(const QString& absolutePath) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(
      "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
      "org.freedesktop.FileManager1", "ShowItems");
  call << QStringList{QUrl::fromLocalFile(absolutePath).toString(QUrl::FullyEncoded)} << QString();
  return bus.call(call, QDBus::Block, kShowItemsTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

}  // namespace

bool RevealInFileManager(const std::string& path) {
  if (path.empty()) return false;
  const QFileInfo file(QString::fromStdString(path));
  if (!file.isFile()) return false;
  if (AskFileManagerToShow(file.absoluteFilePath())) return true;
  QDesktopServices::openUrl(QUrl::fromLocalFile(file.absolutePath()));
  return true;
}

}  // namespace desktop
