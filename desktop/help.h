// Opening the help page.
#pragma once

#include <QString>

#include "desktop/desktop_open.h"

class QWidget;

namespace desktop {

struct UiTexts;

// Opens the help file with the desktop's browser. When the file is missing,
// or no program of the desktop opens it, says so in an error box at the main
// window's left + offsetHelp, top + 130.
void DisplayHelp(QWidget* mainWindow, const UiTexts& texts, const QString& helpFile);

}  // namespace desktop
