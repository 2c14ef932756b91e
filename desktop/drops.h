// Files dropped from the file manager: only the first local file of a drop counts.
#pragma once

#include <QString>

class QMimeData;

namespace desktop {

// The first local file that the drop carries; empty when it carries none.
QString FirstDroppedFile(const QMimeData* data);

}  // namespace desktop
