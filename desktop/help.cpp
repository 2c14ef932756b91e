#include "desktop/help.h"

#include <QFileInfo>
#include <QWidget>

#include "desktop/message_box.h"
#include "desktop/ui_texts.h"
#include "desktop/window_placement.h"

namespace desktop {

namespace {

void ShowHelpError(QWidget* mainWindow, const UiTexts& texts, const QString& text) {
  const QPoint origin = FrameGeometry(mainWindow).topLeft();
  ShowMessage(mainWindow, {QMessageBox::Critical, text, origin + QPoint(texts.offsetHelp, 130), false});
}

}  // namespace

void DisplayHelp(QWidget* mainWindow, const UiTexts& texts, const QString& helpFile) {
  if (!QFileInfo(helpFile).isFile()) {
    ShowHelpError(mainWindow, texts, texts.noHelp);
    return;
  }
  OpenWithDesktop(helpFile, mainWindow, [mainWindow, &texts] { ShowHelpError(mainWindow, texts, texts.noHelpViewer); });
}

}  // namespace desktop
