#include "desktop/drops.h"

#include <QMimeData>
#include <QUrl>

namespace desktop {

QString FirstDroppedFile(const QMimeData* data) {
  if (data == nullptr) return {};
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return {};
}

QStringList DroppedFiles(const QMimeData* data) {
  QStringList files;
  if (data == nullptr) return files;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) files << url.toLocalFile();
  }
  return files;
}

}  // namespace desktop
