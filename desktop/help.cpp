#include "desktop/help.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

#include "desktop/message_box.h"
#include "desktop/ui_texts.h"

namespace desktop {

namespace {

std::function<void(const QString&)>& Opener() {
  static std::function<void(const QString&)> opener;
  return opener;
}

}  // namespace

void SetUrlOpener(std::function<void(const QString&)> opener) { Opener() = std::move(opener); }

void DisplayHelp(QWidget* mainWindow, const UiTexts& texts, const QString& helpFile) {
  if (QFileInfo(helpFile).isFile()) {
    if (Opener()) {
      Opener()(helpFile);
    } else {
      QDesktopServices::openUrl(QUrl::fromLocalFile(helpFile));
    }
    return;
  }
  const QPoint origin = mainWindow->frameGeometry().topLeft();
  ShowMessage(mainWindow, {QMessageBox::Critical, texts.noHelp,
                           origin + QPoint(texts.offsetHelp, 130), false});
}

}  // namespace desktop
