// Opening the help page.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace desktop {

struct UiTexts;

// Opens the help file in the desktop's browser; when the file is missing,
// shows the "cannot load" box at the main window's left + offsetHelp, top + 130.
void DisplayHelp(QWidget* mainWindow, const UiTexts& texts, const QString& helpFile);

// Replaces the opening of URLs (for tests); an empty function restores it.
void SetUrlOpener(std::function<void(const QString& localFile)> opener);

}  // namespace desktop
