// Opening files and folders with the programs the desktop chooses for them.
#pragma once

#include <QString>

#include <functional>

class QObject;

namespace desktop {

// Opens `localPath` (a file or a folder) with the desktop's program for its
// type, without waiting for that program. When no program takes it, `failed`
// runs later on the main thread, unless `context` has been destroyed by then.
void OpenWithDesktop(const QString& localPath, QObject* context, std::function<void()> failed);

// Replaces the opening (for tests); an empty function restores it.
void SetUrlOpener(std::function<void(const QString& localFile)> opener);

}  // namespace desktop
