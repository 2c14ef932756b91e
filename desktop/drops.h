// Files dropped from the file manager: only the first local file of a drop counts.
#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

namespace desktop {

// The first local file that the drop carries; empty when it carries none.
QString FirstDroppedFile(const QMimeData* data);
// Every local file of the drop, in its order.
QStringList DroppedFiles(const QMimeData* data);

}  // namespace desktop
